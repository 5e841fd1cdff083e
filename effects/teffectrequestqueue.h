#pragma once
// Thread: GUI thread in practice; every operation holds `queueSemaphore` around the list
//         work only, never while calling out, so a caller may re-enter from a signal handler.
// Owns: copies of the waiting requests.
// Errors: none; taking from an empty queue answers false.

#include <QList>
#include <QSemaphore>
#include <QString>
#include <QVariantMap>

// The requests of one effect waiting for its worker: previews coalesce (one waits at most,
// at the tail, and inherits the "commands" and the brush samples of the one it replaces),
// outputs queue as they come, preset thumbnails queue or wait parked while previews matter
// more.
class TEffectRequestQueue
{
public:
    static const QString kPreviewTag;
    static const QString kOutputTag;
    // Brush samples a request carries once: mask id -> list of samples, in order.
    static const QString kPointsKey;

    // Replaces a preview waiting at the tail; that one's "commands", and its samples mask
    // by mask, go in front of the new one's. Answers the replaced request (empty when none) so its caller can let go of it.
    QVariantMap appendPreview(QVariantMap request);
    void append(const QVariantMap& request);
    void appendPreset(const QVariantMap& request, bool active);
    // Removes the first waiting request tagged `reqTag` (the parked ones are not searched).
    QVariantMap cancelFirst(const QString& reqTag);
    // Moves the waiting preset requests behind those already parked, or all parked ones back.
    void park();
    void unpark();
    // Empties both lists; answers what was in them.
    QList<QVariantMap> clear();
    bool takeFirst(QVariantMap& request);
    int waiting() const;
    int parked() const;

private:
    // Takes the one permit; the lists are touched by one caller at a time.
    QSemaphoreReleaser hold() const;

    mutable QSemaphore queueSemaphore{1};
    QList<QVariantMap> procQueue;
    QList<QVariantMap> parkedPresetQueue;
};
