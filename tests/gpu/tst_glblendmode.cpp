#include "gpu/glblendmode.h"
#include "gpu/glprog.h"
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

cv::Mat referenceBlend(int mode, const cv::Mat& fg, const cv::Mat& bg, double k)
{
    cv::Mat out(bg.size(), CV_32FC4);
    for (int y = 0; y < bg.rows; ++y) {
        for (int x = 0; x < bg.cols; ++x) {
            const cv::Vec4d r = BlendReference::blend(mode, cv::Vec4d(fg.at<cv::Vec4f>(y, x)),
                                                      cv::Vec4d(bg.at<cv::Vec4f>(y, x)), k);
            out.at<cv::Vec4f>(y, x) = cv::Vec4f(r);
        }
    }
    return out;
}

// Blends fg onto bg, both the same size and placed 1:1, in GL_RGBA32F.
cv::Mat gpuBlend(const cv::Mat& fg, const cv::Mat& bg, int mode, float strength, const QPointF& pos = QPointF(),
                 float scale = 1.f)
{
    cv::Mat result;
    GpuFixture::onRenderThread([&] {
        const TSFbo front(fg, GL_RGBA32F);
        TSFbo out(bg, GL_RGBA32F);
        GLBlendMode().proc(front, pos, scale, 0.f, mode, strength, out);
        result = out.dataToMat(CV_32FC4, true);
    });
    return result;
}

} // namespace

class TstGLBlendMode : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void modes_data();
    void modes();
    void dissolve_data();
    void dissolve();
    void unclampedBackgroundHasNoSeam_data();
    void unclampedBackgroundHasNoSeam();
    void copiesOnlyWhatTheLayerLeavesUncovered_data();
    void copiesOnlyWhatTheLayerLeavesUncovered();

private:
    cv::Mat m_fg;
    cv::Mat m_bg;
};

void TstGLBlendMode::initTestCase()
{
    QVERIFY(GpuFixture::renderThread());
    BlendReference::branchInputs(m_fg, m_bg);
}

void TstGLBlendMode::modes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<float>("strength");
    QList<int> modes;
    for (int m = 0; m <= TNode::BLENDMODE_INVERSESCREEN; ++m) {
        if (m != TNode::BLENDMODE_DISSOLVE)
            modes << m;
    }
    modes << 28 << -1; // not in the table: blend like normal
    for (int m : modes) {
        for (float k : {1.f, 0.6f})
            QTest::addRow("%s k=%.1f", BlendReference::modeName(m), double(k)) << m << k;
    }
}

void TstGLBlendMode::modes()
{
    QFETCH(int, mode);
    QFETCH(float, strength);
    const cv::Mat out = gpuBlend(m_fg, m_bg, mode, strength);
    GPU_COMPARE_IMAGES(out, referenceBlend(mode, m_fg, m_bg, strength), kTolerance, 0.0,
                       QStringLiteral("blend_") + QTest::currentDataTag());
}

void TstGLBlendMode::dissolve_data()
{
    QTest::addColumn<float>("strength");
    QTest::newRow("all") << 1.f;
    QTest::newRow("half") << 0.5f;
    QTest::newRow("quarter") << 0.25f;
}

void TstGLBlendMode::dissolve()
{
    QFETCH(float, strength);
    const cv::Mat out = gpuBlend(m_fg, m_bg, TNode::BLENDMODE_DISSOLVE, strength);
    QCOMPARE(out.size(), m_bg.size());
    // Each pixel is either the foreground's colour (alpha 1) or the background as it is,
    // picked by a per-pixel hash in [0, 1) against the strength times the layer's alpha: a
    // transparent layer pixel never shows the colour stored under it.
    QMap<float, QPair<int, int>> shownOfAlpha; // layer alpha -> (shown, pixels)
    for (int y = 0; y < out.rows; ++y) {
        for (int x = 0; x < out.cols; ++x) {
            const cv::Vec4f o = out.at<cv::Vec4f>(y, x);
            const cv::Vec4f f = m_fg.at<cv::Vec4f>(y, x);
            const cv::Vec4f b = m_bg.at<cv::Vec4f>(y, x);
            const bool isFg = o == cv::Vec4f(f[0], f[1], f[2], 1.f);
            const bool isBg = o == b;
            QVERIFY2(isFg || isBg, qPrintable(QStringLiteral("pixel (%1, %2) mixes both").arg(x).arg(y)));
            QPair<int, int>& counts = shownOfAlpha[f[3]];
            counts.first += isFg && !isBg ? 1 : 0;
            ++counts.second;
        }
    }
    QCOMPARE(shownOfAlpha.value(0.f).first, 0);
    // Pixels where fg equals bg count as background; with these inputs they are few.
    for (auto it = shownOfAlpha.cbegin(); it != shownOfAlpha.cend(); ++it) {
        const double share = double(it.value().first) / it.value().second;
        QVERIFY2(std::fabs(share - strength * it.key()) < 0.05,
                 qPrintable(QStringLiteral("alpha %1: share %2").arg(it.key()).arg(share)));
    }
}

