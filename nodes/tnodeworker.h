#pragma once
// Thread: render thread, with the engine context current during rendering.
// Owns: its child workers (QObject children; their order is the compositing order).
// Errors: every rendering step returns a status string: empty on success, otherwise the
//         error text, which stops the pass and travels back to the root unchanged.
// Caching: a walk that renders every node keeps each running image (the composite of what
//         lies below a layer) as a spare GPU-cache entry under a structural key of everything
//         it was made from, and takes it instead of rendering when the key comes round again.
//         Keys are computed from the parameters the walk itself reads, so an entry is never
//         stored under the key of a state it was not rendered from; an error stores nothing.

#include "engine/timprocworker.h"
#include "gpu/tsfbo.h"

#include <QList>
#include <QUrl>
#include <QVariantMap>

class TNodeWorker;
using TPendingList = QList<const TNodeWorker*>;

// Render-thread worker of a layer node. It takes the image its parent hands it, lets its
// own step (doProc) and then its children change a copy, and composites the result over
// the parent's running image with its selection, placement, blend mode and opacity.
class TNodeWorker : public TImprocWorker
{
    Q_OBJECT
public:
    TNodeWorker(unsigned int uid, unsigned int parentUid);
    ~TNodeWorker() override;

    // The node class's own processing of the image, in place.
    virtual QString doProc(TSFbo& io) = 0;
    virtual bool needFullInput() const;
    // Renders this node: doProc, the children, then the composite of the result over `out`.
    // Does nothing once `pending` is empty; removes itself from it when done. `inKey` is the
    // structural key of `in` (0: unknown, and nothing below is kept or taken from the cache).
    virtual QString proc(const TSFbo& in, TSFbo& out, TPendingList& pending, quint64 inKey);
    // Runs the children in order; parallel children read the image as it was before any
    // child ran, serial ones the running result. `ioKey` is the key of `io` as it comes in.
    QString childrenProc(TSFbo& io, TPendingList& pending, quint64 ioKey);
    // Composites `in` (this node's result) over the running image `out`.
    virtual QString postProc(const TSFbo& in, TSFbo& out);

    // Workers of this subtree that need their full-resolution input, depth first; what the
    // render skips (inactive, transparent, or under such a node) is left out.
    TPendingList nodesNeedsFullProc() const;
    // Renders like proc (the same steps, layerSource included) but stops right after
    // `target` has composited, leaving that image in `out`; `*reached` tells whether it
    // was. A non-empty status is a render error: the walk stops and the image is unusable.
    QString procSaveOutputReq(const TSFbo& in, TSFbo& out, TNodeWorker* target, bool* reached);
    QString childrenSave(TSFbo& io, TNodeWorker* target, bool* reached);

    // True when the render skips this node (and so its whole subtree).
    bool isSkipped() const;
    // True when some child is not skipped.
    bool showsAnyChild() const;
    // What this node adds to an image, as a structural key: its own state, then what its
    // shown children add, in order. 0 when some node of the subtree cannot be keyed.
    quint64 contributionKey() const;
    // The key of `io` after the children walk, given its key before (`ioKey`); no rendering.
    quint64 childrenResultKey(quint64 ioKey) const;

signals:
    void saveOutputReq(TNodeWorker* which_p, const QUrl& fileName, const QVariantMap& fileParams);

protected:
    // The image this node's own step starts from, given its parent's image `in`: `in`
    // itself unless a node class substitutes another (the stamp's snapshot). Clearing
    // `*contributes` makes the node render nothing this time. Rendering and saving both
    // go through it, so a save shows what a render shows.
    virtual QString layerSource(const TSFbo& in, TSFbo& source, bool* contributes);

    // True when the placement read from these three parameters leaves an image where it is.
    bool unmoved(const char* translate, const char* scale, const char* rotate) const;
    // Composite of a plain node: `in` placed and blended over `out`, through the node's
    // selection when it has one.
    QString compose(const TSFbo& in, TSFbo& out);
    // Everything the node's own step reads besides its input: its parameters. A worker that
    // also reads other state (a snapshot, a loaded list) adds it, or returns 0 to stay out
    // of the cache (and so keep every walk over it rendering).
    virtual quint64 stateKey() const;
    // True when `pending` holds this node or one of its ancestors: the walk then renders
    // every node below here (a walk for some nodes only leaves the others' steps out).
    bool rendersEverythingBelow(const TPendingList& pending) const;
    // The running image kept under `key` when it has `size`, else an empty TSFbo.
    static TSFbo keptImage(quint64 key, const QSize& size);
    static void keepImage(quint64 key, const TSFbo& image);
    // Keeps a running image only when an earlier walk made one under the same key: what lies
    // below an edited layer comes round again, what lies above it changes with every edit,
    // and keeping those would only allocate fresh images in place of pooled ones.
    static void keepImageMadeBefore(quint64 key, const TSFbo& image);
    float paramFloat(const char* key) const { return paramValue(QLatin1String(key)).toFloat(); }

private:
    QList<TNodeWorker*> childWorkers() const;
    bool readsRunningImage() const;
    // The key of a running image keyed `runningKey` after `child`, which reads an image
    // keyed `childInKey`, composited onto it.
    static quint64 keyAfter(quint64 runningKey, quint64 childInKey, const TNodeWorker* child);
    // A child's walk step, shared by rendering and saving: step(child, input, running, serial).
    template <typename Step>
    QString walkChildren(TSFbo& io, Step step);
    // The node's own image: layerSource, doProc, then `children` on the result (in `image`).
    template <typename Children>
    QString renderLayer(const TSFbo& in, TSFbo& image, bool* contributes, Children children);
};
