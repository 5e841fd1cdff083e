#include "gpu/tsmat.h"

#include "engine/tuid.h"

#include <QTest>

#include <atomic>
#include <functional>
#include <thread>

Q_DECLARE_METATYPE(std::function<void(TSMat&)>)

namespace {

// Random content, so a pixel copy that went wrong shows.
cv::Mat noiseMat(int rows = 4, int cols = 6, int type = CV_8UC4)
{
    cv::Mat m(rows, cols, type);
    cv::randu(m, cv::Scalar::all(0), cv::Scalar::all(255));
    return m;
}

bool samePixels(const cv::Mat& a, const cv::Mat& b)
{
    return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

} // namespace

class TstTSMat : public QObject
{
    Q_OBJECT

private slots:
    void defaultIsEmptyImage();
    void geometry_data();
    void geometry();
    void totalKBCountsRowStride();
    void freshUidsDiffer();
    void copySharesRecordAndPixels();
    void setterDetaches_data();
    void setterDetaches();
    void equality();
    void liveRecordsReturnToStart();
    void concurrentCopiesKeepCountConsistent();
    void travelsInVariant();
};

void TstTSMat::defaultIsEmptyImage()
{
    const TSMat m;
    QVERIFY(m.isEmpty());
    QCOMPARE(m.uid(), 0u);
    QCOMPARE(m.scale(), 1.0f);
    QVERIFY(m.name().isEmpty());
    QVERIFY(m.properties().isEmpty());
    QVERIFY(!m.property("_fboFormat_").isValid());
    QVERIFY(m == TSMat(cv::Mat()));
}

void TstTSMat::geometry_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("cols");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("empty");
    QTest::addColumn<int>("kb");

    QTest::newRow("0x0") << 0 << 0 << int(CV_8UC4) << true << 0;
    QTest::newRow("0 rows") << 0 << 7 << int(CV_8UC4) << true << 0;
    QTest::newRow("0 cols") << 7 << 0 << int(CV_8UC1) << true << 0;
    QTest::newRow("1x1") << 1 << 1 << int(CV_8UC1) << false << 0;
    QTest::newRow("1000x1000 8UC4") << 1000 << 1000 << int(CV_8UC4) << false << 3906;
    QTest::newRow("300x200 16UC3") << 300 << 200 << int(CV_16UC3) << false << 351;
    QTest::newRow("512x512 32FC4") << 512 << 512 << int(CV_32FC4) << false << 4096;
}

void TstTSMat::geometry()
{
    QFETCH(int, rows);
    QFETCH(int, cols);
    QFETCH(int, type);
    QFETCH(bool, empty);
    QFETCH(int, kb);

    const TSMat m(cv::Mat(rows, cols, type));
    QCOMPARE(m.width(), cols);
    QCOMPARE(m.height(), rows);
    QCOMPARE(m.size(), QSize(cols, rows));
    QCOMPARE(m.isEmpty(), empty);
    QCOMPARE(m.uid() == 0, empty);
    QCOMPARE(m.totalKB(), kb);
    if (!empty)
        QCOMPARE(m.type(), type);
}

void TstTSMat::totalKBCountsRowStride()
{
    const cv::Mat parent(1000, 1000, CV_8UC4);
    // 10 rows of the parent's 4000-byte stride, not 10 x 100 x 4 bytes.
    const TSMat roi(parent(cv::Rect(0, 0, 100, 10)));
    QCOMPARE(roi.size(), QSize(100, 10));
    QCOMPARE(roi.totalKB(), 39);
}

void TstTSMat::freshUidsDiffer()
{
    const cv::Mat src = noiseMat();
    const TSMat a(src);
    const TSMat b(src);
    QVERIFY(a.uid() != 0);
    QVERIFY(a.uid() != b.uid());
    QVERIFY(a != b);
    // Both wrap the caller's buffer instead of copying it.
    QCOMPARE(a.mat().data, src.data);
    QCOMPARE(b.mat().data, src.data);
}

void TstTSMat::copySharesRecordAndPixels()
{
    const TSMat a(noiseMat());
    const int before = TSMat::liveRecords();
    TSMat b(a);
    TSMat c;
    c = b;
    c = c;
    QCOMPARE(TSMat::liveRecords(), before);
    QVERIFY(b == a);
    QVERIFY(c == a);
    QCOMPARE(b.mat().data, a.mat().data);
    QCOMPARE(c.mat().data, a.mat().data);
}

void TstTSMat::setterDetaches_data()
{
    using Setter = std::function<void(TSMat&)>;
    QTest::addColumn<Setter>("setter");

    QTest::newRow("setName") << Setter([](TSMat& m) { m.setName("changed"); });
    QTest::newRow("setScale") << Setter([](TSMat& m) { m.setScale(0.25f); });
    QTest::newRow("setUid") << Setter([](TSMat& m) { m.setUid(m.uid() + 1); });
    QTest::newRow("setProperty") << Setter([](TSMat& m) { m.setProperty("k", 42); });
    QTest::newRow("setProperties") << Setter([](TSMat& m) { m.setProperties({{"k", 42}}); });
}

