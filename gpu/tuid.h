#pragma once
// Thread: any. Drawing a fresh id is one atomic increment; the hash functions are pure.
// Owns: nothing but its id.
// Errors: hashing an unsupported variant type writes a warning and yields 0.

#include <QString>
#include <QVariant>
#include <QStringList>
#include <atomic>
#include <functional>

class QSize;
class QSizeF;
class QColor;

// A process-wide unique 32-bit id. 0 is never handed out and means "no id".
// Image handles draw a new id whenever their content changes, so caches can
// tell whether an input is still the same; processing objects share one id
// with their render-thread twin.
class TUid
{
public:
    TUid();
    TUid(const TUid& other);
    TUid& operator=(const TUid& other);
    virtual ~TUid();

    unsigned int uid() const { return m_uid; }
    void set(unsigned int uid) { m_uid = uid; }
    void update();

    // A random UUID in text form without braces, for identifiers inside JSON documents.
    static QString jsonGuid();

    // The pair combiner underlying every multi-value hash.
    static unsigned int combine(unsigned int a, unsigned int b);
    // Order-dependent 64-bit mixing of a key with one more value, for keys naming images
    // built in steps: 32 bits would let two of the many states of an edited tree collide.
    static quint64 chain(quint64 key, quint64 value);

    static unsigned int hash(unsigned int a, unsigned int b);
    static unsigned int hash(unsigned int a, unsigned int b, unsigned int c);
    static unsigned int hash(const QString& s, unsigned int seed);
    static unsigned int hash(unsigned int seed, const QString& s);
    static unsigned int hash(unsigned int seed, const char* s);
    static unsigned int hash(void* p, unsigned int seed, const char* s);
    static unsigned int hash(const QSize& sz, unsigned int seed);
    static unsigned int hash(unsigned int seed, const QSize& sz);
    static unsigned int hash(const QSizeF& sz, unsigned int seed);
    static unsigned int hash(const QColor& c, unsigned int seed);
    static unsigned int hash(float f);
    static unsigned int hash(float f0, float f1, float f2, float f3, float f4,
                             float f5, float f6, float f7, float f8);
    static unsigned int hash(unsigned int seed, float f0, float f1, float f2, float f3,
                             float f4, float f5, float f6, float f7);
    static unsigned int hash(const QStringList& keys, const QVariantMap& params, unsigned int seed);
    // Structural hash of a variant: equal content gives equal hashes within one process run.
    static unsigned int hash(const QVariant& v);

    // Image handle types (whose classes live outside the engine core) register how to read
    // the uid out of a variant of their meta type; the structural hash then uses it.
    // Registering an empty function removes the entry.
    static void registerUidGetter(int metaTypeId, std::function<unsigned int(const QVariant&)> getter);

    // Test hook: the counter's current value; the next fresh id is one above it (skipping 0).
    static unsigned int counterValue();
    static void setCounterValue(unsigned int v);

private:
    static unsigned int nextUid();

    unsigned int m_uid;
    static std::atomic<unsigned int> m_globalUid;
};
