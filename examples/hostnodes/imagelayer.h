#pragma once
// Thread: GUI thread (a node of the host's tree); its worker renders on the render thread.
//         The read-ahead functions may be called from any thread.
// Owns: nothing beyond its parameters; the process-wide read-ahead holds each file read in
//       advance until a worker takes it or clearReadAhead() drops it.
// Errors: a file that cannot be read stops the render with the reader's message.

#include "gpu/tsmat.h"
#include "nodes/tnode.h"

#include <QVariantMap>

// A layer showing another image file (`source`: a path or a file URL), covering the canvas
// centred with its aspect kept; the node's placement, blend mode and opacity do the rest.
// Decoding a large file takes longer than rendering it, so the file is read on a thread of
// its own as soon as the source is set, while the host does other work.
class ImageLayer : public TNode
{
    Q_OBJECT
    Q_PROPERTY(QString source READ source WRITE setSource NOTIFY sourceChanged)
public:
    explicit ImageLayer(TImproc* parent = nullptr, unsigned int uid = 0);

    QString source() const { return m_params.value(QStringLiteral("source")).toString(); }

    // A source read as the worker needs it: pixels, or the render's error message.
    struct Loaded
    {
        TSMat pixels;
        QString error;
    };
    // Reads `source` now, on the calling thread.
    static Loaded read(const QString& source);
    // Starts reading `source` on a thread of its own unless it is being read already.
    static void readAhead(const QString& source);
    // Starts reading every ImageLayer source of a preset (its whole subtree).
    static void readAhead(const QVariantMap& preset);
    // The read started for `source`, waited for and forgotten; false when none was started.
    static bool takeReadAhead(const QString& source, Loaded* loaded);
    // Waits for the reads still running and forgets every result (before shutting down).
    static void clearReadAhead();

signals:
    void sourceChanged(QString);

public slots:
    void setSource(const QString& v);
};