// Every setter on a shared handle must leave the other handle exactly as it was,
// metadata and pixels, and give the modified handle its own copy of the pixels.
void TstTSMat::setterDetaches()
{
    using Setter = std::function<void(TSMat&)>;
    QFETCH(Setter, setter);

    const cv::Mat src = noiseMat();
    const cv::Mat reference = src.clone();
    TSMat original(src);
    original.setName("orig");
    original.setScale(0.5f);
    original.setProperty("k", 1);
    const uint uid = original.uid();

    const int before = TSMat::liveRecords();
    TSMat copy(original);
    setter(copy);

    QCOMPARE(TSMat::liveRecords(), before + 1);
    QVERIFY(copy.mat().data != original.mat().data);
    QVERIFY(samePixels(copy.mat(), reference));
    QCOMPARE(original.mat().data, src.data);
    QVERIFY(samePixels(original.mat(), reference));
    QCOMPARE(original.name(), QString("orig"));
    QCOMPARE(original.scale(), 0.5f);
    QCOMPARE(original.uid(), uid);
    QCOMPARE(original.property("k"), QVariant(1));

    // Now the sole owner of its record, the copy is modified in place.
    const uchar* own = copy.mat().data;
    setter(copy);
    QCOMPARE(copy.mat().data, own);
}

void TstTSMat::equality()
{
    const TSMat a(noiseMat(4, 6));
    TSMat copy(a);
    copy.setScale(0.5f);
    copy.setName("other");
    // Still the same image as far as identity goes, though the pixels are no longer shared.
    QVERIFY(copy == a);
    QVERIFY(!(copy != a));

    // Pixels are never compared: different content with the same uid and size is equal.
    TSMat sameSize(cv::Mat(4, 6, CV_8UC4, cv::Scalar::all(0)));
    sameSize.setUid(a.uid());
    QVERIFY(sameSize == a);

    TSMat otherSize(noiseMat(6, 4));
    otherSize.setUid(a.uid());
    QVERIFY(otherSize != a);
    TSMat otherHeight(noiseMat(5, 6));
    otherHeight.setUid(a.uid());
    QVERIFY(otherHeight != a);
}

void TstTSMat::liveRecordsReturnToStart()
{
    const int start = TSMat::liveRecords();
    if (start == 0)
        QTest::ignoreMessage(QtDebugMsg, "all objects deleted");
    {
        TSMat a(noiseMat());
        TSMat b(a);
        QCOMPARE(TSMat::liveRecords(), start + 1);
        b.setName("detached");
        QCOMPARE(TSMat::liveRecords(), start + 2);
        TSMat c;
        QCOMPARE(TSMat::liveRecords(), start + 3);
        c = b; // c's own empty record dies
        QCOMPARE(TSMat::liveRecords(), start + 2);
        b = a; // c still holds the detached record
        QCOMPARE(TSMat::liveRecords(), start + 2);
    }
    QCOMPARE(TSMat::liveRecords(), start);
}

// Copies of one record made and dropped on two threads at once: a non-atomic count loses
// increments and then frees the record early or never.
void TstTSMat::concurrentCopiesKeepCountConsistent()
{
    const int start = TSMat::liveRecords();
    {
        const cv::Mat src = noiseMat(16, 16);
        const TSMat shared(src);
        // Both threads start together so their increments really interleave.
        std::atomic<int> ready{0};
        auto churn = [&shared, &ready] {
            TSMat held;
            ready.fetch_add(1);
            while (ready.load() < 2) {
            }
            for (int i = 0; i < 1000000; ++i) {
                TSMat local(shared);
                held = local;
                if (i % 2)
                    held = TSMat(shared);
            }
        };
        std::thread t1(churn);
        std::thread t2(churn);
        t1.join();
        t2.join();
        QCOMPARE(TSMat::liveRecords(), start + 1);
        QCOMPARE(shared.mat().data, src.data);

        // Detaches on this thread while the other one keeps copying the same record.
        ready.store(1);
        std::thread t3(churn);
        for (int i = 0; i < 1000; ++i) {
            TSMat m(shared);
            m.setName(QString::number(i));
        }
        t3.join();
        QCOMPARE(TSMat::liveRecords(), start + 1);
    }
    QCOMPARE(TSMat::liveRecords(), start);
}

void TstTSMat::travelsInVariant()
{
    TSMat::registerMetaType();
    TSMat::registerMetaType();
    QCOMPARE(QMetaType::type("TSMat"), qMetaTypeId<TSMat>());

    TSMat m(noiseMat());
    m.setName("n");
    const QVariant v = QVariant::fromValue(m);
    const TSMat back = v.value<TSMat>();
    QVERIFY(back == m);
    QCOMPARE(back.mat().data, m.mat().data);
    QCOMPARE(back.name(), QString("n"));
    // The structural hash reads the uid through the registered getter.
    QCOMPARE(TUid::hash(v), m.uid());
}

#include "testregistry.h"
KORVANE_TEST_CASE(TstTSMat)

#include "tst_tsmat.moc"
