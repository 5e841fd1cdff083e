#include "gpu/glpyrgaussian.h"
#include "gpu/tsfbo.h"

#include "gpufixture.h"
#include "gputest.h"
#include "samplingreference.h"
#include "testregistry.h"

#include <QTest>

using SamplingReference::bilinear;

namespace {

// Float targets: single-precision filtering and arithmetic against a double reference.
constexpr double kTolerance = 1e-4;

// One reduction as the pyramid defines it: a weighted 3 x 3 pattern of bilinear taps,
// centred where the output pixel maps into the input, one input texel apart (axis taps a
// little further than the diagonal ones).
cv::Mat reduceReference(const cv::Mat& in, const cv::Size& out)
{
    const double sx = (out.width - 1) / ((in.cols - 1) * 0.5);
    const double sy = (out.height - 1) / ((in.rows - 1) * 0.5);
    const double dx = sx / (in.cols - 1), dy = sy / (in.rows - 1);
    const double axis[] = {1.182425523806356 * dx, 1.182425523806356 * dy};
    const double diag[] = {1.047425873177567 * dx, 1.047425873177567 * dy};
    const double wAxis = 0.741865942949246, wDiag = 0.550365077307974;
    cv::Mat r(out, CV_32FC4);
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            const double px = sx * (x + 0.5) / out.width, py = sy * (y + 0.5) / out.height;
            cv::Vec4d sum = bilinear(in, px, py);
            for (int sgn : {-1, 1}) {
                sum += wAxis * (bilinear(in, px + sgn * axis[0], py) + bilinear(in, px, py + sgn * axis[1]));
                sum += wDiag * (bilinear(in, px + sgn * diag[0], py + diag[1]) + bilinear(in, px + sgn * diag[0], py - diag[1]));
            }
            r.at<cv::Vec4f>(y, x) = cv::Vec4f(sum / (1.0 + 4.0 * wAxis + 4.0 * wDiag));
        }
    }
    return r;
}

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
        GPU_COMPARE_IMAGES(levels[i], reduceReference(levels[i - 1], levels[i].size()), kTolerance, 0.0,
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
