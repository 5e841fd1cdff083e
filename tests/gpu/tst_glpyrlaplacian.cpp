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
    void bandsOfAConstantImage();
    void coarsestLevelIsTheGaussianTop();
    void singleLevelHoldsNoBand();
};

void TstGLPyrLaplacian::initTestCase()
{
    QVERIFY(GpuFixture::renderThread());
}

void TstGLPyrLaplacian::roundTrip_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("minSize");
    QTest::newRow("64 x 48, 4 levels") << QSize(64, 48) << 8;
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

void TstGLPyrLaplacian::bandsOfAConstantImage()
{
    // A constant has no detail: every band is exactly the 0.5 offset, the coarsest level the
    // constant itself.
    const cv::Scalar value(0.25, 0.5, 0.75, 1.0);
    QVector<cv::Mat> levels;
    QVERIFY(GpuFixture::onRenderThread([&] {
        GLPyrLaplacian pyr(QSize(40, 30), GL_RGBA32F, 8);
        pyr.create(TSFbo(cv::Mat(30, 40, CV_32FC4, value), GL_RGBA32F));
        for (int i = 0; i < pyr.numLevels(); ++i)
            levels << pyr.level(i).dataToMat(CV_32FC4, true);
    }));
    QCOMPARE(levels.size(), 3);
    for (int i = 0; i + 1 < levels.size(); ++i) {
        GPU_COMPARE_IMAGES(levels[i], cv::Mat(levels[i].size(), CV_32FC4, cv::Scalar::all(0.5)), 1e-6, 0.0,
                           QStringLiteral("band%1").arg(i));
    }
    GPU_COMPARE_IMAGES(levels.last(), cv::Mat(levels.last().size(), CV_32FC4, value), 1e-6, 0.0, "coarsest");
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

void TstGLPyrLaplacian::singleLevelHoldsNoBand()
{
    bool created = false, rebuilt = true;
    int levels = 0;
    QVERIFY(GpuFixture::onRenderThread([&] {
        GLPyrLaplacian pyr(QSize(20, 20), GL_RGBA32F, 32);
        levels = pyr.numLevels();
        created = pyr.create(TSFbo(cv::Mat(20, 20, CV_32FC4, cv::Scalar::all(0.5)), GL_RGBA32F));
        TSFbo out(20, 20, GL_RGBA32F);
        rebuilt = pyr.reconstruct(out);
    }));
    QCOMPARE(levels, 1);
    QVERIFY(created);
    QVERIFY(!rebuilt);
}

KORVANE_TEST_CASE(TstGLPyrLaplacian)

#include "tst_glpyrlaplacian.moc"
