#pragma once
// Thread: any (pure functions over Qt's meta-type registry).
// Owns: nothing.
// Errors: unknown type names give an invalid variant.

#include <QStringList>
#include <QVariant>

// The engine's enums that take part in parameter maps, hashes and JSON. They are known
// by their registered names, since the classes declaring them live in other folders.
class TEngineEnums
{
public:
    // The registered type names, in the engine's fixed order.
    static const QStringList& names();
    static bool isEngineEnum(int metaTypeId);
    // The integer value of an enum variant, read with the width its meta type reports.
    static int value(const QVariant& v);
    // A variant of the named enum type holding `value`; invalid when the type is not registered.
    static QVariant make(const QString& typeName, int value);
};
