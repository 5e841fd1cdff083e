#include "gpu/tsmatcache.h"

#include <QTest>

namespace {

// An image costing exactly kb kilobytes (a 1 KB row of 256 RGBA8 pixels per KB).
TSMat imageOfKB(int kb)
{
    return TSMat(cv::Mat(kb, 256, CV_8UC4, cv::Scalar::all(kb % 256)));
}

QString sizeMessage(const TSMat& m)
{
    return QString("QSize(%1, %2)").arg(m.width()).arg(m.height());
}

} // namespace

class TstTSMatCache : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void getByUid_data();
    void getByUid();
    void staleEntryIsRemoved();
    void setReplacesKey();
    void costBoundary_data();
    void costBoundary();
    void oversizeSetRemovesOlderEntry();
    void emptySetKeepsEntry();
    void evictsLeastRecentlyUsed();
    void setMaxEvictsAtOnce();
    void clearDestroysEntries();

private:
    int m_savedMax = 0;
};

void TstTSMatCache::init()
{
    m_savedMax = TSMatCache::maxKB();
    TSMatCache::clear();
}

void TstTSMatCache::cleanup()
{
    TSMatCache::clear();
    TSMatCache::setMax(m_savedMax);
}

void TstTSMatCache::getByUid_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("uidOffset"); // requested uid relative to the stored one; -1 means 0
    QTest::addColumn<bool>("hit");

    QTest::newRow("uid 0 accepts anything") << "k" << -1 << true;
    QTest::newRow("matching uid") << "k" << 0 << true;
    QTest::newRow("other uid") << "k" << 1 << false;
    QTest::newRow("absent key") << "other" << 0 << false;
}

void TstTSMatCache::getByUid()
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
        QCOMPARE(got.uid(), 0u);
    }
}

void TstTSMatCache::staleEntryIsRemoved()
{
    const TSMat image = imageOfKB(4);
    TSMatCache::set("k", image);
    QVERIFY(TSMatCache::get("k", image.uid() + 1).isEmpty());
    QVERIFY(TSMatCache::get("k", 0).isEmpty());
    QCOMPARE(TSMatCache::count(), 0);
    QCOMPARE(TSMatCache::totalKB(), 0);
}

void TstTSMatCache::setReplacesKey()
{
    const TSMat second = imageOfKB(7);
    TSMatCache::set("k", imageOfKB(4));
    TSMatCache::set("k", second);
    QCOMPARE(TSMatCache::count(), 1);
    QCOMPARE(TSMatCache::totalKB(), 7);
    QVERIFY(TSMatCache::get("k", 0) == second);
}

void TstTSMatCache::costBoundary_data()
{
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("kb");
    QTest::addColumn<bool>("stored");

    QTest::newRow("below max") << 10 << 9 << true;
    QTest::newRow("exactly max") << 10 << 10 << true;
    QTest::newRow("over max") << 10 << 11 << false;
}

void TstTSMatCache::costBoundary()
{
    QFETCH(int, max);
    QFETCH(int, kb);
    QFETCH(bool, stored);

    TSMatCache::setMax(max);
    TSMatCache::set("k", imageOfKB(kb));
    QCOMPARE(TSMatCache::count(), stored ? 1 : 0);
    QCOMPARE(TSMatCache::totalKB(), stored ? kb : 0);
}

void TstTSMatCache::oversizeSetRemovesOlderEntry()
{
    TSMatCache::setMax(100);
    TSMatCache::set("other", imageOfKB(30));
    TSMatCache::set("k", imageOfKB(50));
    TSMatCache::set("k", imageOfKB(101));
    QVERIFY(TSMatCache::get("k", 0).isEmpty());
    // Only the replaced key is affected.
    QCOMPARE(TSMatCache::count(), 1);
    QCOMPARE(TSMatCache::totalKB(), 30);
}

void TstTSMatCache::emptySetKeepsEntry()
{
    const TSMat image = imageOfKB(4);
    TSMatCache::set("k", image);
    TSMatCache::set("k", TSMat());
    TSMatCache::set("k", TSMat(cv::Mat(0, 10, CV_8UC4)));
    QVERIFY(TSMatCache::get("k", image.uid()) == image);
}

// Budget 100 KB, entries of 40 KB: a third entry needs room for 40, so one must go, and
// reading "a" just before makes "b" the oldest.
void TstTSMatCache::evictsLeastRecentlyUsed()
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

void TstTSMatCache::setMaxEvictsAtOnce()
{
    TSMatCache::setMax(200);
    TSMatCache::set("a", imageOfKB(40));
    TSMatCache::set("b", imageOfKB(40));
    TSMatCache::set("c", imageOfKB(40));
    TSMatCache::get("a", 0);
    TSMatCache::setMax(90);
    QCOMPARE(TSMatCache::count(), 2);
    QCOMPARE(TSMatCache::totalKB(), 80);
    QVERIFY(TSMatCache::get("b", 0).isEmpty());
    QVERIFY(!TSMatCache::get("a", 0).isEmpty());
    QVERIFY(!TSMatCache::get("c", 0).isEmpty());
}

void TstTSMatCache::clearDestroysEntries()
{
    const TSMat a = imageOfKB(3);
    const TSMat b = imageOfKB(5);
    TSMatCache::set("a", a);
    TSMatCache::set("b", b);
    const int records = TSMat::liveRecords();
    QTest::ignoreMessage(QtDebugMsg, qPrintable(sizeMessage(a)));
    QTest::ignoreMessage(QtDebugMsg, qPrintable(sizeMessage(b)));
    TSMatCache::clear();
    QCOMPARE(TSMatCache::count(), 0);
    QCOMPARE(TSMatCache::totalKB(), 0);
    // The cache held shared handles, not records of its own.
    QCOMPARE(TSMat::liveRecords(), records);

    // Any TSMatCache object clears the process-wide cache when it dies.
    TSMatCache::set("a", a);
    {
        TSMatCache owner;
    }
    QCOMPARE(TSMatCache::count(), 0);
}

#include "testregistry.h"
KORVANE_TEST_CASE(TstTSMatCache)

#include "tst_tsmatcache.moc"
