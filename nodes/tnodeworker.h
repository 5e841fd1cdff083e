#pragma once
// Thread: render thread, with the engine context current during rendering.
// Owns: its child workers (QObject children; their order is the compositing order).
// Errors: every rendering step returns a status string: empty on success, otherwise the
//         error text, which stops the pass and travels back to the root unchanged.

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
    // Does nothing once `pending` is empty; removes itself from it when done.
    virtual QString proc(const TSFbo& in, TSFbo& out, TPendingList& pending);
    // Runs the children in order; parallel children read the image as it was before any
    // child ran, serial ones the running result.
    virtual QString childrenProc(TSFbo& io, TPendingList& pending);
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

signals:
    void saveOutputReq(TNodeWorker* which_p, const QUrl& fileName, const QVariantMap& fileParams);

protected:
    // The image this node's own step starts from, given its parent's image `in`: `in`
    // itself unless a node class substitutes another (the stamp's snapshot). Clearing
    // `*contributes` makes the node render nothing this time. Rendering and saving both
    // go through it, so a save shows what a render shows.
    virtual QString layerSource(const TSFbo& in, TSFbo& source, bool* contributes);

    // Composite of a plain node: `in` placed and blended over `out`, through the node's
    // selection when it has one.
    QString compose(const TSFbo& in, TSFbo& out);
    float paramFloat(const char* key) const { return paramValue(QLatin1String(key)).toFloat(); }

private:
    // A child's walk step, shared by rendering and saving.
    template <typename Step>
    QString walkChildren(TSFbo& io, Step step);
    // The node's own image: layerSource, doProc, then `children` on the result (in `image`).
    template <typename Children>
    QString renderLayer(const TSFbo& in, TSFbo& image, bool* contributes, Children children);
};
