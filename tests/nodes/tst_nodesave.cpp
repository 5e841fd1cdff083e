// Saves through the real server: what a save writes is what a full-resolution render shows
// (stamps included), saves name the node whose result they want, stamps never share ids,
// and a render error writes nothing and is reported.

#include "korvanetest.h"
#include "renderprobe.h"
#include "testhost.h"
#include "testlayers.h"

#include "engine/timprocworker.h"
#include "engine/timpserver.h"
#include "gpu/tuid.h"
#include "nodes/tnoderootwithadjust.h"

#include <QDir>
#include <QFile>

namespace {
// The full-resolution image the root hands back for a save of `node` without a file.
cv::Mat savedOutput(TNodeRoot* root, TNode* node)
{
    QSignalSpy changed(root, &TNodeRoot::outputChanged);
    node->saveOutputToFile(QUrl(), QVariantMap());
    if (!QTest::qWaitFor([&] { return changed.count() > 0 && TestHost::queueDrained(); }, 10000))
        return cv::Mat();
    return root->output().mat().clone();
}

// Every pixel within `tol` (16-bit units) of one colour given in 8-bit units.
bool uniformlyNear(const cv::Mat& m, const QColor& c, int tol, QString* message)
{
    const cv::Scalar expected(c.red() * 257.0, c.green() * 257.0, c.blue() * 257.0);
    cv::Mat diff;
    cv::absdiff(m, expected, diff);
    double worst = 0;
    cv::minMaxLoc(diff.reshape(1), nullptr, &worst);
    *message = QStringLiteral("worst difference %1 from %2").arg(worst).arg(c.name());
    return !m.empty() && worst <= tol;
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TstNodeSave : public ServerTest
{
    Q_OBJECT

    TNode* addLayer(const QString& className) { return TestHost::addChild(m_server, className, m_root); }
    void setFill(TNode* layer, const QColor& c) { layer->setParamsOnly({{"fill", c}}, unsigned(layer->uid())); }

    // Snapshot uid of a stamp's worker, read on the render thread.
    static unsigned stampUid(TNode* stamp, unsigned* fboUid = nullptr)
    {
        unsigned uid = 0;
        GpuFixture::onRenderThread([&] {
            if (auto* w = qobject_cast<TNodeStampWorker*>(TImprocWorker::ptr(stamp->uid()))) {
                uid = w->stampedFullMat().uid();
                if (fboUid)
                    *fboUid = w->stampedFullFbo().uid();
            }
        });
        return uid;
    }

private slots:
    void initTestCase()
    {
        TestLayers::registerAll();
        QVERIFY(startServer());
        cv::Mat input(12, 17, CV_8UC4);
        cv::randu(input, cv::Scalar::all(0), cv::Scalar::all(256));
        input.reshape(1, input.total()).col(3).setTo(255);
        m_root->setInput(TSMat(input));
        QTRY_VERIFY(TestHost::queueDrained());
    }

    void cleanup()
    {
        m_root->removeAllChildren();
        m_root->setProcMode(TImproc::LOWREZ);
        m_root->setLowrezScale(1.0f);
        QTRY_VERIFY(TestHost::queueDrained());
    }

    // The stamp freezes what lies below it; a later edit below must show neither in the
    // render nor in the save, and the two agree to the bit.
    void saveEqualsFullRenderWithStamps()
    {
        m_root->setProcMode(TImproc::FULL);
        auto* below = addLayer("FillLayer");
        QVERIFY(below);
        setFill(below, QColor(40, 160, 90));
        auto* stamp = addLayer("StampLayer");
        QVERIFY(stamp);
        auto* above = addLayer("FillLayer");
        QVERIFY(above);
        setFill(above, QColor(250, 20, 120));
        above->setBlendMode(TNode::BLENDMODE_SCREEN);
        above->setOpacity(0.4f);
        QTRY_VERIFY(TestHost::queueDrained());
        QVERIFY(!renderedOutput(m_root).empty());  // takes the snapshot

        setFill(below, QColor(200, 10, 10));
        QTRY_VERIFY(TestHost::queueDrained());
        const cv::Mat rendered = renderedOutput(m_root);
        const cv::Mat saved = savedOutput(m_root, m_root);
        QVERIFY(!rendered.empty() && !saved.empty());
        QCOMPARE(saved.size(), rendered.size());
        QCOMPARE(cv::norm(saved, rendered, cv::NORM_INF), 0.0);

        // Below the top layer the stamp still shows the old fill (both ways).
        QString message;
        QVERIFY2(uniformlyNear(savedOutput(m_root, stamp), QColor(40, 160, 90), 300, &message), qPrintable(message));
    }

    // A save asked by a node carries the image right after that node, not the whole tree.
    void saveOfANodeStopsAfterIt()
    {
        auto* lower = addLayer("FillLayer");
        auto* upper = addLayer("FillLayer");
        QVERIFY(lower && upper);
        setFill(lower, QColor(0, 255, 0));
        setFill(upper, QColor(0, 0, 255));
        QTRY_VERIFY(TestHost::queueDrained());
        QString message;
        QVERIFY2(uniformlyNear(savedOutput(m_root, lower), QColor(0, 255, 0), 300, &message), qPrintable(message));
        QVERIFY2(uniformlyNear(savedOutput(m_root, upper), QColor(0, 0, 255), 300, &message), qPrintable(message));
    }

    // Snapshots take fresh ids from the counter: two stamps never share one, a new snapshot
    // gets a new one, and the GPU copy carries the same id as the CPU copy.
    void stampSnapshotsHaveFreshUids()
    {
        m_root->setProcMode(TImproc::FULL);
        const unsigned before = TUid::counterValue();
        auto* first = addLayer("StampLayer");
        auto* second = addLayer("StampLayer");
        QVERIFY(first && second);
        QVERIFY(!renderedOutput(m_root).empty());
        unsigned firstFbo = 0;
        const unsigned a = stampUid(first, &firstFbo);
        const unsigned b = stampUid(second);
        QVERIFY(a > before && b > before);
        QVERIFY(a != b);
        QCOMPARE(firstFbo, a);

        qobject_cast<TNodeStamp*>(first)->restamp();
        QTRY_VERIFY(TestHost::queueDrained());
        QVERIFY(!renderedOutput(m_root).empty());
        const unsigned again = stampUid(first);
        QVERIFY(again != 0 && again != a && again != b);
        QCOMPARE(stampUid(second), b);
    }

    // A stamp that never rendered wants its full-resolution input, yet the preview's pre-pass
    // must leave it out wherever the render skips it: under an inactive or transparent parent.
    void prePassLeavesOutWhatTheRenderSkips()
    {
        TNode* parent = addLayer("ShiftLayer");
        QVERIFY(parent);
        parent->setActive(false);
        QTRY_VERIFY(TestHost::queueDrained());
        TNode* stamp = TestHost::addChild(m_server, "StampLayer", parent);
        QVERIFY(stamp);
        auto prePass = [&](bool* stampWantsFull) {
            TPendingList list;
            GpuFixture::onRenderThread([&] {
                auto* root = qobject_cast<TNodeWorker*>(TImprocWorker::ptr(m_root->uid()));
                auto* worker = qobject_cast<TNodeWorker*>(TImprocWorker::ptr(stamp->uid()));
                *stampWantsFull = worker && worker->needFullInput();
                if (root)
                    list = root->nodesNeedsFullProc();
            });
            return list;
        };
        bool wantsFull = false;
        QVERIFY(prePass(&wantsFull).isEmpty());
        QVERIFY(wantsFull);
        parent->setActive(true);
        parent->setOpacity(0.004f);
        QTRY_VERIFY(TestHost::queueDrained());
        QVERIFY(prePass(&wantsFull).isEmpty());
        QVERIFY(wantsFull);
    }

    // A preview scaled below full size runs the full-resolution pass that takes the snapshot,
    // then shows the snapshot scaled down.
    void stampInAPreviewTakesItsSnapshotFirst()
    {
        m_root->setProcMode(TImproc::NONE);  // no render until the tree is built
        m_root->setLowrezScale(0.5f);
        auto* fill = addLayer("FillLayer");
        auto* stamp = addLayer("StampLayer");
        QVERIFY(fill && stamp);
        setFill(fill, QColor(30, 60, 220));
        fill->setActive(false);  // the stamp's first input is the input image
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(stampUid(stamp), 0u);

        m_root->setProcMode(TImproc::LOWREZ);
        QVERIFY(!renderedOutput(m_root).empty());
        QVERIFY(stampUid(stamp) != 0);
        // With its snapshot the stamp covers the fill below it; a stamp that rendered nothing
        // would let the fill through.
        fill->setActive(true);
        QTRY_VERIFY(TestHost::queueDrained());
        const cv::Mat preview = renderedOutput(m_root);
        QCOMPARE(preview.cols, 9);  // 17 * 0.5, rounded
        QString message;
        QVERIFY2(!uniformlyNear(preview, QColor(30, 60, 220), 1000, &message), qPrintable(message));
    }

    // A render error mid-walk writes nothing: the existing file stays as it was, no stray
    // file is left beside it, the root hears the error, and no matrix is handed back.
    void failingRenderWritesNothing()
    {
        auto* fill = addLayer("FillLayer");
        auto* failing = addLayer("FailLayer");
        QVERIFY(fill && failing);
        failing->setParamsOnly({{"fail", true}}, unsigned(failing->uid()));
        QTRY_VERIFY(TestHost::queueDrained());

        QTemporaryDir dir;
        const QString path = dir.filePath("kept.png");
        const QByteArray original("not replaced by a half-rendered image");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(original) == original.size());
        f.close();

        QSignalSpy finished(m_root, &TNodeRoot::saveFinished);
        QSignalSpy changed(m_root, &TNodeRoot::outputChanged);
        m_root->saveOutputToFile(QUrl::fromLocalFile(path), saveOptions("PNG", {{"PNG_BITDEPTH", "8 bit"}}));
        QTRY_COMPARE(finished.count(), 1);
        QVERIFY(finished.at(0).at(1).toString().contains("FailWorker"));
        QCOMPARE(fileBytes(path), original);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"kept.png"});

        m_root->apply();
        QTRY_COMPARE(finished.count(), 2);
        QVERIFY(!finished.at(1).at(1).toString().isEmpty());
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(changed.count(), 0);

        // The same tree saves once the layer stops failing.
        failing->setParamsOnly({{"fail", false}}, unsigned(failing->uid()));
        m_root->saveOutputToFile(QUrl::fromLocalFile(path), saveOptions("PNG", {{"PNG_BITDEPTH", "8 bit"}}));
        QTRY_COMPARE(finished.count(), 3);
        QCOMPARE(finished.at(2).at(1).toString(), QString());
        QVERIFY(fileBytes(path) != original);
    }
};

KORVANE_TEST_CASE(TstNodeSave)
#include "tst_nodesave.moc"
