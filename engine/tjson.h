#pragma once
// Thread: any (pure functions).
// Owns: nothing.
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

private:
    static QJsonValue toJsonValue(const QVariant& v);
    static QVariant toVariant(const QJsonValue& j);
    static QVariant objectToVariant(const QJsonObject& o);
};
