#include "nodes/tnodeworker.h"

#include "gpu/glblendmode.h"
#include "gpu/glcache.h"
#include "gpu/glmaskblend.h"
#include "gpu/glresources.h"
#include "nodes/tnode.h"
#include "gpu/tselection.h"
#include "gpu/tuid.h"

#include <QPointF>
#include <QSet>

#include <algorithm>

namespace {
constexpr float kMinOpacity = 0.005f;

QString keptImageName(quint64 key)
{
    return QStringLiteral("TNodeWorker/running/%1").arg(key, 16, 16, QLatin1Char('0'));
}
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

bool TNodeWorker::showsAnyChild() const
{
    const QList<TNodeWorker*> workers = childWorkers();
    return std::any_of(workers.cbegin(), workers.cend(), [](const TNodeWorker* w) { return !w->isSkipped(); });
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

quint64 TNodeWorker::stateKey() const
{
    return paramsKey();
}

QList<TNodeWorker*> TNodeWorker::childWorkers() const
{
    QList<TNodeWorker*> workers;
    for (QObject* c : children()) {
        if (auto* w = qobject_cast<TNodeWorker*>(c))
            workers << w;
    }
    return workers;
}

bool TNodeWorker::readsRunningImage() const
{
    return paramValue(QStringLiteral("serialInput")).toBool();
}

quint64 TNodeWorker::keyAfter(quint64 runningKey, quint64 childInKey, const TNodeWorker* child)
{
    if (child->isSkipped())
        return runningKey;
    const quint64 added = child->contributionKey();
    if (runningKey == 0 || childInKey == 0 || added == 0)
        return 0;
    return TUid::chain(TUid::chain(runningKey, childInKey), added);
}

quint64 TNodeWorker::childrenResultKey(quint64 ioKey) const
{
    quint64 running = ioKey;
    for (const TNodeWorker* child : childWorkers())
        running = keyAfter(running, child->readsRunningImage() ? running : ioKey, child);
    return running;
}

quint64 TNodeWorker::contributionKey() const
{
    const quint64 own = stateKey();
    // The node's own state seeds its children's chain, which orders and separates them.
    return own == 0 ? 0 : childrenResultKey(TUid::chain(own, 0x6c61796572ull));
}

bool TNodeWorker::rendersEverythingBelow(const TPendingList& pending) const
{
    for (const QObject* node = this; node; node = node->parent()) {
        if (pending.contains(qobject_cast<const TNodeWorker*>(node)))
            return true;
    }
    return false;
}

TSFbo TNodeWorker::keptImage(quint64 key, const QSize& size)
{
    if (key == 0)
        return TSFbo();
    const TSFbo kept = GLCache::get(keptImageName(key), 0);
    return kept.size() == size ? kept : TSFbo();
}

void TNodeWorker::keepImage(quint64 key, const TSFbo& image)
{
    if (key != 0)
        GLCache::setSpare(keptImageName(key), image);
}

void TNodeWorker::keepImageMadeBefore(quint64 key, const TSFbo& image)
{
    // Render thread only. Bounded: forgetting the keys only delays keeping by one walk.
    static QSet<quint64> made;
    constexpr int kMaxRemembered = 65536;
    if (key == 0)
        return;
    if (made.contains(key)) {
        keepImage(key, image);
        return;
    }
    if (made.size() >= kMaxRemembered)
        made.clear();
    made.insert(key);
}

QString TNodeWorker::proc(const TSFbo& in, TSFbo& out, TPendingList& pending, quint64 inKey)
{
    if (pending.isEmpty() || isSkipped())
        return QString();
    const quint64 own = stateKey();
    const quint64 imageKey = inKey == 0 || own == 0 ? 0 : TUid::chain(inKey, own);
    TSFbo tmp;
    bool contributes = true;
    QString status = renderLayer(in, tmp, &contributes, [&](TSFbo& io) { return childrenProc(io, pending, imageKey); });
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
    const QList<TNodeWorker*> workers = childWorkers();
    int lastParallel = -1;
    for (int i = 0; i < workers.size(); ++i) {
        if (!workers[i]->readsRunningImage())
            lastParallel = i;
    }
    TSFbo src = io;
    for (int i = 0; i < workers.size(); ++i) {
        // Once no parallel child follows, the parent's own image can be freed.
        if (i > lastParallel)
            src = TSFbo();
        const bool serial = workers[i]->readsRunningImage();
        const QString status = step(workers[i], serial ? io : src, io, serial);
        if (!status.isEmpty())
            return status;
    }
    return QString();
}

QString TNodeWorker::childrenProc(TSFbo& io, TPendingList& pending, quint64 ioKey)
{
    const quint64 startKey = rendersEverythingBelow(pending) ? ioKey : 0;
    quint64 runningKey = startKey;
    return walkChildren(io, [&](TNodeWorker* child, const TSFbo& input, TSFbo& running, bool serial) {
        const quint64 childInKey = serial ? runningKey : startKey;
        const quint64 after = keyAfter(runningKey, childInKey, child);
        if (after != runningKey) {
            if (const TSFbo kept = keptImage(after, running.size()); !kept.isEmpty()) {
                running = kept;
                runningKey = after;
                return QString();
            }
        }
        // A serial child's input is the running image itself: take a handle first, so
        // compositing into `running` never changes what the child reads.
        const TSFbo snapshot = input;
        const QString status = child->proc(snapshot, running, pending, childInKey);
        if (!status.isEmpty())
            return status;
        if (after != runningKey)
            keepImageMadeBefore(after, running);
        runningKey = after;
        return status;
    });
}

QString TNodeWorker::postProc(const TSFbo& in, TSFbo& out)
{
    if (paramFloat("opacity") < kMinOpacity || in.isEmpty() || out.isEmpty())
        return QString();
    return compose(in, out);
}

bool TNodeWorker::unmoved(const char* translate, const char* scale, const char* rotate) const
{
    return paramValue(QLatin1String(translate)).toPointF().isNull()
           && TImproc::floatValuesEqual(paramFloat(scale), 1.f) && TImproc::floatValuesEqual(paramFloat(rotate), 0.f);
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

    // Selected compositing: the weight is measured on the running image and scales the
    // layer's opacity. A weight of 0 keeps exactly the running image. Only a spot has a
    // lowest weight, w = (1 - m) x mask + m.
    const TSFbo weight = selection->mask(out);
    const float minWeight = selType == TNode::SPOT ? std::clamp(paramFloat("selMin"), 0.0f, 1.0f) : 0.0f;
    GLMaskBlend mix;
    if (!unmoved("translate", "scale", "rotate")) {
        // A moved layer is blended into a copy, mixed back through the weight: blended
        // through the mask with its own placement in one pass, two renders of the same tree
        // differed (by up to 1.5e-3).
        TSFbo blended = out;
        GLBlendMode blend;
        blend.proc(in, translate, scale, rotation, mode, opacity, blended);
        mix.proc(out, blended, weight, TNode::BLENDMODE_NORMAL, 1.0f, minWeight, QPointF(0, 0), 1.0f, 0.0f);
        return QString();
    }
    // An unmoved layer in one pass (one full-size image and pass fewer): the floor and the
    // strength are rescaled so the pass's own floor gives w.
    const float floor = opacity * minWeight;
    const float masked = opacity - floor; // the part of the strength the mask scales
    if (masked < GLBlendMode::minStrength())
        mix.proc(out, in, TSFbo(), mode, floor, 0.0f, translate, scale, rotation); // the floor everywhere
    else
        mix.proc(out, in, weight, mode, masked / (1.0f - floor), floor, translate, scale, rotation);
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
    walkChildren(io, [&](TNodeWorker* child, const TSFbo& input, TSFbo& running, bool) {
        const TSFbo snapshot = input;
        error = child->procSaveOutputReq(snapshot, running, target, reached);
        // The driver would keep images this child freed while its passes are queued or bound.
        GLResources::dropDeadImages();
        // Any text ends the walk; what happened is in `error` and `*reached`.
        return error.isEmpty() && !*reached ? QString() : QStringLiteral("stop");
    });
    return error;
}
