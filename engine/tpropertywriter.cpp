#include "engine/tpropertywriter.h"

#include "engine/enginelogging.h"
#include "gpu/tengineenums.h"

#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <cmath>

namespace {
// The integer an enum property would receive, from a number or any enum variant.
bool enumInteger(const QVariant& value, int* out)
{
    if (TEngineEnums::isEngineEnum(value.userType())) {
        *out = TEngineEnums::value(value);
        return true;
    }
    bool ok = false;
    *out = value.toInt(&ok);
    return ok;
}

// Qt refuses a double or another enum type for an enum property; it takes an int.
QVariant enumAsInt(const QMetaProperty& prop, const QVariant& value)
{
    int asInt = 0;
    if (prop.isEnumType() && value.userType() != QMetaType::QString && enumInteger(value, &asInt))
        return QVariant(asInt);
    return value;
}
} // namespace

bool TPropertyWriter::isFiniteValue(const QVariant& v)
{
    switch (v.userType()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return std::isfinite(v.toDouble());
    case QMetaType::QPointF: {
        const QPointF p = v.toPointF();
        return std::isfinite(p.x()) && std::isfinite(p.y());
    }
    case QMetaType::QSizeF: {
        const QSizeF z = v.toSizeF();
        return std::isfinite(z.width()) && std::isfinite(z.height());
    }
    case QMetaType::QRectF: {
        const QRectF r = v.toRectF();
        return std::isfinite(r.x()) && std::isfinite(r.y()) && std::isfinite(r.width()) && std::isfinite(r.height());
    }
    default:
        return true;
    }
}

QString TPropertyWriter::refusal(const QMetaProperty& prop, const QVariant& value)
{
    if (!isFiniteValue(value))
        return QStringLiteral("a non-finite value");
    if (prop.isValid() && prop.isEnumType() && value.userType() != QMetaType::QString) {
        int asInt = 0;
        if (!enumInteger(value, &asInt) || !prop.enumerator().valueToKey(asInt))
            return QStringLiteral("not a value of ") + QLatin1String(prop.enumerator().name());
    }
    return QString();
}

QVariant TPropertyWriter::asPropertyValue(const QMetaProperty& prop, const QVariant& value)
{
    if (!refusal(prop, value).isEmpty())
        return QVariant();
    const QVariant v = enumAsInt(prop, value);
    // What the setter would store: the property's own type where the value converts.
    QVariant typed = v;
    if (prop.userType() != QMetaType::QVariant && typed.userType() != prop.userType() && typed.convert(prop.userType()))
        return typed;
    return v;
}

bool TPropertyWriter::write(QObject* target, const QMetaProperty& prop, const QVariant& value)
{
    const QString refused = refusal(prop, value);
    if (!refused.isEmpty()) {
        qCWarning(lcEngine) << "ERROR!!! refused" << value << "for" << prop.name() << "of"
                            << target->metaObject()->className() << "-" << refused;
        return false;
    }
    if (!prop.write(target, enumAsInt(prop, value))) {
        qCWarning(lcEngine) << "cannot set property" << prop.name() << "of" << target->metaObject()->className()
                            << "to" << value;
        return false;
    }
    return true;
}
