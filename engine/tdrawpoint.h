#pragma once
// Thread: any (plain value).
// Owns: its fields.
// Errors: none.

#include <QMetaType>
#include <QPointF>
#include <QString>
#include <QVariantMap>

// One point of brush or drawing input, as it travels from QML to a worker.
// Exposed as TCmd_DrawCmd::DrawPoint.
struct TDrawPoint
{
    QString which;          // the drawing target, e.g. a mask name
    QPointF normalizedXY;   // position in normalised image coordinates
    bool isBegin = false;   // first point of a stroke
    bool isEnd = false;     // last point of a stroke
    int layerId = 0;
    QVariantMap extra;      // further per-point values such as brush settings
};
Q_DECLARE_METATYPE(TDrawPoint)
