// Blending a layer onto an image, plain and through a mask, against the CPU reference of
// every mode: dissolve's pixel choice, backgrounds outside [0, 1], what the layer leaves
// uncovered, and a mask read in target coordinates.

#include "gpu/glblendmode.h"
#include "gpu/glmaskblend.h"
#include "korvanetest.h"
#include "nodes/tnode.h"

#include "blendreference.h"

namespace {

// Float targets: single-precision shader arithmetic against a double reference.
constexpr double kTolerance = 1e-4;

// Blends fg onto bg, both the same size and placed 1:1, in GL_RGBA32F.
cv::Mat gpuBlend(const cv::Mat& fg, const cv::Mat& bg, int mode, float strength, const QPointF& pos = QPointF(),
                 float scale = 1.f)
{
    return onGpu([&] {
        const TSFbo front(fg, GL_RGBA32F);
        TSFbo out(bg, GL_RGBA32F);
        GLBlendMode().proc(front, pos, scale, 0.f, mode, strength, out);
        return out.dataToMat(CV_32FC4, true);
    });
}

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

// An empty `mask` is no mask: k is the strength.
cv::Mat referenceBlend(int mode, const cv::Mat& fg, const cv::Mat& bg, double strength, const cv::Mat& mask = {},
                       double minAlpha = 0.0)
{
    cv::Mat out(bg.size(), CV_32FC4);
    for (int y = 0; y < bg.rows; ++y) {
        for (int x = 0; x < bg.cols; ++x) {
            const double m = mask.empty() ? 1.0 : mask.at<uchar>(y, x) / 255.0;
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

class TstGLBlendMode : public QObject
{
    Q_OBJECT
    cv::Mat m_fg;
    cv::Mat m_bg;
    cv::Mat m_mask;

private slots:
    void initTestCase()
    {
        QVERIFY(GpuFixture::renderThread());
        BlendReference::branchInputs(m_fg, m_bg);
        m_mask = blockMask(m_bg.size());
    }

    void modes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<float>("strength");
        QTest::addColumn<bool>("masked");
        QTest::addColumn<float>("minAlpha");
        for (int m = 0; m <= TNode::BLENDMODE_INVERSESCREEN; ++m) {
            if (m == TNode::BLENDMODE_DISSOLVE)
                continue;
            for (float k : {1.f, 0.6f})
                QTest::addRow("%s k=%.1f", BlendReference::modeName(m), double(k)) << m << k << false << 0.f;
            QTest::addRow("%s masked, min=0", BlendReference::modeName(m)) << m << 0.8f << true << 0.f;
            QTest::addRow("%s masked, min=0.3", BlendReference::modeName(m)) << m << 1.f << true << 0.3f;
        }
        for (int m : {28, -1}) { // not in the table: blend like normal
            for (float k : {1.f, 0.6f})
                QTest::addRow("%s k=%.1f", BlendReference::modeName(m), double(k)) << m << k << false << 0.f;
        }
        // minAlpha 1: full strength whatever the mask holds.
        QTest::newRow("NORMAL masked, min=1") << int(TNode::BLENDMODE_NORMAL) << 0.5f << true << 1.f;
        QTest::newRow("SOFT_LIGHT masked, min=1") << int(TNode::BLENDMODE_SOFT_LIGHT) << 0.01f << true << 1.f;
    }

    // Plain, and through the block mask: k = minAlpha + (1 - minAlpha) * strength * mask.
    void modes()
    {
        QFETCH(int, mode);
        QFETCH(float, strength);
        QFETCH(bool, masked);
        QFETCH(float, minAlpha);
        const MaskBlendRun run = masked ? gpuMaskBlend(m_fg, m_bg, m_mask, mode, strength, minAlpha)
                                        : MaskBlendRun{gpuBlend(m_fg, m_bg, mode, strength), true};
        QVERIFY(run.done);
        GPU_COMPARE_IMAGES(run.out, referenceBlend(mode, m_fg, m_bg, strength, masked ? m_mask : cv::Mat(), minAlpha),
                           kTolerance, 0.0, QStringLiteral("blend_") + QTest::currentDataTag());
    }

    void dissolve_data()
    {
        QTest::addColumn<float>("strength");
        QTest::addColumn<bool>("masked");
        QTest::addColumn<float>("minAlpha");
        QTest::newRow("all") << 1.f << false << 0.f;
        QTest::newRow("half") << 0.5f << false << 0.f;
        QTest::newRow("quarter") << 0.25f << false << 0.f;
        QTest::newRow("mask, min 0") << 1.f << true << 0.f;
        QTest::newRow("mask, min 0.5") << 1.f << true << 0.5f;
        // k' < 0 lets nothing through, not even a hash of 0.
        QTest::newRow("mask, min -0.5") << 1.f << true << -0.5f;
    }

    // Each pixel is either the layer's colour (alpha 1) or the background as it is, picked by a
    // per-pixel hash in [0, 1) against k' times the layer's alpha, where k' is the strength, or
    // through a mask minAlpha + (1 - minAlpha) * strength * mask (checked where the mask is 0
    // or 255): a transparent layer pixel never shows the colour stored under it.
    void dissolve()
    {
        QFETCH(float, strength);
        QFETCH(bool, masked);
        QFETCH(float, minAlpha);
        const MaskBlendRun run = masked ? gpuMaskBlend(m_fg, m_bg, m_mask, TNode::BLENDMODE_DISSOLVE, strength, minAlpha)
                                        : MaskBlendRun{gpuBlend(m_fg, m_bg, TNode::BLENDMODE_DISSOLVE, strength), true};
        QVERIFY(run.done);
        QCOMPARE(run.out.size(), m_bg.size());
        QMap<double, QPair<int, int>> shownOf; // expected share -> (shown, pixels)
        for (int y = 0; y < run.out.rows; ++y) {
            for (int x = 0; x < run.out.cols; ++x) {
                const uchar m = m_mask.at<uchar>(y, x);
                if (masked && m != 0 && m != 255)
                    continue;
                const cv::Vec4f o = run.out.at<cv::Vec4f>(y, x);
                const cv::Vec4f f = m_fg.at<cv::Vec4f>(y, x);
                const cv::Vec4f b = m_bg.at<cv::Vec4f>(y, x);
                const bool isFg = o == cv::Vec4f(f[0], f[1], f[2], 1.f);
                const bool isBg = o == b;
                QVERIFY2(isFg || isBg, qPrintable(QStringLiteral("pixel (%1, %2) mixes both").arg(x).arg(y)));
                const double k = masked ? minAlpha + (1.0 - minAlpha) * strength * (m / 255.0) : strength;
                QPair<int, int>& counts = shownOf[std::max(k, 0.0) * f[3]];
                counts.first += isFg && !isBg ? 1 : 0;
                ++counts.second;
            }
        }
        QCOMPARE(shownOf.value(0.0).first, 0);
        // Pixels where fg equals bg count as background; with these inputs they are few.
        for (auto it = shownOf.cbegin(); it != shownOf.cend(); ++it) {
            const double share = double(it.value().first) / it.value().second;
            QVERIFY2(it.value().second > 500 && std::fabs(share - it.key()) < 0.05,
                     qPrintable(QStringLiteral("expected %1: share %2 of %3").arg(it.key()).arg(share).arg(it.value().second)));
        }
    }

    void unclampedBackgroundHasNoSeam_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<float>("fgAlpha");
        QTest::addColumn<float>("strength");
        QTest::newRow("normal, half-transparent layer") << int(TNode::BLENDMODE_NORMAL) << 0.5f << 1.f;
        QTest::newRow("multiply, transparent layer") << int(TNode::BLENDMODE_MULTIPLY) << 0.f << 1.f;
        QTest::newRow("screen, half strength") << int(TNode::BLENDMODE_SCREEN) << 1.f << 0.5f;
        QTest::newRow("hue, transparent layer") << int(TNode::BLENDMODE_HUE) << 0.f << 0.7f;
    }

    void unclampedBackgroundHasNoSeam()
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

    void copiesOnlyWhatTheLayerLeavesUncovered_data()
    {
        QTest::addColumn<QSize>("fgSize");
        QTest::addColumn<float>("rotation");
        QTest::addColumn<int>("copies");
        QTest::newRow("same size") << QSize(64, 48) << 0.f << 0;
        QTest::newRow("larger, centred crop") << QSize(80, 60) << 0.f << 0;
        QTest::newRow("smaller") << QSize(20, 16) << 0.f << 1;
        QTest::newRow("same size, turned") << QSize(64, 48) << 30.f << 1;
    }

    void copiesOnlyWhatTheLayerLeavesUncovered()
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

    void maskIsReadInTargetCoordinates()
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

    void emptyMaskMeansNoMask_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("NORMAL") << int(TNode::BLENDMODE_NORMAL);
        QTest::newRow("OVERLAY") << int(TNode::BLENDMODE_OVERLAY);
        QTest::newRow("COLOR") << int(TNode::BLENDMODE_COLOR);
    }

    void emptyMaskMeansNoMask()
    {
        QFETCH(int, mode);
        const float strength = 0.9f;
        const QPointF pos(0.2, -0.1);
        const MaskBlendRun masked = gpuMaskBlend(m_fg, m_bg, cv::Mat(), mode, strength, 0.25f, pos);
        QVERIFY(masked.done);
        const cv::Mat plain = gpuBlend(m_fg, m_bg, mode, strength, pos);
        GPU_COMPARE_IMAGES(masked.out, plain, 0.0, 0.0, QStringLiteral("empty_mask_") + QTest::currentDataTag());
    }

    void strengthThresholdIgnoresMinAlpha()
    {
        const cv::Mat mask(m_bg.size(), CV_8UC1, cv::Scalar(255));
        const MaskBlendRun run = gpuMaskBlend(m_fg, m_bg, mask, TNode::BLENDMODE_NORMAL, 0.004f, 1.f);
        QVERIFY(!run.done);
        GPU_COMPARE_IMAGES(run.out, m_bg, 0.0, 0.0, "below_threshold");
    }
};

KORVANE_TEST_CASE(TstGLBlendMode)
#include "tst_glblend.moc"
