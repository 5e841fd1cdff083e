#include "gpu/glpyrgaussian.h"
#include "gpu/tsfbo.h"

#include "gpufixture.h"
#include "gputest.h"
#include "samplingreference.h"
#include "testregistry.h"

#include <QTest>

namespace {
// Float targets: single-precision filtering and arithmetic against a double reference.
constexpr double kTolerance = 1e-4;
} // namespace

class TstGLPyrGaussian : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void levelSizes();
    void levelsAreSuccessiveReductions();
    void constantStaysConstant();
};

void TstGLPyrGaussian::initTestCase()
{
    QVERIFY(GpuFixture::renderThread());
}

void TstGLPyrGaussian::levelSizes()
{
    QList<QSize> sizes;
    int formats = 0;
    QVERIFY(GpuFixture::onRenderThread([&] {
        GLPyrGaussian pyr(QSize(64, 48), GL_RGBA16F, 8);
        for (int i = 0; i < pyr.numLevels(); ++i) {
            sizes << pyr.level(i).size();
            formats += pyr.level(i).internalFormat() == GL_RGBA16F;
        }
    }));
    // log2(48) - log2(8) = 2.58, rounded to 3: four levels, each decSize of the one before.
    QCOMPARE(sizes, (QList<QSize>{QSize(64, 48), QSize(33, 25), QSize(18, 14), QSize(10, 8)}));
    QCOMPARE(formats, 4);
}

void TstGLPyrGaussian::levelsAreSuccessiveReductions()
{
    const cv::Mat in = SamplingReference::texturedImage(cv::Size(61, 37), 11, -1.0);
    QVector<cv::Mat> levels;
    QVERIFY(GpuFixture::onRenderThread([&] {
        GLPyrGaussian pyr(QSize(61, 37), GL_RGBA32F, 8);
        if (!pyr.create(TSFbo(in, GL_RGBA32F)))
            return;
        for (int i = 0; i < pyr.numLevels(); ++i)
            levels << pyr.level(i).dataToMat(CV_32FC4, true);
    }));
    QCOMPARE(levels.size(), 3);
    GPU_COMPARE_IMAGES(levels[0], in, 0.0, 0.0, "gaussian_level0");
    for (int i = 1; i < levels.size(); ++i) {
        GPU_COMPARE_IMAGES(levels[i], SamplingReference::pyramidReduce(levels[i - 1], levels[i].size()), kTolerance, 0.0,
                           QStringLiteral("gaussian_level%1").arg(i));
    }
}

void TstGLPyrGaussian::constantStaysConstant()
{
    // The kernel's weights sum to 1 and the borders mirror: no level drifts.
    const cv::Mat in(45, 53, CV_32FC4, cv::Scalar(0.3, 0.6, 0.9, 1.0));
    QVector<cv::Mat> levels;
    QVERIFY(GpuFixture::onRenderThread([&] {
        GLPyrGaussian pyr(QSize(53, 45), GL_RGBA32F, 4);
        pyr.create(TSFbo(in, GL_RGBA32F));
        for (int i = 0; i < pyr.numLevels(); ++i)
            levels << pyr.level(i).dataToMat(CV_32FC4, true);
    }));
    QCOMPARE(levels.size(), 4);
    for (int i = 0; i < levels.size(); ++i) {
        const cv::Mat want(levels[i].size(), CV_32FC4, cv::Scalar(0.3, 0.6, 0.9, 1.0));
        GPU_COMPARE_IMAGES(levels[i], want, 1e-6, 0.0, QStringLiteral("constant_level%1").arg(i));
    }
}

KORVANE_TEST_CASE(TstGLPyrGaussian)

#include "tst_glpyrgaussian.moc"
