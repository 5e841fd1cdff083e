#include "nodes/tnodeworker.h"

#include "gpu/glblendmode.h"
#include "gpu/glmaskblend.h"
#include "nodes/tnode.h"
#include "gpu/tselection.h"

#include <QPointF>

namespace {
constexpr float kMinOpacity = 0.005f;
} // namespace

TNodeWorker::TNodeWorker(unsigned int uid, unsigned int parentUid)
    : TImprocWorker(uid, parentUid)
{
    if (auto* parentWorker = qobject_cast<TNodeWorker*>(QObject::parent()))
        connect(this, &TNodeWorker::saveOutputReq, parentWorker, &TNodeWorker::saveOutputReq, Qt::DirectConnection);
}

TNodeWorker::~TNodeWorker() = default;

bool TNodeWorker::needFullInput() const
{
    return nodeType() == TImproc::FULLINPUT;
}

bool TNodeWorker::isSkipped() const
{
    return !paramValue(QStringLiteral("active")).toBool() || paramFloat("opacity") < kMinOpacity;
}

TPendingList TNodeWorker::nodesNeedsFullProc() const
{
    TPendingList list;
    if (isSkipped())
        return list;
    for (QObject* c : children()) {
        if (auto* w = qobject_cast<TNodeWorker*>(c))
            list << w->nodesNeedsFullProc();
    }
    if (needFullInput())
        list.prepend(this);
    return list;
}

QString TNodeWorker::layerSource(const TSFbo& in, TSFbo& source, bool*)
{
    source = in;
    return QString();
}

template <typename Children>
QString TNodeWorker::renderLayer(const TSFbo& in, TSFbo& image, bool* contributes, Children children)
{
    *contributes = true;
    QString status = layerSource(in, image, contributes);
    if (!status.isEmpty() || !*contributes)
        return status;
    status = doProc(image);
    if (!status.isEmpty())
        return status;
    return children(image);
}

QString TNodeWorker::proc(const TSFbo& in, TSFbo& out, TPendingList& pending)
{
    if (pending.isEmpty() || isSkipped())
        return QString();
    TSFbo tmp;
    bool contributes = true;
    QString status = renderLayer(in, tmp, &contributes, [&](TSFbo& io) { return childrenProc(io, pending); });
    if (!status.isEmpty() || !contributes)
        return status;
    status = postProc(tmp, out);
    pending.removeOne(this);
    clearParamsChange(QString());
    return status;
}

template <typename Step>
QString TNodeWorker::walkChildren(TSFbo& io, Step step)
{
    QList<TNodeWorker*> workers;
    int lastParallel = -1;
    for (QObject* c : children()) {
        if (auto* w = qobject_cast<TNodeWorker*>(c)) {
            if (!w->paramValue(QStringLiteral("serialInput")).toBool())
                lastParallel = workers.size();
            workers << w;
        }
    }
    TSFbo src = io;
    for (int i = 0; i < workers.size(); ++i) {
        // Once no parallel child follows, the parent's own image can be freed.
        if (i > lastParallel)
            src = TSFbo();
        const bool serial = workers[i]->paramValue(QStringLiteral("serialInput")).toBool();
        const QString status = step(workers[i], serial ? io : src, io);
        if (!status.isEmpty())
            return status;
    }
    return QString();
}

QString TNodeWorker::childrenProc(TSFbo& io, TPendingList& pending)
{
    return walkChildren(io, [&pending](TNodeWorker* child, const TSFbo& input, TSFbo& running) {
        // A serial child's input is the running image itself: take a handle first, so
        // compositing into `running` never changes what the child reads.
        const TSFbo snapshot = input;
        return child->proc(snapshot, running, pending);
    });
}

QString TNodeWorker::postProc(const TSFbo& in, TSFbo& out)
{
    if (paramFloat("opacity") < kMinOpacity || in.isEmpty() || out.isEmpty())
        return QString();
    return compose(in, out);
}

QString TNodeWorker::compose(const TSFbo& in, TSFbo& out)
{
    const QPointF translate = paramValue(QStringLiteral("translate")).toPointF();
    const float scale = paramFloat("scale");
    const float rotation = paramFloat("rotate") * 360.f;
    const int mode = paramValue(QStringLiteral("blendMode")).toInt();
    const float opacity = paramFloat("opacity");
    const int selType = paramValue(QStringLiteral("selType")).toInt();

    if (selType == TNode::NONE || selType == TNode::GRADIENT) {
        GLBlendMode blend;
        blend.proc(in, translate, scale, rotation, mode, opacity, out);
        return QString();
    }
    const std::optional<TSelection> selection = TSelection::ofLayer(params(), QSizeF(out.size()));
    if (!selection)
        return QString();  // an unknown selection composites the running image over itself

    // Selected compositing: the weight is measured on the running image, the layer is
    // blended into a copy of it, and that copy is mixed back through the weight, so
    // unselected pixels keep exactly the running image.
    const TSFbo weight = selection->mask(out);
    TSFbo blended = out;
    GLBlendMode blend;
    blend.proc(in, translate, scale, rotation, mode, opacity, blended);
    // Only a spot has a lowest weight.
    const float minWeight = selType == TNode::SPOT ? paramFloat("selMin") : 0.0f;
    GLMaskBlend mix;
    mix.proc(out, blended, weight, TNode::BLENDMODE_NORMAL, 1.0f, minWeight, QPointF(0, 0), 1.0f, 0.0f);
    return QString();
}

QString TNodeWorker::procSaveOutputReq(const TSFbo& in, TSFbo& out, TNodeWorker* target, bool* reached)
{
    *reached = false;
    if (isSkipped()) {
        *reached = this == target;
        return QString();
    }
    TSFbo tmp;
    bool contributes = true;
    QString status = renderLayer(in, tmp, &contributes, [&](TSFbo& io) { return childrenSave(io, target, reached); });
    if (!status.isEmpty())
        return status;
    if (*reached) {
        // The target lies below this node: its image is the result.
        out = tmp;
        return QString();
    }
    if (contributes)
        status = postProc(tmp, out);
    *reached = this == target;
    return status;
}

QString TNodeWorker::childrenSave(TSFbo& io, TNodeWorker* target, bool* reached)
{
    *reached = false;
    QString error;
    walkChildren(io, [&](TNodeWorker* child, const TSFbo& input, TSFbo& running) {
        const TSFbo snapshot = input;
        error = child->procSaveOutputReq(snapshot, running, target, reached);
        // Any text ends the walk; what happened is in `error` and `*reached`.
        return error.isEmpty() && !*reached ? QString() : QStringLiteral("stop");
    });
    return error;
}
