#include "gpu/tuid.h"

#include <QJsonObject>
#include <QRegularExpression>
#include "korvanetest.h"

#include <atomic>
#include <thread>

namespace {

// Offers both a keyed and a sequential form, to check which one the hash picks.
struct TuidDualForm
{
    QVariantMap map;
    QVariantList list;
};

// Stands in for an image handle that exposes its uid through a registered getter.
struct TuidUidCarrier
{
    unsigned int id = 0;
};

// Tests that move the shared counter put it back, so later cases in this
// executable keep receiving ids above the ones already handed out.
struct CounterGuard
{
    unsigned int saved = TUid::counterValue();
    ~CounterGuard() { TUid::setCounterValue(saved); }
};

} // namespace

Q_DECLARE_METATYPE(TuidDualForm)
Q_DECLARE_METATYPE(TuidUidCarrier)

class TstTUid : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        static const bool converters = [] {
            QMetaType::registerConverter<TuidDualForm, QVariantMap>([](const TuidDualForm& d) { return d.map; });
            QMetaType::registerConverter<TuidDualForm, QVariantList>([](const TuidDualForm& d) { return d.list; });
            return true;
        }();
        Q_UNUSED(converters);
    }

    void idSequence_data()
    {
        QTest::addColumn<unsigned int>("counter");
        QTest::addColumn<QVector<unsigned int>>("ids");
        QTest::newRow("first id is 2") << 1u << QVector<unsigned int>{2, 3, 4};
        QTest::newRow("wrap skips 0") << 0xFFFFFFFDu << QVector<unsigned int>{0xFFFFFFFE, 0xFFFFFFFF, 1};
        QTest::newRow("counter at max") << 0xFFFFFFFFu << QVector<unsigned int>{1, 2, 3};
    }
    void idSequence()
    {
        QFETCH(unsigned int, counter);
        QFETCH(QVector<unsigned int>, ids);
        CounterGuard guard;
        TUid::setCounterValue(counter);
        TUid a, b;
        QCOMPARE(a.uid(), ids[0]);
        QCOMPARE(b.uid(), ids[1]);
        a.update();
        QCOMPARE(a.uid(), ids[2]);
    }

    void concurrentDrawsAreUnique()
    {
        CounterGuard guard;
        constexpr unsigned int perThread = 100000;
        // Start below the wrap so that both threads race across it.
        const unsigned int start = 0xFFFFFFFFu - perThread;
        TUid::setCounterValue(start);
        std::vector<unsigned int> ids[2];
        std::atomic<int> ready{0};
        auto draw = [&](std::vector<unsigned int>& out) {
            out.reserve(perThread);
            ready.fetch_add(1);
            while (ready.load() < 2) {} // start together
            for (unsigned int i = 0; i < perThread; ++i)
                out.push_back(TUid().uid());
        };
        std::thread t0(draw, std::ref(ids[0]));
        std::thread t1(draw, std::ref(ids[1]));
        t0.join();
        t1.join();

        std::vector<unsigned int> all = ids[0];
        all.insert(all.end(), ids[1].begin(), ids[1].end());
        std::sort(all.begin(), all.end());
        QVERIFY(all.front() != 0u);
        QVERIFY(std::adjacent_find(all.begin(), all.end()) == all.end());
        // Exactly one draw landed on 0 and was drawn again.
        QCOMPARE(TUid::counterValue(), start + 2 * perThread + 1);
    }

    void combine_data()
    {
        QTest::addColumn<unsigned int>("a");
        QTest::addColumn<unsigned int>("b");
        QTest::addColumn<unsigned int>("expected");
        QTest::newRow("equal") << 5u << 5u << 5u;
        QTest::newRow("1,2") << 1u << 2u << 146u;        // s=3, t=2+12*3*4
        QTest::newRow("2,1") << 2u << 1u << 145u;        // not symmetric
        // 12*s*(s+1) overflows 64 bits: t = (2^32-119)*2^32 + 70
        QTest::newRow("max,max-1") << 0xFFFFFFFFu << 0xFFFFFFFEu << 0xFFFFFFCFu;
    }
    void combine()
    {
        QFETCH(unsigned int, a);
        QFETCH(unsigned int, b);
        QFETCH(unsigned int, expected);
        QCOMPARE(TUid::combine(a, b), expected);
        QCOMPARE(TUid::hash(a, b), expected);
    }

    void structuralHash_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<unsigned int>("expected");
        const unsigned int abc = qHash(QStringLiteral("abc"), 0);
        QTest::newRow("bool") << QVariant(true) << 1u;
        QTest::newRow("string") << QVariant(QStringLiteral("abc")) << abc;
        QTest::newRow("sizef truncates") << QVariant(QSizeF(3.7, 4.2)) << TUid::combine(3, 4);
        QTest::newRow("empty list") << QVariant(QVariantList()) << 123u;
        QTest::newRow("map") << QVariant(QVariantMap{{QStringLiteral("abc"), 7}})
                             << TUid::combine(TUid::combine(abc, 0), TUid::combine(7, 456));
    }
    void structuralHash()
    {
        QFETCH(QVariant, value);
        QFETCH(unsigned int, expected);
        QCOMPARE(TUid::hash(value), expected);
    }

    void hashEquality_data()
    {
        QTest::addColumn<QVariant>("a");
        QTest::addColumn<QVariant>("b");
        QTest::addColumn<bool>("equal");
        const QVariantMap ab{{"a", 1}, {"b", 2}};
        QVariantHash ba;
        ba.insert("b", 2);
        ba.insert("a", 1);
        const QVariantList list{1, 2};
        QTest::newRow("map insertion order") << QVariant(ba) << QVariant(ab) << true;
        QTest::newRow("json object") << QVariant(QJsonObject{{"b", 2.5}, {"a", 1.5}})
                                     << QVariant(QVariantMap{{"a", 1.5}, {"b", 2.5}}) << true;
        QTest::newRow("map values swapped") << QVariant(QVariantMap{{"a", 2}, {"b", 1}}) << QVariant(ab) << false;
        QTest::newRow("list order") << QVariant(QVariantList{2, 1}) << QVariant(list) << false;
        QTest::newRow("map before list") << QVariant::fromValue(TuidDualForm{ab, list}) << QVariant(ab) << true;
        QTest::newRow("empty map falls to list") << QVariant::fromValue(TuidDualForm{{}, list}) << QVariant(list) << true;
        QTest::newRow("float and double") << QVariant(0.1f) << QVariant(0.1) << true;
        QTest::newRow("bytes and text") << QVariant(QByteArray("abc")) << QVariant(QStringLiteral("abc")) << true;
    }
    void hashEquality()
    {
        QFETCH(QVariant, a);
        QFETCH(QVariant, b);
        QFETCH(bool, equal);
        QCOMPARE(TUid::hash(a) == TUid::hash(b), equal);
    }

    void registeredUidGetter()
    {
        const int type = qMetaTypeId<TuidUidCarrier>();
        TUid::registerUidGetter(type, [](const QVariant& v) { return v.value<TuidUidCarrier>().id; });
        const QVariant image = QVariant::fromValue(TuidUidCarrier{77});
        QCOMPARE(TUid::hash(image), 77u);

        // Without a getter, like an empty map or an invalid value, it is unsupported: a
        // warning naming the type, and no hash.
        TUid::registerUidGetter(type, {});
        for (const QVariant& value : {image, QVariant(QVariantMap()), QVariant()}) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(
                QStringLiteral("^ERROR!!!! unsupported type QVariant\\(.* %1$").arg(value.userType())));
            QCOMPARE(TUid::hash(value), 0u);
        }
    }

    void keysSelectParams_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QVariantMap>("selected");
        const QVariantMap all{{"a", 1}, {"b", "x"}, {"c", 2.5}};
        QTest::newRow("no keys = all") << QStringList() << all;
        QTest::newRow("subset") << QStringList{"b", "a"} << QVariantMap{{"a", 1}, {"b", "x"}};
        QTest::newRow("unknown key ignored") << QStringList{"c", "zzz"} << QVariantMap{{"c", 2.5}};
    }
    void keysSelectParams()
    {
        QFETCH(QStringList, keys);
        QFETCH(QVariantMap, selected);
        const QVariantMap params{{"a", 1}, {"b", "x"}, {"c", 2.5}};
        const unsigned int seed = 99;
        const unsigned int h = TUid::hash(keys, params, seed);
        QCOMPARE(h, TUid::combine(TUid::hash(QVariant(selected)), seed));
        if (selected.size() < params.size())
            QVERIFY(h != TUid::hash(QStringList(), params, seed));
    }

    void jsonGuid()
    {
        const QString g = TUid::jsonGuid();
        QCOMPARE(g.size(), 36);
        QVERIFY(QRegularExpression("^[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}$").match(g).hasMatch());
        QVERIFY(TUid::jsonGuid() != g);
    }
};

KORVANE_TEST_CASE(TstTUid)

#include "tst_tuid.moc"
