#include "gpu/glpyrgaussian.h"
#include "gpu/glpyrlaplacian.h"
#include "gpu/tsfbo.h"

#include "gpufixture.h"
#include "gputest.h"
#include "testregistry.h"

#include <QTest>

class TstGLPyrLaplacian : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void roundTrip_data();
    void roundTrip();
    void coarsestLevelIsTheGaussianTop();
};

void TstGLPyrLaplacian::initTestCase()
{
    QVERIFY(GpuFixture::renderThread());
}

void TstGLPyrLaplacian::roundTrip_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("minSize");
    QTest::newRow("61 x 37, 5 levels") << QSize(61, 37) << 3;
    QTest::newRow("33 x 65, 2 levels") << QSize(33, 65) << 16;
}

void TstGLPyrLaplacian::roundTrip()
{
    QFETCH(QSize, size);
    QFETCH(int, minSize);
    const cv::Mat in = GpuTest::randomImage(size.height(), size.width(), CV_32FC4, 7);
    cv::Mat out;
    int levels = 0;
    QVERIFY(GpuFixture::onRenderThread([&] {
        GLPyrLaplacian pyr(size, GL_RGBA32F, minSize);
        levels = pyr.numLevels();
        TSFbo rebuilt(size, GL_RGBA32F);
        if (pyr.create(TSFbo(in, GL_RGBA32F)) && pyr.reconstruct(rebuilt))
            out = rebuilt.dataToMat(CV_32FC4, true);
    }));
    QCOMPARE(levels, GLPyramidBase::numLevels(size, minSize));
    QVERIFY(levels >= 2);
    // Each level adds and removes the same up-sampled values: float rounding only.
    GPU_COMPARE_IMAGES(out, in, 1e-5, 0.0, QStringLiteral("laplacian_round_trip_") + QTest::currentDataTag());
}

void TstGLPyrLaplacian::coarsestLevelIsTheGaussianTop()
{
    // Both pyramids reduce the same image the same number of times.
    const cv::Mat in = GpuTest::randomImage(50, 70, CV_32FC4, 9);
    cv::Mat lapTop, gaussTop;
    QVERIFY(GpuFixture::onRenderThread([&] {
        const TSFbo image(in, GL_RGBA32F);
        GLPyrLaplacian lap(QSize(70, 50), GL_RGBA32F, 6);
        GLPyrGaussian gauss(QSize(70, 50), GL_RGBA32F, 6);
        lap.create(image);
        gauss.create(image);
        lapTop = lap.level(lap.numLevels() - 1).dataToMat(CV_32FC4, true);
        gaussTop = gauss.level(gauss.numLevels() - 1).dataToMat(CV_32FC4, true);
    }));
    QCOMPARE(lapTop.size(), cv::Size(11, 8));
    GPU_COMPARE_IMAGES(lapTop, gaussTop, 0.0, 0.0, "coarsest_vs_gaussian");
}

KORVANE_TEST_CASE(TstGLPyrLaplacian)

#include "tst_glpyrlaplacian.moc"
