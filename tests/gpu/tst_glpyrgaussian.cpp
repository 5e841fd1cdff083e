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
    void levelsAreSuccessiveReductions();
};

void TstGLPyrGaussian::initTestCase()
{
    QVERIFY(GpuFixture::renderThread());
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

KORVANE_TEST_CASE(TstGLPyrGaussian)

#include "tst_glpyrgaussian.moc"
