// Saves through the real server: what a save writes is what a full-resolution render shows
// (stamps included), saves name the node whose result they want, stamps never share ids,
// a render error writes nothing and is reported, and what the working format keeps of a file
// saved through the root unchanged.

#include "korvanetest.h"
#include "renderprobe.h"
#include "testhost.h"
#include "testlayers.h"

#include "engine/timprocworker.h"
#include "engine/timpserver.h"
#include "gpu/glformatinfo.h"
#include "gpu/tuid.h"
#include "io/imageiomanager.h"
#include "io/workspace.h"
#include "nodes/tnoderootwithadjust.h"

#include <QDir>
#include <QFile>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {
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

// Random pixels of `cvType` written by OpenCV (so the library reads a file it did not write)
// as 8-bit PNG or 16-bit TIFF, loaded, set as the root's input, saved through the root with
// no layers in the same format, loaded back and compared on the colour channels (the compact
// format has no alpha, and alpha is not what is measured).
void checkRoundTrip(TNodeRoot* root, int cvType, const cv::Scalar& absTol, const cv::Scalar& relTol)
{
    QTemporaryDir dir;
    const bool png = CV_MAT_DEPTH(cvType) == CV_8U;
    const QString source = dir.filePath(png ? "source.png" : "source.tif");
    const QString target = dir.filePath(png ? "saved.png" : "saved.tif");
    QVERIFY(cv::imwrite(source.toStdString(), GpuTest::randomImage(17, 31, cvType, 7)));
    QString failure;
    const TSMat input = ImageIOManager::tryLoadFile(source, Workspace::colorManagmentSystem(), &failure);
    QVERIFY2(!input.isEmpty(), qPrintable(failure));
    cv::Mat got, want;
    cv::cvtColor(input.mat(), want, cv::COLOR_RGBA2RGB);
    root->setInput(input);
    QSignalSpy finished(root, &TNodeRoot::saveFinished);
    root->saveOutputToFile(QUrl::fromLocalFile(target),
        png ? saveOptions("PNG", {{"PNG_BITDEPTH", "8 bit"}}) : saveOptions("TIFF", {{"SAVE_ALPHA", "FALSE"}}));
    QTRY_VERIFY_WITH_TIMEOUT(finished.count() > 0, 20000);
    QVERIFY2(finished.at(0).at(1).toString().isEmpty(), qPrintable(finished.at(0).at(1).toString()));
    const TSMat back = ImageIOManager::tryLoadFile(target, Workspace::colorManagmentSystem(), &failure);
    QVERIFY2(!back.isEmpty(), qPrintable(failure));
    cv::cvtColor(back.mat(), got, cv::COLOR_RGBA2RGB);
    GPU_COMPARE_IMAGES(got, want, absTol, relTol,
                       QStringLiteral("root_save_%1").arg(QTest::currentDataTag() ? QTest::currentDataTag() : "packed"));
}

} // namespace

struct PrecisionRow { int cvType; cv::Scalar absTol; cv::Scalar relTol; };
Q_DECLARE_METATYPE(PrecisionRow)

class TstNodeSave : public ServerTest
{
    Q_OBJECT
    TSMat m_input;  // the input the cases share
    bool m_ownInput = false;  // a case replaced it

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
        m_input = TSMat(input);
        m_root->setInput(m_input);
        QTRY_VERIFY(TestHost::queueDrained());
    }

    void cleanup()
    {
        if (std::exchange(m_ownInput, false))
            m_root->setInput(m_input);
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

    // An opaque input covering the canvas unmoved is where a full-size walk starts: the
    // cleared canvas it replaces is never made, so a save holds one image beside the input.
    void saveMakesNoCanvasUnderACoveringInput()
    {
        m_ownInput = true;
        cv::Mat input(256, 256, CV_8UC4, cv::Scalar(30, 90, 150, 255));
        m_root->setInput(TSMat(input));
        m_root->setProcMode(TImproc::NONE);
        QTRY_VERIFY(TestHost::queueDrained());
        int before = 0;
        GpuFixture::onRenderThread([&] {
            TSFbo::resetMaxKBbytes();
            before = TSFbo::totalKBytesUsed();
        });
        QTemporaryDir dir;
        QSignalSpy finished(m_root, &TNodeRoot::saveFinished);
        m_root->saveOutputToFile(QUrl::fromLocalFile(dir.filePath("out.png")), saveOptions("PNG", {{"PNG_BITDEPTH", "8 bit"}}));
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
        QCOMPARE(finished.at(0).at(1).toString(), QString());
        int added = 0;
        GpuFixture::onRenderThread([&] { added = TSFbo::maxKBytesUsed() - before; });
        const int imageKB = 256 * 256 * GLFormatInfo::find(TSFbo::workingFormat()).accountingBytes() / 1024;
        QVERIFY2(added > 0 && added <= imageKB, qPrintable(QStringLiteral("%1 KB at once beside the input").arg(added)));
    }

    void workingFormatPrecision_data()
    {
        QTest::addColumn<PrecisionRow>("row");
        // Exact: a half float holds v / 255 within 2^-10 of itself (a unit, as stores truncate
        // here), a quarter of an 8-bit step at most.
        QTest::newRow("eightBitPngComesBackIdentical") << PrecisionRow{CV_8UC3, cv::Scalar::all(0), cv::Scalar::all(0)};
        // A half float keeps 10 mantissa bits: rounding to nearest errs by 2^-11 of the value,
        // but llvmpipe truncates when it stores one (every error here is towards zero), so one
        // whole unit, 2^-10, is the bound; the 16-bit file adds a step.
        QTest::newRow("sixteenBitTiffWithinHalfFloatPrecision")
            << PrecisionRow{CV_16UC3, cv::Scalar::all(1.0 / 65535), cv::Scalar::all(1.0 / 1024)};
    }

    // What the working format keeps of an image that goes through the root unchanged.
    void workingFormatPrecision()
    {
        QFETCH(PrecisionRow, row);
        QCOMPARE(TSFbo::workingFormat(), GLenum(GL_RGBA16F));
        m_ownInput = true;
        checkRoundTrip(m_root, row.cvType, row.absTol, row.relTol);
    }
};

// The packed 11/11/10-bit float format must be chosen before the render thread makes its
// first image: a process of its own.
class TstNodeSaveCompactFormat : public ServerTest
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(TSFbo::setWorkingFormat(GL_R11F_G11F_B10F));
        QVERIFY(startServer());
    }

    // One unit of a 6-bit mantissa (red, green) is 2^-6 of the value, of a 5-bit one (blue)
    // 2^-5: the bound when stores truncate, as llvmpipe's do; the 16-bit file adds a step.
    void sixteenBitTiffWithinPackedFloatPrecision()
    {
        checkRoundTrip(m_root, CV_16UC3, cv::Scalar::all(1.0 / 65535), cv::Scalar(1.0 / 64, 1.0 / 64, 1.0 / 32));
    }

    void cleanupTestCase()
    {
        m_view.reset();
        TSFbo::setWorkingFormat(GL_RGBA16F);
    }
};

KORVANE_TEST_CASE(TstNodeSave)
KORVANE_ISOLATED_TEST_CASE(TstNodeSaveCompactFormat)
#include "tst_nodesave.moc"
