#include "engine/tjson.h"
#include "engine/enginelogging.h"

#include "gpu/tengineenums.h"

#include <QColor>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QPointF>
#include <QRectF>
#include <QSet>
#include <QVector>
#include <QSizeF>
#include <QUrl>

namespace {
struct PlainBlendModeClasses
{
    QMutex mutex;
    QSet<QString> names;
};

PlainBlendModeClasses& plainBlendModeClasses()
{
    static PlainBlendModeClasses classes;
    return classes;
}

bool keepsPlainBlendMode(const QString& className)
{
    PlainBlendModeClasses& c = plainBlendModeClasses();
    QMutexLocker lock(&c.mutex);
    return c.names.contains(className);
}

bool isNumber(int type)
{
    switch (type) {
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong: case QMetaType::ULongLong:
    case QMetaType::Double: case QMetaType::Long: case QMetaType::Short: case QMetaType::Char:
    case QMetaType::ULong: case QMetaType::UShort: case QMetaType::UChar: case QMetaType::Float:
    case QMetaType::SChar:
        return true;
    default:
        return false;
    }
}

// True when `o` has exactly `keys` as its members.
bool hasExactly(const QJsonObject& o, std::initializer_list<const char*> keys)
{
    if (o.size() != int(keys.size()))
        return false;
    for (const char* k : keys) {
        if (!o.contains(QLatin1String(k)))
            return false;
    }
    return true;
}

// Channels outside 0...255 would make an invalid colour, which writes back as transparent
// black; the nearest valid colour keeps a preset stable through save and load.
QColor colourFrom(const QJsonValue& r, const QJsonValue& g, const QJsonValue& b, const QJsonValue& a)
{
    const auto channel = [](const QJsonValue& v) { return qBound(0, v.toInt(), 255); };
    return QColor(channel(r), channel(g), channel(b), channel(a));
}

// Reads the JSON string starting at the opening quote `i` as the parser decodes it, so keys
// compare as the parser will see them; `i` ends after the closing quote.
QString readString(const QByteArray& text, int& i)
{
    const int begin = i;
    for (++i; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] == '\\')
            ++i;
    }
    ++i;
    const QByteArray token = text.mid(begin, i - begin);
    return QJsonDocument::fromJson("[" + token + "]").array().at(0).toString();
}

// Qt's parser compares some keys through UTF-8, where an unpaired surrogate escape reads as
// U+FFFD; keys are compared here the same way, so "\ud800" and "\uFFFD" count as one name.
QString withLoneSurrogatesReplaced(QString key)
{
    for (int i = 0; i < key.size(); ++i) {
        const QChar c = key.at(i);
        if (c.isHighSurrogate() && i + 1 < key.size() && key.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            key[i] = QChar::ReplacementCharacter;
    }
    return key;
}

// True when some object of the text names a member twice. Qt's parser keeps the last one
// but leaks an object or array given under the earlier name, and such text is ambiguous
// anyway. Invalid JSON is left to the parser to refuse.
bool hasDuplicateKeys(const QByteArray& text)
{
    struct Level
    {
        bool object = false;
        bool expectKey = false;
        QSet<QString> keys;
    };
    QVector<Level> levels;
    for (int i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '"') {
            const QString s = withLoneSurrogatesReplaced(readString(text, i));
            if (!levels.isEmpty() && levels.last().object && levels.last().expectKey) {
                if (levels.last().keys.contains(s))
                    return true;
                levels.last().keys.insert(s);
                levels.last().expectKey = false;
            }
            continue;
        }
        if (c == '{' || c == '[')
            levels.append(Level{c == '{', c == '{', {}});
        else if ((c == '}' || c == ']') && !levels.isEmpty())
            levels.removeLast();
        else if (c == ',' && !levels.isEmpty() && levels.last().object)
            levels.last().expectKey = true;
        ++i;
    }
    return false;
}

QJsonObject rectObject(const QRectF& r)
{
    return QJsonObject{{"x", r.x()}, {"y", r.y()}, {"width", r.width()}, {"height", r.height()}};
}
} // namespace

QJsonValue TJson::toJsonValue(const QVariant& v)
{
    const int type = v.userType();
    if (type == QMetaType::Bool)
        return v.toBool();
    if (isNumber(type))
        return v.toDouble();
    if (type == QMetaType::QString || type == QMetaType::QByteArray)
        return v.toString();
    if (type == QMetaType::QUrl)
        return QJsonObject{{"url", v.toUrl().toString()}};
    if (type == QMetaType::QRect || type == QMetaType::QRectF)
        return rectObject(v.toRectF());
    if (type == QMetaType::QSize || type == QMetaType::QSizeF) {
        const QSizeF s = v.toSizeF();
        return QJsonObject{{"width", s.width()}, {"height", s.height()}};
    }
    if (type == QMetaType::QPoint || type == QMetaType::QPointF) {
        const QPointF p = v.toPointF();
        return QJsonObject{{"x", p.x()}, {"y", p.y()}};
    }
    if (type == QMetaType::QColor) {
        const QColor c = v.value<QColor>();
        return QJsonObject{{"red", c.red()}, {"green", c.green()}, {"blue", c.blue()}, {"alpha", c.alpha()}};
    }
    if (type == QMetaType::QVariantList || type == QMetaType::QJsonArray) {
        QJsonArray array;
        for (const QVariant& e : v.toList())
            array.append(toJsonValue(e));
        return array;
    }
    if (TEngineEnums::isEngineEnum(type))
        return QJsonObject{{QLatin1String(QMetaType::typeName(type)), TEngineEnums::value(v)}};
    if (v.canConvert<QVariantMap>()) {
        const QVariantMap map = v.toMap();
        if (!map.isEmpty()) {
            QJsonObject object;
            for (auto it = map.cbegin(); it != map.cend(); ++it)
                object.insert(it.key(), toJsonValue(it.value()));
            return object;
        }
    }
    if (type != QMetaType::QVariantMap && v.canConvert<QVariantList>()) {
        QJsonArray array;
        for (const QVariant& e : v.toList())
            array.append(toJsonValue(e));
        return array;
    }
    qCWarning(lcEngine) << "ERROR!!!! TJson::toJsonValue - unsupported type - please let Osvik to add " << v;
    return QJsonValue();
}

