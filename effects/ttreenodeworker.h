#pragma once
// Thread: render thread.
// Owns: its child workers (QObject children: the workers of its node's children).
// Errors: procTree returns the first error of the walk (its own doProc's, a child's, or
//         "ERROR!!! no worker for tree class " when no worker can be made); a cancel ends
//         the walk with an empty answer and nothing more drawn.

#include "effects/tebaseworker.h"

#include "gpu/tsfbo.h"

// Render-thread twin of a tree node. procTree walks the node's subtree from the tree state a
// request carries: the node's own doProc on its input, then its children (each on the node's
// own result, or serially on the result so far), then postProc lays the result onto the
// output. Workers are made on first use by uid and kept across requests.
class TTreeNodeWorker : public TEBaseWorker
{
    Q_OBJECT
public:
    using TEBaseWorker::TEBaseWorker;

    // Root only: the effect worker's cancel flag, read by every worker below it.
    void setRootData(const bool* cancelRequested) { m_cancel = cancelRequested; }
    // This worker's cancel flag, else the nearest ancestor's.
    bool cancel() const;
    // Lets the GPU and other threads catch up between long steps; true when cancelled.
    bool playNice() const;

    virtual QString procTree(const QVariantMap& nodeState, const TSFbo& input, TSFbo& output);

    // The worker registered under `uid` when it is a tree worker of `className`, else a new
    // one (any other worker under that uid is deleted first); null when none can be made.
    static TTreeNodeWorker* getCreateWorker(const QString& className, uint uid, uint parentUid);

protected:
    virtual QString doProc(TSFbo& io) = 0;
    // Lays `source` onto `destination`; the plain node hands its result over.
    virtual QString postProc(const TSFbo& source, TSFbo& destination);
    // Draws a reduced copy of `image` in the thumbnail viewer, when one is set and the image
    // changed since the last one drawn.
    void drawOutputThumbnail(const TSFbo& image);

private:
    const bool* m_cancel = nullptr;
    uint m_lastThumbnailUid = 0;
};
