#pragma once
// Thread: GUI thread; the engine renders on its own thread.
// Owns: the engine host (the window holding the server item), for the job's lifetime.
// Errors: run() returns false with the message in error(); progress lines go to stdout.

#include "renderarguments.h"

#include "hostnodes/enginehost.h"

#include <QElapsedTimer>
#include <QObject>
#include <memory>


// One render as a host does it: a TImpServer in a window (placed off-screen), the input
// set on the root, the preset applied, the result saved through the root node.
class RenderJob : public QObject
{
    Q_OBJECT
public:
    explicit RenderJob(const RenderArguments& arguments);
    ~RenderJob() override;

    bool run();
    QString error() const { return m_error; }

private:
    bool fail(const QString& message);
    void step(const char* what);

    const RenderArguments& m_arguments;
    EngineHost m_host;
    QString m_error;
    QElapsedTimer m_clock;
    qint64 m_stepStart = 0;
};
