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
#include <QUrl>
#include <future>
#include <optional>
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
    // One batch image, from when it is taken until its save is reported.
    struct BatchImage
    {
        int index;
        QString input;
        QString output;
        QSize size = QSize();
        QElapsedTimer clock = QElapsedTimer();
        bool claimed = false; // its output is in m_written
    };
    // Checks, reads and sets one batch image's input and asks its save; the reason it cannot
    // render, or empty (the save's outcome comes later, through waitForSave).
    // `reading` is the input's read when it was started already.
    QString startBatchImage(TNodeRootWithAdjust* root, BatchImage& image, std::future<Read> reading);
    // Prints the image's progress line, or its failure (counted in m_failed).
    void reportBatchImage(const BatchImage& image, const QString& problem);
    // Asks the root for the tree's full-resolution result in `output`; waitForSave gives the
    // reason no file was written, or empty.
    void askSave(TNodeRootWithAdjust* root, const QString& output, const QVariantMap& params);
    QString waitForSave(const QString& output);
    // The server's root, set to render only for saves.
    TNodeRootWithAdjust* exportRoot() const;

    const RenderArguments& m_arguments;
    EngineHost m_host;
    QString m_error;
    bool m_treeBuilt = false;
    int m_failed = 0;
    bool m_savesWatched = false;
    // Saves reported by the root and not yet waited for: their error, or empty.
    QHash<QUrl, QString> m_saveOutcomes;
    // Outputs written so far in a batch, by the input they came from: two inputs never share one.
    QHash<QString, QString> m_written;
    QElapsedTimer m_clock;
    qint64 m_stepStart = 0;
};
