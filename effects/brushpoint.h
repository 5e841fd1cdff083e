#pragma once
// Thread: any (a plain value that travels inside QVariant between the GUI and the render thread).
// Owns: its fields.
// Errors: none here; TMask drops samples whose numbers are not finite.

#include <QList>
#include <QMap>
#include <QMetaType>
#include <QPointF>
#include <QString>
#include <QVariantMap>

// One brush sample sent from QML to a mask: a position in normalised image coordinates (0..1),
// whether it begins or ends a stroke, and the brush settings for this sample ("radius",
// "strength", "hardness", "flow", "coloraware"), or a mask command ("type" = "undo", "redo",
// "snapshot", "reset" or "invert").
struct BrushPoint
{
    QString maskId;
    QPointF pos;
    bool isBegin = false;
    bool isEnd = false;
    QVariantMap settings;
};

// The samples of one request, by mask id.
using BrushPointsByMask = QMap<QString, QList<BrushPoint>>;

Q_DECLARE_METATYPE(BrushPoint)
