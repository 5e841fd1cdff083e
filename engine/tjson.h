#pragma once
// Thread: any; `keepPlainBlendModeFor` on the GUI thread while classes are registered,
//         before presets are read.
// Owns: the names of the classes whose presets keep a plain blend-mode number.
// Errors: invalid text gives an empty map; unsupported values become JSON null with a warning.

#include <QJsonValue>
#include <QString>
#include <QVariantMap>

// Parameter maps and presets as JSON text and back. Numbers come back as double,
// integer geometry as floating geometry, and the engine's enums as their own types
// (they are written wrapped in one-key objects named after the enum type).
class TJson
{
public:
    static QString qmapToString(const QVariantMap& map);
    static QVariantMap stringToQMap(const QString& text);
    // Presets of class `className` keep "blendMode" as written: the class's property takes
    // an enum of its own (node classes register here), while every other preset's plain
    // number becomes the effect blend-mode enum.
    static void keepPlainBlendModeFor(const QString& className);

private:
    static QJsonValue toJsonValue(const QVariant& v);
    static QVariant toVariant(const QJsonValue& j);
    static QVariant objectToVariant(const QJsonObject& o);
};
