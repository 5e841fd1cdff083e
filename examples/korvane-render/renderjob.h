#pragma once
// Thread: GUI thread; the engine renders on its own thread.
// Owns: the engine host (the window holding the server item), for the job's lifetime.
// Errors: run() returns false with the message in error(); progress lines go to stdout.

#include "renderarguments.h"

#include "gpu/tsmat.h"
#include "hostnodes/enginehost.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <future>
#include <memory>

class TNodeRootWithAdjust;

// One render as a host does it: a TImpServer in a window (placed off-screen), the input
// set on the root, the preset applied, the result saved through the root node. A batch keeps
// that engine and tree (with its compiled programs and framebuffers) and only sets each next
// input on the root before saving it.
class RenderJob : public QObject
{
    Q_OBJECT
public:
    explicit RenderJob(const RenderArguments& arguments);
    ~RenderJob() override;

    // False when anything failed; in a batch, when any image did (each is reported as it fails).
    bool run();
    QString error() const { return m_error; }

private:
    struct Read
    {
        TSMat image;
        QString error;
    };
    // Reads an input on a thread of its own.
    static std::future<Read> readLater(const QString& path);
    bool fail(const QString& message);
    void step(const char* what);
    bool runOne();
    bool runBatch();
    // Renders one batch image; the reason it failed, or empty. `size` gets the input's size.
    // `reading` is the input's read when it was started already.
    QString renderImage(TNodeRootWithAdjust* root, const QString& input, const QString& output,
                        std::future<Read> reading, QSize* size);
    // Saves the tree's full-resolution result; the reason when no file was written, or empty.
    QString save(TNodeRootWithAdjust* root, const QString& output, const QVariantMap& params);
    // The server's root, set to render only for saves.
    TNodeRootWithAdjust* exportRoot() const;

    const RenderArguments& m_arguments;
    EngineHost m_host;
    QString m_error;
    bool m_treeBuilt = false;
    // Outputs written so far in a batch, by the input they came from: two inputs never share one.
    QHash<QString, QString> m_written;
    QElapsedTimer m_clock;
    qint64 m_stepStart = 0;
};
