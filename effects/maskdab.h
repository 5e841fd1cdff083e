#pragma once
// Thread: any (a plain value; made by TMask and taken by its painter on the render thread).
// Owns: its fields.
// Errors: none; fromCommandName answers false for a name that is not a mask command.

#include <QPointF>
#include <QRectF>
#include <QString>

// One step for the mask painter: a dab of a stroke ("start", "in"), the end of a stroke, or
// a command. A typed value rather than a map: a fast stroke makes thousands per request.
struct MaskDab
{
    enum class Type { Start, In, End, Undo, Redo, Snapshot, Reset, Invert };

    Type type = Type::In;
    QPointF center;    // mask pixels
    float radius = 1.f; // mask pixels
    float strength = 1.f;
    float hardness = 1.f;
    float flow = 1.f;
    float coloraware = 1.f;
    // End: the stroke's area. Snapshot: the area of the operation it closes (empty: the whole
    // mask). Mask pixels.
    QRectF area;

    // "undo", "redo", "snapshot", "reset" or "invert".
    static bool fromCommandName(const QString& name, Type* type);
};
