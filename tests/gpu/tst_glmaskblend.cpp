#include "gpu/glblendmode.h"
#include "gpu/glmaskblend.h"
#include "gpu/tsfbo.h"
#include "nodes/tnode.h"

#include "blendreference.h"
#include "gpufixture.h"
#include "gputest.h"
#include "testregistry.h"

#include <QTest>

namespace {

// Float targets: single-precision shader arithmetic against a double reference.
constexpr double kTolerance = 1e-4;

// An 8-bit mask (the engine's mask format) with a different value in every 5 x 5 block, 0
// and 255 included, so every foreground / background pair meets several mask values.
cv::Mat blockMask(const cv::Size& size)
{
    const uchar values[] = {0, 255, 64, 191, 128, 17, 230};
    cv::Mat m(size, CV_8UC1);
    for (int y = 0; y < m.rows; ++y) {
        for (int x = 0; x < m.cols; ++x)
            m.at<uchar>(y, x) = values[(x / 5 + 3 * (y / 5)) % 7];
    }
    return m;
}

cv::Mat referenceMaskBlend(int mode, const cv::Mat& fg, const cv::Mat& bg, const cv::Mat& mask, double strength,
                           double minAlpha)
{
    cv::Mat out(bg.size(), CV_32FC4);
    for (int y = 0; y < bg.rows; ++y) {
        for (int x = 0; x < bg.cols; ++x) {
            const double m = mask.at<uchar>(y, x) / 255.0;
            const double k = minAlpha + (1.0 - minAlpha) * strength * m;
            out.at<cv::Vec4f>(y, x) = cv::Vec4f(BlendReference::blend(
                mode, cv::Vec4d(fg.at<cv::Vec4f>(y, x)), cv::Vec4d(bg.at<cv::Vec4f>(y, x)), k));
        }
    }
    return out;
}

struct MaskBlendRun
{
    cv::Mat out;
    bool done = false;
};

// Masked blend of fg onto bg (GL_RGBA32F); an empty `mask` matrix passes an empty mask.
MaskBlendRun gpuMaskBlend(const cv::Mat& fg, const cv::Mat& bg, const cv::Mat& mask, int mode, float strength,
                          float minAlpha, const QPointF& pos = QPointF())
{
    MaskBlendRun run;
    GpuFixture::onRenderThread([&] {
        const TSFbo front(fg, GL_RGBA32F);
        const TSFbo weights = mask.empty() ? TSFbo() : TSFbo(mask, GL_R8);
        TSFbo out(bg, GL_RGBA32F);
        run.done = GLMaskBlend().proc(out, front, weights, mode, strength, minAlpha, pos, 1.f, 0.f);
        run.out = out.dataToMat(CV_32FC4, true);
    });
    return run;
}

} // namespace

class TstGLMaskBlend : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void modes_data();
    void modes();
    void dissolveFollowsTheMask_data();
    void dissolveFollowsTheMask();
    void maskIsReadInTargetCoordinates();
    void emptyMaskMeansNoMask_data();
    void emptyMaskMeansNoMask();
    void strengthThresholdIgnoresMinAlpha();

private:
    cv::Mat m_fg;
    cv::Mat m_bg;
    cv::Mat m_mask;
};

void TstGLMaskBlend::initTestCase()
{
    QVERIFY(GpuFixture::renderThread());
    BlendReference::branchInputs(m_fg, m_bg);
    m_mask = blockMask(m_bg.size());
}

void TstGLMaskBlend::modes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<float>("strength");
    QTest::addColumn<float>("minAlpha");
    for (int m = 0; m <= TNode::BLENDMODE_INVERSESCREEN; ++m) {
        if (m == TNode::BLENDMODE_DISSOLVE)
            continue;
        QTest::addRow("%s min=0", BlendReference::modeName(m)) << m << 0.8f << 0.f;
        QTest::addRow("%s min=0.3", BlendReference::modeName(m)) << m << 1.f << 0.3f;
    }
    // minAlpha 1: full strength whatever the mask holds.
    QTest::newRow("NORMAL min=1") << int(TNode::BLENDMODE_NORMAL) << 0.5f << 1.f;
    QTest::newRow("SOFT_LIGHT min=1") << int(TNode::BLENDMODE_SOFT_LIGHT) << 0.01f << 1.f;
}

void TstGLMaskBlend::modes()
{
    QFETCH(int, mode);
    QFETCH(float, strength);
    QFETCH(float, minAlpha);
    const MaskBlendRun run = gpuMaskBlend(m_fg, m_bg, m_mask, mode, strength, minAlpha);
    QVERIFY(run.done);
    GPU_COMPARE_IMAGES(run.out, referenceMaskBlend(mode, m_fg, m_bg, m_mask, strength, minAlpha), kTolerance, 0.0,
                       QStringLiteral("maskblend_") + QTest::currentDataTag());
}

void TstGLMaskBlend::dissolveFollowsTheMask_data()
{
    QTest::addColumn<float>("minAlpha");
    QTest::addColumn<double>("lowShare");  // k' where the mask is 0 (the share of opaque layer pixels shown)
    QTest::addColumn<double>("highShare"); // ... and where it is 255
    // strength 1: k' = minAlpha where the mask is 0 and 1 where it is 255.
    QTest::newRow("min 0") << 0.f << 0.0 << 1.0;
    QTest::newRow("min 0.5") << 0.5f << 0.5 << 1.0;
    // k' < 0 lets nothing through, not even a hash of 0.
    QTest::newRow("min -0.5") << -0.5f << 0.0 << 1.0;
}

