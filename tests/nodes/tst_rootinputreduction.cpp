// A render smaller than the input (previews, thumbnails) takes each pixel as the mean of the
// input pixels it covers: a one-pixel grating comes out as its mean grey, not as moire.

#include "korvanetest.h"
#include "testhost.h"

#include "nodes/tnoderootwithadjust.h"
#include "nodes/tnoderootworker.h"

#include <opencv2/imgproc.hpp>

class TstRootInputReduction : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        TestHost::registerClasses();
        QVERIFY(GpuFixture::renderThread());
    }

    void aReducedGratingIsItsMean_data()
    {
        QTest::addColumn<bool>("opaque"); // opaque inputs take the copy path, others the composite
        QTest::newRow("opaque") << true;
        QTest::newRow("translucent") << false;
    }
    void aReducedGratingIsItsMean()
    {
        QFETCH(bool, opaque);
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

KORVANE_TEST_CASE(TstRootInputReduction)
#include "tst_rootinputreduction.moc"
