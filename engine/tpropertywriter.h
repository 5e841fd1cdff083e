#pragma once
// Thread: the thread of the object written to.
// Owns: nothing.
// Errors: refusal() names what is wrong with a value; write() refuses such values and values
//         the property cannot take, with a warning naming the key, and leaves it as it was.

#include <QMetaProperty>
#include <QVariant>

class QObject;

// Writes parameter values from maps (presets, JSON, worker updates) into Qt properties, for
// the node and the effect families alike. JSON gives every number back as a double and
// presets may carry another class's enum of the same meaning: Qt refuses both for an enum
// property, so they reach it through int. Values no property should hold (non-finite
// numbers, integers outside the property's enum) are refused before the write, since an
// enum holding a value outside its type is undefined behaviour in the setter.
class TPropertyWriter
{
public:
    static bool isFiniteValue(const QVariant& value);
    // Empty when `value` may be written to `prop`, else why not.
    static QString refusal(const QMetaProperty& prop, const QVariant& value);
    // `value` as writing it would pass it on, in the property's type where it converts;
    // invalid when refused. For documents built without touching the object.
    static QVariant asPropertyValue(const QMetaProperty& prop, const QVariant& value);
    static bool write(QObject* target, const QMetaProperty& prop, const QVariant& value);
};