void TstGLMaskBlend::dissolveFollowsTheMask()
{
    QFETCH(float, minAlpha);
    QFETCH(double, lowShare);
    QFETCH(double, highShare);
    const MaskBlendRun run = gpuMaskBlend(m_fg, m_bg, m_mask, TNode::BLENDMODE_DISSOLVE, 1.f, minAlpha);
    QVERIFY(run.done);
    int fgAt[2] = {0, 0}, count[2] = {0, 0};
    double expected[2] = {0, 0};
    for (int y = 0; y < run.out.rows; ++y) {
        for (int x = 0; x < run.out.cols; ++x) {
            const uchar m = m_mask.at<uchar>(y, x);
            if (m != 0 && m != 255)
                continue;
            const cv::Vec4f o = run.out.at<cv::Vec4f>(y, x);
            const cv::Vec4f f = m_fg.at<cv::Vec4f>(y, x);
            const cv::Vec4f b = m_bg.at<cv::Vec4f>(y, x);
            const bool isFg = o == cv::Vec4f(f[0], f[1], f[2], 1.f);
            QVERIFY2(isFg || o == b, qPrintable(QStringLiteral("pixel (%1, %2) mixes both").arg(x).arg(y)));
            const int i = m == 255 ? 1 : 0;
            ++count[i];
            // A layer pixel shows with the probability k' times its alpha.
            expected[i] += (i ? highShare : lowShare) * f[3];
            if (isFg && o != b)
                ++fgAt[i];
            QVERIFY2(!(isFg && o != b && f[3] == 0.f), "a transparent layer pixel showed");
        }
    }
    QVERIFY(count[0] > 1000 && count[1] > 1000);
    const double low = double(fgAt[0]) / count[0];
    const double high = double(fgAt[1]) / count[1];
    QVERIFY2(std::fabs(low - expected[0] / count[0]) < 0.05, qPrintable(QStringLiteral("share at mask 0: %1").arg(low)));
    QVERIFY2(std::fabs(high - expected[1] / count[1]) < 0.05,
             qPrintable(QStringLiteral("share at mask 255: %1").arg(high)));
    if (minAlpha < 0.f)
        QCOMPARE(fgAt[0], 0);
}

void TstGLMaskBlend::maskIsReadInTargetCoordinates()
{
    // A 64 x 48 layer moved right by half the width covers target columns 16 ... 63; the
    // mask, made on the destination, is white on its left half (columns 0 ... 31). The layer
    // shows exactly where the quad overlaps that half: columns 16 ... 31.
    const cv::Size size(64, 48);
    const cv::Mat bg(size, CV_32FC4, cv::Scalar(0.1, 0.2, 0.3, 1.0));
    cv::Mat fg(size, CV_32FC4);
    for (int y = 0; y < size.height; ++y) {
        for (int x = 0; x < size.width; ++x)
            fg.at<cv::Vec4f>(y, x) = cv::Vec4f(x / 64.f, y / 48.f, 0.75f, 1.f);
    }
    cv::Mat mask(size, CV_8UC1, cv::Scalar(0));
    mask.colRange(0, 32).setTo(255);
    const MaskBlendRun run = gpuMaskBlend(fg, bg, mask, TNode::BLENDMODE_NORMAL, 1.f, 0.f, QPointF(0.5, 0.0));
    QVERIFY(run.done);
    cv::Mat expected = bg.clone();
    fg(cv::Rect(0, 0, 16, 48)).copyTo(expected(cv::Rect(16, 0, 16, 48)));
    GPU_COMPARE_IMAGES(run.out, expected, kTolerance, 0.0, "mask_in_target_coordinates");
}

void TstGLMaskBlend::emptyMaskMeansNoMask_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("NORMAL") << int(TNode::BLENDMODE_NORMAL);
    QTest::newRow("OVERLAY") << int(TNode::BLENDMODE_OVERLAY);
    QTest::newRow("COLOR") << int(TNode::BLENDMODE_COLOR);
}

void TstGLMaskBlend::emptyMaskMeansNoMask()
{
    QFETCH(int, mode);
    const float strength = 0.9f;
    const QPointF pos(0.2, -0.1);
    const MaskBlendRun masked = gpuMaskBlend(m_fg, m_bg, cv::Mat(), mode, strength, 0.25f, pos);
    QVERIFY(masked.done);
    cv::Mat plain;
    QVERIFY(GpuFixture::onRenderThread([&] {
        const TSFbo front(m_fg, GL_RGBA32F);
        TSFbo out(m_bg, GL_RGBA32F);
        GLBlendMode().proc(front, pos, 1.f, 0.f, mode, strength, out);
        plain = out.dataToMat(CV_32FC4, true);
    }));
    GPU_COMPARE_IMAGES(masked.out, plain, 0.0, 0.0, QStringLiteral("empty_mask_") + QTest::currentDataTag());
}

void TstGLMaskBlend::strengthThresholdIgnoresMinAlpha()
{
    const cv::Mat mask(m_bg.size(), CV_8UC1, cv::Scalar(255));
    const MaskBlendRun run = gpuMaskBlend(m_fg, m_bg, mask, TNode::BLENDMODE_NORMAL, 0.004f, 1.f);
    QVERIFY(!run.done);
    GPU_COMPARE_IMAGES(run.out, m_bg, 0.0, 0.0, "below_threshold");
}

KORVANE_TEST_CASE(TstGLMaskBlend)

#include "tst_glmaskblend.moc"
