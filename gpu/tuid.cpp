#include "gpu/tuid.h"
#include "gpu/gpulogging.h"

#include "gpu/tengineenums.h"

#include <QByteArray>
#include <QColor>
#include <QHash>
#include <QMetaType>
#include <QPoint>
#include <QPointF>
#include <QReadWriteLock>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QUrl>
#include <QUuid>

#include <cstring>

// Starts at 1 so the first id handed out is 2. Constant-initialised, so objects
// created during static initialisation of other files already get valid ids.
std::atomic<unsigned int> TUid::m_globalUid{1};

namespace {

using UidGetter = std::function<unsigned int(const QVariant&)>;

struct UidGetterRegistry
{
    QReadWriteLock lock;
    QHash<int, UidGetter> getters;
};

// Function-local so that registrations made from static initialisers of other
// translation units never see an unconstructed registry.
UidGetterRegistry& uidGetterRegistry()
{
    static UidGetterRegistry registry;
    return registry;
}

UidGetter findUidGetter(int metaTypeId)
{
    UidGetterRegistry& registry = uidGetterRegistry();
    QReadLocker locker(&registry.lock);
    return registry.getters.value(metaTypeId);
}

// Truncation towards zero, keeping the low 32 bits. Going through 64 bits keeps
// values beyond the int range defined.
unsigned int truncated(double x)
{
    return static_cast<unsigned int>(static_cast<qint64>(x));
}

unsigned int hashBytes(const void* data, int size, unsigned int seed)
{
    return qHash(QByteArray::fromRawData(static_cast<const char*>(data), size), seed);
}

} // namespace

TUid::TUid()
    : m_uid(nextUid())
{
}

TUid::TUid(const TUid& other)
    : m_uid(other.m_uid)
{
}

TUid& TUid::operator=(const TUid& other)
{
    m_uid = other.m_uid;
    return *this;
}

TUid::~TUid() = default;

void TUid::update()
{
    m_uid = nextUid();
}

unsigned int TUid::nextUid()
{
    // Each draw is a single fetch_add, so concurrent draws never see the same value.
    // Only the thread whose increment wrapped to 0 draws again; re-reading the
    // counter instead would race with the other threads.
    unsigned int v;
    do {
        v = m_globalUid.fetch_add(1, std::memory_order_relaxed) + 1;
    } while (v == 0);
    return v;
}

unsigned int TUid::counterValue()
{
    return m_globalUid.load();
}

void TUid::setCounterValue(unsigned int v)
{
    m_globalUid.store(v);
}

void TUid::registerUidGetter(int metaTypeId, std::function<unsigned int(const QVariant&)> getter)
{
    UidGetterRegistry& registry = uidGetterRegistry();
    QWriteLocker locker(&registry.lock);
    if (getter)
        registry.getters.insert(metaTypeId, std::move(getter));
    else
        registry.getters.remove(metaTypeId);
}

QString TUid::jsonGuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

unsigned int TUid::combine(unsigned int a, unsigned int b)
{
    if (a == b)
        return a;
    // Unsigned 64-bit arithmetic wraps by definition, which the mixing relies on.
    const quint64 s = quint64(a) + quint64(b);
    const quint64 t = quint64(b) + 12u * s * (s + 1u);
    return static_cast<unsigned int>((t >> 32) ^ t);
}

