#include "effects/teffectrequestqueue.h"

const QString TEffectRequestQueue::kPreviewTag = QStringLiteral("-:PREVIEW:-");
const QString TEffectRequestQueue::kOutputTag = QStringLiteral("-:OUTPUT:-");
const QString TEffectRequestQueue::kPointsKey = QStringLiteral("points");

namespace {
const QString kReqTag = QStringLiteral("reqTag");
const QString kProcMode = QStringLiteral("procMode");
const QString kCommands = QStringLiteral("commands");

// The replaced request's samples in front of the newer one's, per mask id.
QVariantMap mergedPoints(const QVariantMap& older, const QVariantMap& newer)
{
    QVariantMap merged = older;
    for (auto it = newer.cbegin(); it != newer.cend(); ++it)
        merged.insert(it.key(), merged.value(it.key()).toList() + it.value().toList());
    return merged;
}

bool isPreset(const QVariantMap& request)
{
    return request.value(kProcMode).toString() == QLatin1String("PRESET");
}
} // namespace

QSemaphoreReleaser TEffectRequestQueue::hold() const
{
    queueSemaphore.acquire();
    return QSemaphoreReleaser(queueSemaphore);
}

QVariantMap TEffectRequestQueue::appendPreview(QVariantMap request)
{
    const QSemaphoreReleaser held = hold();
    QVariantMap replaced;
    if (!procQueue.isEmpty() && procQueue.last().value(kReqTag).toString() == kPreviewTag) {
        replaced = procQueue.takeLast();
        if (replaced.contains(kCommands))
            request.insert(kCommands, replaced.value(kCommands).toList() + request.value(kCommands).toList());
        const QVariantMap points = replaced.value(TEffectRequestQueue::kPointsKey).toMap();
        if (!points.isEmpty()) {
            request.insert(TEffectRequestQueue::kPointsKey,
                           mergedPoints(points, request.value(TEffectRequestQueue::kPointsKey).toMap()));
        }
    }
    procQueue.append(request);
    return replaced;
}

void TEffectRequestQueue::append(const QVariantMap& request)
{
    const QSemaphoreReleaser held = hold();
    procQueue.append(request);
}

void TEffectRequestQueue::appendPreset(const QVariantMap& request, bool active)
{
    const QSemaphoreReleaser held = hold();
    (active ? procQueue : parkedPresetQueue).append(request);
}

QVariantMap TEffectRequestQueue::cancelFirst(const QString& reqTag)
{
    const QSemaphoreReleaser held = hold();
    for (int i = 0; i < procQueue.size(); ++i) {
        if (procQueue.at(i).value(kReqTag).toString() == reqTag)
            return procQueue.takeAt(i);
    }
    return QVariantMap();
}

void TEffectRequestQueue::park()
{
    const QSemaphoreReleaser held = hold();
    QList<QVariantMap> kept;
    for (const QVariantMap& request : qAsConst(procQueue))
        (isPreset(request) ? parkedPresetQueue : kept).append(request);
    procQueue = kept;
}

void TEffectRequestQueue::unpark()
{
    const QSemaphoreReleaser held = hold();
    procQueue += parkedPresetQueue;
    parkedPresetQueue.clear();
}

QList<QVariantMap> TEffectRequestQueue::clear()
{
    const QSemaphoreReleaser held = hold();
    QList<QVariantMap> removed = procQueue + parkedPresetQueue;
    procQueue.clear();
    parkedPresetQueue.clear();
    return removed;
}

bool TEffectRequestQueue::takeFirst(QVariantMap& request)
{
    const QSemaphoreReleaser held = hold();
    if (procQueue.isEmpty())
        return false;
    request = procQueue.takeFirst();
    return true;
}

int TEffectRequestQueue::waiting() const
{
    const QSemaphoreReleaser held = hold();
    return procQueue.size();
}

int TEffectRequestQueue::parked() const
{
    const QSemaphoreReleaser held = hold();
    return parkedPresetQueue.size();
}
