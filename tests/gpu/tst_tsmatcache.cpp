#include "gpu/tsmatcache.h"

#include "korvanetest.h"

namespace {

// An image costing exactly kb kilobytes (a 1 KB row of 256 RGBA8 pixels per KB).
TSMat imageOfKB(int kb)
{
    return TSMat(cv::Mat(kb, 256, CV_8UC4, cv::Scalar::all(kb % 256)));
}

} // namespace

class TstTSMatCache : public QObject
{
    Q_OBJECT
    int m_savedMax = 0;

private slots:
    void init()
    {
        m_savedMax = TSMatCache::maxKB();
        TSMatCache::clear();
    }

    void cleanup()
    {
        TSMatCache::clear();
        TSMatCache::setMax(m_savedMax);
    }

    void getByUid_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("uidOffset"); // requested uid relative to the stored one; -1 means 0
        QTest::addColumn<bool>("hit");

        QTest::newRow("uid 0 accepts anything") << "k" << -1 << true;
        QTest::newRow("matching uid") << "k" << 0 << true;
        QTest::newRow("other uid") << "k" << 1 << false;
    }

    void getByUid()
    {
        QFETCH(QString, key);
        QFETCH(int, uidOffset);
        QFETCH(bool, hit);

        const TSMat image = imageOfKB(4);
        TSMatCache::set("k", image);
        const uint requested = uidOffset < 0 ? 0u : image.uid() + uint(uidOffset);
        const TSMat got = TSMatCache::get(key, requested);
        QCOMPARE(!got.isEmpty(), hit);
        if (hit) {
            QVERIFY(got == image);
            // The cache hands out the stored pixels, it never copies them.
            QCOMPARE(got.mat().data, image.mat().data);
        } else {
            // A stale entry is not kept for later: even uid 0 finds nothing now.
            QCOMPARE(got.uid(), 0u);
            QVERIFY(TSMatCache::get("k", 0).isEmpty());
            QCOMPARE(TSMatCache::count(), 0);
            QCOMPARE(TSMatCache::totalKB(), 0);
        }
    }

    // A decimated copy is found only for its own source and factor, even where the two numbers
    // combined by XOR would collide (uid 100 at 2 and uid 101 at 3 both give 102).
    void derivedCopiesBelongToOneSourceAndFactor()
    {
        const TSMat half = imageOfKB(2);
        TSMatCache::setDerived("inputDec", half, 100, 2);
        QCOMPARE(TSMatCache::getDerived("inputDec", 100, 2).uid(), half.uid());
        QVERIFY(TSMatCache::getDerived("inputDec", 101, 3).isEmpty());
        // The mismatch dropped the entry: the next image's copy is made afresh.
        QCOMPARE(TSMatCache::count(), 0);
        TSMatCache::setDerived("inputDec", half, 100, 2);
        QVERIFY(TSMatCache::getDerived("inputDec", 100, 4).isEmpty());
    }

    void costBoundary_data()
    {
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("kb");
        QTest::addColumn<bool>("stored");

        QTest::newRow("exactly max") << 10 << 10 << true;
        QTest::newRow("over max") << 10 << 11 << false;
    }

    void costBoundary()
    {
        QFETCH(int, max);
        QFETCH(int, kb);
        QFETCH(bool, stored);

        TSMatCache::setMax(max);
        TSMatCache::set("k", imageOfKB(kb));
        QCOMPARE(TSMatCache::count(), stored ? 1 : 0);
        QCOMPARE(TSMatCache::totalKB(), stored ? kb : 0);
    }

    // Budget 100 KB, entries of 40 KB: a third entry needs room for 40, so one must go, and
    // reading "a" just before makes "b" the oldest.
    void evictsLeastRecentlyUsed()
    {
        TSMatCache::setMax(100);
        const TSMat a = imageOfKB(40);
        const TSMat b = imageOfKB(40);
        const TSMat c = imageOfKB(40);
        TSMatCache::set("a", a);
        TSMatCache::set("b", b);
        QVERIFY(!TSMatCache::get("a", a.uid()).isEmpty());
        TSMatCache::set("c", c);

        QCOMPARE(TSMatCache::count(), 2);
        QCOMPARE(TSMatCache::totalKB(), 80);
        QVERIFY(TSMatCache::get("b", 0).isEmpty());
        QVERIFY(TSMatCache::get("a", 0) == a);
        QVERIFY(TSMatCache::get("c", 0) == c);

        // A big entry evicts as many old ones as it needs: c was read last, so a goes first.
        TSMatCache::set("d", imageOfKB(60));
        QCOMPARE(TSMatCache::count(), 2);
        QVERIFY(TSMatCache::get("a", 0).isEmpty());
        QVERIFY(TSMatCache::get("c", 0) == c);
        QCOMPARE(TSMatCache::totalKB(), 100);
    }
};


KORVANE_TEST_CASE(TstTSMatCache)

#include "tst_tsmatcache.moc"
