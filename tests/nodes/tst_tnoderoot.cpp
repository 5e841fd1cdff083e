// The root node's GUI side: canvas size and preview scales, and presets attached through
// commands (which root commands become undo steps is tested with the server); and the
// input reduced by area for renders smaller than it.

#include "korvanetest.h"
#include "testhost.h"

#include "engine/timprocworker.h"
#include "engine/timpserver.h"
#include "nodes/commands/tcmd_canvas.h"
#include "nodes/commands/tcmd_createnodewithuid.h"
#include "nodes/tnoderootwithadjust.h"
#include "nodes/tnoderootworker.h"

#include <opencv2/imgproc.hpp>

namespace {
int queued()
{
    return TImpServer::requestQueue() ? TImpServer::requestQueue()->size() : 0;
}
} // namespace

struct ScalesRow { QSize canvas; float lowrez; QSize lowrezSize; float thumb; QSize thumbSize; };
Q_DECLARE_METATYPE(ScalesRow)

class TstTNodeRoot : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestHost::registerClasses(); }
    void cleanup() { TImpServer::discardQueue(); }

    void firstCanvasFixesThePreviewScales_data()
    {
        QTest::addColumn<ScalesRow>("row");
        QTest::newRow("landscape") << ScalesRow{QSize(4000, 3000), 0.4f, QSize(1600, 1200), 0.06f, QSize(240, 180)};
        QTest::newRow("portrait") << ScalesRow{QSize(1000, 3000), 1600.f / 3000.f, QSize(533, 1600), 0.08f, QSize(80, 240)};
        QTest::newRow("small canvases are not enlarged") << ScalesRow{QSize(800, 400), 1.0f, QSize(800, 400), 0.3f,
                QSize(240, 120)};
        QTest::newRow("tiny canvases keep every scale at 1") << ScalesRow{QSize(100, 50), 1.0f, QSize(100, 50), 1.0f,
                QSize(100, 50)};
    }
    void firstCanvasFixesThePreviewScales()
    {
        QFETCH(ScalesRow, row);
        const auto& [canvas, lowrez, lowrezSize, thumb, thumbSize] = row;
        TNodeRoot root;
        root.setCanvasSize(canvas);
        QCOMPARE(root.lowrezScale(), lowrez);
        QCOMPARE(root.lowrezSize(), lowrezSize);
        QCOMPARE(root.thumbnailScale(), thumb);
        QCOMPARE(root.thumbnailSize(), thumbSize);
        QCOMPARE(queued(), 1);
    }

    void laterSizesKeepTheScalesUnlessRefreshed()
    {
        TNodeRoot root;
        root.setCanvasSize(QSize(4000, 3000));
        QSignalSpy size(&root, &TNodeRoot::canvasSizeChanged);
        root.setCanvasSize(QSize(2000, 1000));
        QCOMPARE(root.lowrezScale(), 0.4f);
        root.refreshAllSize(QSize(3200, 1000));
        QCOMPARE(root.lowrezScale(), 0.5f);
        QCOMPARE(root.thumbnailScale(), 0.075f);
        const int before = queued();
        root.refreshAllSize(QSize(3200, 1000));
        root.setCanvasSize(QSize(3200, 1000));
        QCOMPARE(queued(), before);
        QCOMPARE(size.count(), 2);
    }

    void presetsAttachThroughCommands()
    {
        TNodeRoot root;
        QCOMPARE(root.attachPreset(QVariantMap()), 0u);
        QVERIFY(!root.removePreset(1234));
        QVariantMap child{{"className", "HostLayer"}, {"amount", 0.5}};
        // Only children: they go directly under the root.
        QCOMPARE(root.attachPreset({{"_children_", QVariantList{child, child}}}), unsigned(root.uid()));
        QCOMPARE(queued(), 4);
        TImpServer::discardQueue();

        // A preset with parameters of its own becomes a node, and its children go under it.
        const uint attach = root.attachPreset({{"className", "HostLayer"}, {"amount", 0.1},
                                               {"_children_", QVariantList{child}}});
        QVERIFY(attach != unsigned(root.uid()));
        auto* first = dynamic_cast<TCmd_CreateNodeWithUid*>(TImpServer::requestQueue()->at(0));
        QVERIFY(first);
        QCOMPARE(first->nodeUid(), attach);
        QCOMPARE(first->parentUid(), unsigned(root.uid()));
        auto* second = dynamic_cast<TCmd_CreateNodeWithUid*>(TImpServer::requestQueue()->at(2));
        QVERIFY(second);
        QCOMPARE(second->parentUid(), attach);
    }

    void canvasCommandRestoresEverythingReadAtRedo()
    {
        TNodeRootWithAdjust root;
        auto* worker = qobject_cast<TNodeRootWorker*>(TImprocWorker::ptr(unsigned(root.uid())));
        QVERIFY(worker);
        worker->setCanvas(QSize(10, 20), QColor(Qt::red), 0.5f, 0.1f);
        TCmd_Canvas cmd(unsigned(root.uid()), QSize(30, 40), QColor(Qt::blue), 0.25f, 0.05f);
        cmd.redo();
        QCOMPARE(worker->canvasSize(), QSize(30, 40));
        cmd.undo();
        QCOMPARE(worker->canvasSize(), QSize(10, 20));
        QCOMPARE(worker->canvasColor(), QColor(Qt::red));
        QCOMPARE(worker->lowrezScale(), 0.5f);
        QCOMPARE(worker->thumbnailScale(), 0.1f);
        // The GUI root shows the restored values too.
        QTRY_COMPARE(root.canvasSize(), QSize(10, 20));
        QCOMPARE(root.canvasColor(), QColor(Qt::red));
    }

    void aReducedGratingIsItsMean_data()
    {
        QTest::addColumn<bool>("opaque"); // opaque inputs take the copy path, others the composite
        QTest::newRow("opaque") << true;
        QTest::newRow("translucent") << false;
    }

    // A render smaller than the input (previews, thumbnails) takes each pixel as the mean of the
    // input pixels it covers: a one-pixel grating comes out as its mean grey, not as moire.
    void aReducedGratingIsItsMean()
    {
        QFETCH(bool, opaque);
        QVERIFY(GpuFixture::renderThread());
        TNodeRootWithAdjust root;
        auto* worker = qobject_cast<TNodeRootWorker*>(TImprocWorker::ptr(unsigned(root.uid())));
        QVERIFY(worker);
        worker->setCanvas(QSize(300, 120), QColor(Qt::black), 0.25f, 0.1f);
        cv::Mat grating(120, 300, CV_8UC4, cv::Scalar(0, 0, 0, opaque ? 255 : 254));
        for (int x = 1; x < grating.cols; x += 2)
            grating.col(x).setTo(cv::Scalar(255, 255, 255, opaque ? 255 : 254));
        cv::Mat full, reduced;
        QVERIFY(GpuFixture::onRenderThread([&] {
            worker->prepareInput(TSMat(grating));
            full = worker->input().dataToMat(CV_32FC4, true);
            TSFbo io(QSize(80, 32), TSFbo::workingFormat());
            worker->loadImage(io);
            reduced = io.dataToMat(CV_32FC4, true);
        }));
        cv::Mat expected;
        cv::resize(full, expected, cv::Size(80, 32), 0, 0, cv::INTER_AREA);
        // Sampled bilinearly the columns come out anywhere between black and white. The
        // translucent input lands on the black canvas: colour times 254/255, alpha 1, both
        // within the tolerance.
        GPU_COMPARE_IMAGES(reduced, expected, 2.0 / 255, 0.0, "root_reduced_grating");
    }
};

KORVANE_TEST_CASE(TstTNodeRoot)
#include "tst_tnoderoot.moc"