void TstGLBlendMode::unclampedBackgroundHasNoSeam_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<float>("fgAlpha");
    QTest::addColumn<float>("strength");
    QTest::newRow("normal, half-transparent layer") << int(TNode::BLENDMODE_NORMAL) << 0.5f << 1.f;
    QTest::newRow("multiply, transparent layer") << int(TNode::BLENDMODE_MULTIPLY) << 0.f << 1.f;
    QTest::newRow("screen, half strength") << int(TNode::BLENDMODE_SCREEN) << 1.f << 0.5f;
    QTest::newRow("hue, transparent layer") << int(TNode::BLENDMODE_HUE) << 0.f << 0.7f;
}

void TstGLBlendMode::unclampedBackgroundHasNoSeam()
{
    QFETCH(int, mode);
    QFETCH(float, fgAlpha);
    QFETCH(float, strength);
    // A 20 x 16 layer moved by whole pixels onto a 64 x 48 background of 1.5: whatever of
    // the background shows through inside the quad must still be 1.5, as it is outside.
    const cv::Mat bg(48, 64, CV_32FC4, cv::Scalar(1.5, 1.5, 1.5, 1.0));
    const cv::Mat fg(16, 20, CV_32FC4, cv::Scalar(0.25, 0.6, 0.9, fgAlpha));
    const QPointF pos(-0.25, 0.5); // centre at pixel (24, 36): quad covers x 14..33, y 28..43
    const cv::Mat out = gpuBlend(fg, bg, mode, strength, pos);

    cv::Mat expected = bg.clone();
    const cv::Vec4d inside = BlendReference::blend(mode, cv::Vec4d(fg.at<cv::Vec4f>(0, 0)),
                                                   cv::Vec4d(bg.at<cv::Vec4f>(0, 0)), strength);
    expected(cv::Rect(14, 28, 20, 16)).setTo(cv::Scalar(inside[0], inside[1], inside[2], inside[3]));
    GPU_COMPARE_IMAGES(out, expected, kTolerance, 0.0, QStringLiteral("seam_") + QTest::currentDataTag());
}

void TstGLBlendMode::copiesOnlyWhatTheLayerLeavesUncovered_data()
{
    QTest::addColumn<QSize>("fgSize");
    QTest::addColumn<float>("rotation");
    QTest::addColumn<int>("copies");
    QTest::newRow("same size") << QSize(64, 48) << 0.f << 0;
    QTest::newRow("larger, centred crop") << QSize(80, 60) << 0.f << 0;
    QTest::newRow("smaller") << QSize(20, 16) << 0.f << 1;
    QTest::newRow("same size, turned") << QSize(64, 48) << 30.f << 1;
}

void TstGLBlendMode::copiesOnlyWhatTheLayerLeavesUncovered()
{
    QFETCH(QSize, fgSize);
    QFETCH(float, rotation);
    QFETCH(int, copies);
    // The background stays shared with another handle, as a node's input is: a layer that
    // covers every pixel is drawn into a fresh framebuffer, one that leaves some uncovered
    // into a copy of the background.
    const cv::Mat bg = GpuTest::randomImage(48, 64, CV_32FC4, 3);
    const cv::Mat fg = GpuTest::randomImage(fgSize.height(), fgSize.width(), CV_32FC4, 4);
    cv::Mat result, kept;
    int made = -1;
    QVERIFY(GpuFixture::onRenderThread([&] {
        const TSFbo front(fg, GL_RGBA32F);
        TSFbo out(bg, GL_RGBA32F);
        const TSFbo background = out;
        const int before = TSFbo::detachCopies();
        GLBlendMode().proc(front, QPointF(), 1.f, rotation, TNode::BLENDMODE_MULTIPLY, 1.f, out);
        made = TSFbo::detachCopies() - before;
        result = out.dataToMat(CV_32FC4, true);
        kept = background.dataToMat(CV_32FC4, true);
    }));
    QCOMPARE(made, copies);
    GPU_COMPARE_IMAGES(kept, bg, 0.0, 0.0, QStringLiteral("cover_background_") + QTest::currentDataTag());
    if (rotation != 0.f)
        return;
    // Unturned, the layer's centre is the target's: the overlap is blended, the rest kept.
    const cv::Point offset((bg.cols - fg.cols) / 2, (bg.rows - fg.rows) / 2);
    cv::Mat expected = bg.clone();
    for (int y = std::max(0, offset.y); y < std::min(bg.rows, offset.y + fg.rows); ++y) {
        for (int x = std::max(0, offset.x); x < std::min(bg.cols, offset.x + fg.cols); ++x) {
            const cv::Vec4d f(fg.at<cv::Vec4f>(y - offset.y, x - offset.x));
            const cv::Vec4d r = BlendReference::blend(TNode::BLENDMODE_MULTIPLY, f, cv::Vec4d(bg.at<cv::Vec4f>(y, x)), 1.0);
            expected.at<cv::Vec4f>(y, x) = cv::Vec4f(r);
        }
    }
    GPU_COMPARE_IMAGES(result, expected, kTolerance, 0.0, QStringLiteral("cover_") + QTest::currentDataTag());
}

KORVANE_TEST_CASE(TstGLBlendMode)

#include "tst_glblendmode.moc"