QVariant TJson::objectToVariant(const QJsonObject& o)
{
    if (o.size() == 1) {
        const QString key = o.begin().key();
        if (TEngineEnums::names().contains(key)) {
            const QVariant e = TEngineEnums::make(key, o.begin().value().toInt());
            // An enum whose class is not part of this process reads as its number.
            return e.isValid() ? e : QVariant(o.begin().value().toInt());
        }
    }
    if (hasExactly(o, {"x", "y"}))
        return QPointF(o["x"].toDouble(), o["y"].toDouble());
    if (hasExactly(o, {"width", "height"}))
        return QSizeF(o["width"].toDouble(), o["height"].toDouble());
    if (hasExactly(o, {"url"})) {
        // A URL that does not parse could not be written back: it reads as no URL.
        const QUrl url(o["url"].toString());
        if (!url.isValid())
            qCWarning(lcEngine) << "TJson - invalid URL read as none:" << o["url"].toString();
        return url.isValid() ? url : QUrl();
    }
    if (hasExactly(o, {"x", "y", "width", "height"}))
        return QRectF(o["x"].toDouble(), o["y"].toDouble(), o["width"].toDouble(), o["height"].toDouble());
    if (hasExactly(o, {"red", "green", "blue", "alpha"}))
        return colourFrom(o["red"], o["green"], o["blue"], o["alpha"]);
    if (hasExactly(o, {"bool"}))
        return o["bool"].toBool();
    if (hasExactly(o, {"int"}))
        return o["int"].toInt();
    if (hasExactly(o, {"double"}))
        return o["double"].toDouble();
    if (hasExactly(o, {"string"}))
        return o["string"].toString();
    if (hasExactly(o, {"rec_x", "rec_y", "rec_width", "rec_height"}))
        return QRectF(o["rec_x"].toDouble(), o["rec_y"].toDouble(), o["rec_width"].toDouble(),
                      o["rec_height"].toDouble());
    if (hasExactly(o, {"colorR", "colorG", "colorB", "colorA"}))
        return colourFrom(o["colorR"], o["colorG"], o["colorB"], o["colorA"]);
    if (o.isEmpty()) {
        qCWarning(lcEngine) << "ERROR!!! - TJson::toVariant - empty object";
        return QVariant();
    }
    QVariantMap map;
    for (auto it = o.begin(); it != o.end(); ++it)
        map.insert(it.key(), toVariant(it.value()));
    return map;
}

QVariant TJson::toVariant(const QJsonValue& j)
{
    switch (j.type()) {
    case QJsonValue::Null:
        qCWarning(lcEngine) << "ERROR!!!: TJson::toVariant - should not be null";
        return QVariant();
    case QJsonValue::Undefined:
        qCWarning(lcEngine) << "ERROR!!!: TJson::toVariant - should not be undefine";
        return QVariant();
    case QJsonValue::Bool:
        return j.toBool();
    case QJsonValue::Double:
        return j.toDouble();
    case QJsonValue::String:
        return j.toString();
    case QJsonValue::Array: {
        QVariantList list;
        for (const QJsonValue& e : j.toArray())
            list.append(toVariant(e));
        return list;
    }
    case QJsonValue::Object:
        return objectToVariant(j.toObject());
    }
    return QVariant();
}

QString TJson::qmapToString(const QVariantMap& map)
{
    const QJsonValue value = toJsonValue(QVariant(map));
    return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Indented));
}

QVariantMap TJson::stringToQMap(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    // JSON text never holds a raw NUL: in a string it must be escaped, elsewhere it is no
    // JSON. Qt's parser ends a member name at one, so two names differing after it are one
    // member to it (and the earlier value leaks).
    if (utf8.contains('\0')) {
        qCWarning(lcEngine) << "ERROR!!! TJson::stringToQMap - the text holds a NUL character; it is not read";
        return QVariantMap();
    }
    if (hasDuplicateKeys(utf8)) {
        qCWarning(lcEngine) << "ERROR!!! TJson::stringToQMap - an object names a member twice; the text is not read";
        return QVariantMap();
    }
    const QJsonDocument doc = QJsonDocument::fromJson(utf8);
    QVariantMap map = toVariant(doc.object()).toMap();
    // Effect presets store their blend mode as a plain number; node presets keep theirs as
    // written, since a node's property takes its own enum type, not the effect's.
    auto blend = map.find(QStringLiteral("blendMode"));
    const bool plain = keepsPlainBlendMode(map.value(QStringLiteral("className")).toString());
    if (blend != map.end() && !plain && blend.value().userType() == QMetaType::Double) {
        const QVariant e = TEngineEnums::make(QStringLiteral("TEffectMask::BlendMode"), blend.value().toInt());
        if (e.isValid())
            blend.value() = e;
    }
    return map;
}

void TJson::keepPlainBlendModeFor(const QString& className)
{
    PlainBlendModeClasses& c = plainBlendModeClasses();
    QMutexLocker lock(&c.mutex);
    c.names.insert(className);
}