quint64 TUid::chain(quint64 key, quint64 value)
{
    // The SplitMix64 finaliser over an odd-multiplier sum: every input bit reaches every output bit.
    quint64 z = key * 0x9e3779b97f4a7c15ull + value + 0x632be59bd9b4e019ull;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

unsigned int TUid::hash(unsigned int a, unsigned int b)
{
    return combine(a, b);
}

unsigned int TUid::hash(unsigned int a, unsigned int b, unsigned int c)
{
    return combine(a, combine(b, c));
}

unsigned int TUid::hash(const QString& s, unsigned int seed)
{
    return combine(qHash(s, 0), seed);
}

unsigned int TUid::hash(unsigned int seed, const QString& s)
{
    return combine(seed, qHash(s, 0));
}

unsigned int TUid::hash(unsigned int seed, const char* s)
{
    return combine(seed, qHash(QString::fromLatin1(s), 0));
}

unsigned int TUid::hash(void* p, unsigned int seed, const char* s)
{
    const quintptr x = reinterpret_cast<quintptr>(p);
    const unsigned int pointerHash = static_cast<unsigned int>((x >> 31) ^ x);
    return combine(seed, combine(pointerHash, qHash(QString::fromLatin1(s), 0)));
}

unsigned int TUid::hash(const QSize& sz, unsigned int seed)
{
    return combine(static_cast<unsigned int>(sz.height()), static_cast<unsigned int>(sz.width()) ^ seed);
}

unsigned int TUid::hash(unsigned int seed, const QSize& sz)
{
    return hash(sz, seed);
}

unsigned int TUid::hash(const QSizeF& sz, unsigned int seed)
{
    return combine(truncated(sz.height()), qHash(sz.width(), seed));
}

unsigned int TUid::hash(const QColor& c, unsigned int seed)
{
    return combine(static_cast<unsigned int>(c.red()),
                   static_cast<unsigned int>(c.green() ^ c.blue() ^ c.alpha()) ^ seed);
}

unsigned int TUid::hash(float f)
{
    return qHash(f, 0);
}

unsigned int TUid::hash(float f0, float f1, float f2, float f3, float f4,
                        float f5, float f6, float f7, float f8)
{
    const float values[9] = {f0, f1, f2, f3, f4, f5, f6, f7, f8};
    return hashBytes(values, int(sizeof values), 0);
}

unsigned int TUid::hash(unsigned int seed, float f0, float f1, float f2, float f3,
                        float f4, float f5, float f6, float f7)
{
    const float values[8] = {f0, f1, f2, f3, f4, f5, f6, f7};
    return combine(hashBytes(values, int(sizeof values), 0), seed);
}

unsigned int TUid::hash(const QStringList& keys, const QVariantMap& params, unsigned int seed)
{
    if (keys.isEmpty())
        return combine(hash(QVariant(params)), seed);

    QVariantMap selected;
    for (const QString& key : keys) {
        const auto it = params.constFind(key);
        if (it != params.constEnd())
            selected.insert(key, it.value());
    }
    return combine(hash(QVariant(selected)), seed);
}

unsigned int TUid::hash(const QVariant& v)
{
    const int type = v.userType();
    switch (type) {
    case QMetaType::Bool:
        return v.toBool() ? 1u : 0u;

    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::Short:
    case QMetaType::ULong:
    case QMetaType::UShort:
        return static_cast<unsigned int>(v.toInt());

    // Through float, so a value hashes the same whether it was stored as float or double.
    case QMetaType::Double:
    case QMetaType::Float:
        return qHash(v.toFloat(), 0);

    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::QChar:
        return v.toChar().unicode();

    case QMetaType::QString:
    case QMetaType::QByteArray:
    case QMetaType::QUrl:
        return qHash(v.toString(), 0);

    case QMetaType::QSize: {
        const QSize s = v.toSize();
        return combine(static_cast<unsigned int>(s.width()), static_cast<unsigned int>(s.height()));
    }
    case QMetaType::QSizeF: {
        const QSizeF s = v.toSizeF();
        return combine(truncated(s.width()), truncated(s.height()));
    }
    case QMetaType::QPoint: {
        const QPoint p = v.toPoint();
        return combine(static_cast<unsigned int>(p.x()), static_cast<unsigned int>(p.y()));
    }
    case QMetaType::QPointF: {
        const QPointF p = v.toPointF();
        return hash(float(p.x()), float(p.y()), 2.f, 3.f, 4.f, 5.f, 6.f, 7.f, 8.f);
    }
    case QMetaType::QRect: {
        const QRect r = v.toRect();
        return combine(hash(QVariant(r.topLeft())),
                       combine(static_cast<unsigned int>(r.height()), static_cast<unsigned int>(r.width())));
    }
    case QMetaType::QRectF: {
        const QRectF r = v.toRectF();
        return combine(hash(QVariant(r.topLeft())), combine(truncated(r.height()), qHash(r.width(), 0)));
    }
    case QMetaType::QColor: {
        const QColor c = v.value<QColor>();
        return combine(static_cast<unsigned int>(c.alpha()),
                       hash(static_cast<unsigned int>(c.red()), static_cast<unsigned int>(c.green()),
                            static_cast<unsigned int>(c.blue())));
    }
    default:
        break;
    }

    if (const UidGetter getter = findUidGetter(type))
        return getter(v);

    if (TEngineEnums::isEngineEnum(type))
        return static_cast<unsigned int>(TEngineEnums::value(v));

    // Maps before lists: a type that offers both is hashed by its keyed form.
    if (v.canConvert<QVariantMap>()) {
        const QVariantMap map = v.toMap();
        if (!map.isEmpty()) {
            unsigned int acc = 456;
            for (auto it = map.constBegin(); it != map.constEnd(); ++it)
                acc = hash(hash(it.key(), 0), hash(it.value()), acc);
            return acc;
        }
    }

    if (v.canConvert<QVariantList>()) {
        unsigned int acc = 123;
        const QVariantList list = v.toList();
        for (const QVariant& e : list)
            acc = combine(hash(e), acc);
        return acc;
    }

    qCWarning(lcGpu) << "ERROR!!!! unsupported type" << v << type;
    return 0;
}
