#include "gpu/gldrawtexture.h"
#include "gpu/glprog.h"
#include "korvanetest.h"
#include "samplingreference.h"

#include <QOpenGLShaderProgram>

namespace {

const cv::Scalar kBackground(0.0, 0.0, 0.0, 0.0);

// Draws `texture` onto a fresh RGBA32F target of `target` size the way a host does: target
// bound, viewport set, program bound, then GLDrawTexture::draw.
cv::Mat drawOnto(const cv::Mat& texture, const cv::Size& target, float opacity, const QPointF& pos, float scale)
{
    const cv::Mat out = onGpu([&] {
        const TSFbo tex(texture, GL_RGBA32F);
        TSFbo dst(cv::Mat(target, CV_32FC4, kBackground), GL_RGBA32F);
        GLDrawTexture draw;
        dst.bindViewport();
        draw.program()->bind();
        draw.draw(tex, opacity, float(target.width) / target.height, pos, scale, 0.f);
        draw.program()->release();
        dst.release();
        return dst.dataToMat(CV_32FC4, true);
    });
    return out;
}

} // namespace

class TstGLDrawTexture : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(GpuFixture::renderThread()); }

    void sRGBDecoding_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<double>("expected");
        // Black stays black; the toe is linear; white stays white.
        QTest::newRow("0") << 0.f << 0.0;
        QTest::newRow("0.02 (toe)") << 0.02f << 0.02 / 12.92;
        QTest::newRow("0.04 (toe)") << 0.04f << 0.04 / 12.92;
        QTest::newRow("0.5 (curve)") << 0.5f << SamplingReference::srgbDecode(0.5);
        QTest::newRow("1") << 1.f << 1.0;
    }

    void sRGBDecoding()
    {
        QFETCH(float, value);
        QFETCH(double, expected);
        const cv::Mat texture(6, 8, CV_32FC4, cv::Scalar(value, value, value, 0.8));
        const cv::Mat out = drawOnto(texture, cv::Size(8, 6), 0.5f, QPointF(), 1.f);
        const cv::Mat want(6, 8, CV_32FC4, cv::Scalar(expected, expected, expected, 0.4));
        // Single-precision pow: 1e-6 relative to values of at most 1.
        GPU_COMPARE_IMAGES(out, want, 1e-6, 0.0, QStringLiteral("srgb_") + QTest::currentDataTag());
    }

    void placement()
    {
        // `scale` is the drawn width over the target's width: a 10 x 10 texture at scale 0.5 on
        // 40 x 20 is 20 x 20 pixels, its centre moved by pos (0.25, -0.5) to pixel (25, 5)...
        // clipped at the top: it covers columns 15 ... 34 and rows 0 ... 14.
        const cv::Mat texture(10, 10, CV_32FC4, cv::Scalar(1.0, 1.0, 1.0, 1.0));
        const cv::Mat out = drawOnto(texture, cv::Size(40, 20), 1.f, QPointF(0.25, -0.5), 0.5f);
        cv::Mat expected(20, 40, CV_32FC4, kBackground);
        expected(cv::Rect(15, 0, 20, 15)).setTo(cv::Scalar(1.0, 1.0, 1.0, 1.0));
        GPU_COMPARE_IMAGES(out, expected, 1e-6, 0.0, "draw_placement");
    }
};


KORVANE_TEST_CASE(TstGLDrawTexture)

#include "tst_gldrawtexture.moc"
