#include "gpu/tsmat.h"
#include "gpu/tsmatlist.h"

#include "gpu/tuid.h"

#include "korvanetest.h"

#include <atomic>
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

// moves: 'p' = prev(), 'n' = next(), '+' = push an entry named "new"
struct ListNavigationRow { int entries; QString moves; int index; bool hasPrev; bool hasNext; QStringList names; };
Q_DECLARE_METATYPE(ListNavigationRow)

class TstTSMat : public QObject
{
    Q_OBJECT

private slots:
    void totalKBCountsRowStride()
    {
        const cv::Mat parent(1000, 1000, CV_8UC4);
        // 10 rows of the parent's 4000-byte stride, not 10 x 100 x 4 bytes.
        const TSMat roi(parent(cv::Rect(0, 0, 100, 10)));
        QCOMPARE(roi.size(), QSize(100, 10));
        QCOMPARE(roi.totalKB(), 39);
    }

    void setterDetaches_data()
    {
        using Setter = std::function<void(TSMat&)>;
        QTest::addColumn<Setter>("setter");

        QTest::newRow("setName") << Setter([](TSMat& m) { m.setName("changed"); });
        QTest::newRow("setProperty") << Setter([](TSMat& m) { m.setProperty("k", 42); });
    }

    // Every setter on a shared handle must leave the other handle exactly as it was,
    // metadata and pixels, and give the modified handle its own copy of the pixels.
    void setterDetaches()
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
        // Records live as long as their last handle: the detached one dies on assignment.
        copy = original;
        QCOMPARE(TSMat::liveRecords(), before);
    }

    // Copies of one record made and dropped on two threads at once: a non-atomic count loses
    // increments and then frees the record early or never.
    void concurrentCopiesKeepCountConsistent()
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

    // Node caches key on the structural hash of their parameters: an image in a map must hash
    // to its uid, through the getter the type registers.
    void hashedByUidInParameterMaps()
    {
        TSMat::registerMetaType();
        const TSMat m(noiseMat());
        QCOMPARE(TUid::hash(QVariant::fromValue(m)), m.uid());
    }

    // The history list of images: moves stop at the ends, a push after going back drops the tail.
    void listNavigation_data()
    {
        QTest::addColumn<ListNavigationRow>("row");
        QTest::newRow("empty, moves do nothing") << ListNavigationRow{0, "pnnp", -1, false, false, {}};
        QTest::newRow("next on last does nothing") << ListNavigationRow{5, "n", 4, true, false, {"0", "1", "2", "3", "4"}};
        QTest::newRow("prev on first does nothing") << ListNavigationRow{5, "pppppp", 0, false, true, {"0", "1", "2", "3", "4"}};
        QTest::newRow("back and forth") << ListNavigationRow{5, "ppppn", 1, true, true, {"0", "1", "2", "3", "4"}};
        QTest::newRow("push after prev drops the tail") << ListNavigationRow{5, "pp+", 3, true, false, {"0", "1", "2", "new"}};
    }

    void listNavigation()
    {
        QFETCH(ListNavigationRow, row);
        TSMatList list;
        for (int i = 0; i < row.entries; ++i)
            list.push({TSMat(cv::Mat(2, 2, CV_8UC1)), QString::number(i)});
        for (QChar c : row.moves) {
            if (c == 'p')
                list.prev();
            else if (c == 'n')
                list.next();
            else
                list.push({TSMat(), "new"});
        }
        QStringList names;
        for (int i = 0; i < list.count(); ++i)
            names << list.at(i).name;
        QCOMPARE(names, row.names);
        QCOMPARE(list.currentIndex(), row.index);
        QCOMPARE(list.hasPrev(), row.hasPrev);
        QCOMPARE(list.hasNext(), row.hasNext);
    }
};

KORVANE_TEST_CASE(TstTSMat)

#include "tst_tsmat.moc"
