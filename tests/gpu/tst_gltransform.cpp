#include "gpu/gldrawtexture.h"
#include "gpu/glprog.h"
#include "gpu/gltransform.h"
#include "korvanetest.h"
#include "samplingreference.h"


namespace {

const cv::Scalar kBackground(-1.0, -1.0, 0.25, 0.5);
const cv::Scalar kClear(0.0, 0.0, 0.0, 0.0);

// Each texel holds its own image coordinate (u, v) in pixels (texel centres at +0.5):
// bilinear sampling reproduces the coordinate it was sampled at, so the output tells
// which image point landed on each target pixel.
cv::Mat coordinateImage(const cv::Size& size)
{
    cv::Mat m(size, CV_32FC4);
    m.forEach<cv::Vec4f>([](cv::Vec4f& p, const int* pos) { p = cv::Vec4f(pos[1] + 0.5f, pos[0] + 0.5f, 1.f, 1.f); });
    return m;
}

cv::Mat place(const cv::Mat& image, const cv::Size& target, const QPointF& pos, float scale, float rotation)
{
    return onGpu([&] {
        const TSFbo in(image, GL_RGBA32F);
        TSFbo dst(cv::Mat(target, CV_32FC4, kBackground), GL_RGBA32F);
        GLTransform().proc(in, pos, scale, rotation, dst);
        return dst.dataToMat(CV_32FC4, true);
    });
}

// Where image point (u, v) lands on the target, in pixels (x right, y down = row index):
// the image centre goes to the target centre moved by pos in half-sizes, the image is
// scaled, and turned clockwise on screen (rows grow downwards) by `rotation` degrees.
cv::Point2d landing(const cv::Point2d& uv, const cv::Size& image, const cv::Size& target, const QPointF& pos,
                    double scale, double rotation)
{
    const double a = rotation * M_PI / 180.0;
    const double dx = (uv.x - image.width / 2.0) * scale;
    const double dy = (uv.y - image.height / 2.0) * scale;
    return {target.width / 2.0 * (1.0 + pos.x()) + dx * std::cos(a) - dy * std::sin(a),
            target.height / 2.0 * (1.0 + pos.y()) + dx * std::sin(a) + dy * std::cos(a)};
}

// Draws `texture` onto a fresh RGBA32F target of `target` size the way a host does: target
// bound, viewport set, program bound, then GLDrawTexture::draw.
cv::Mat drawOnto(const cv::Mat& texture, const cv::Size& target, float opacity, const QPointF& pos, float scale)
{
    return onGpu([&] {
        const TSFbo tex(texture, GL_RGBA32F);
        TSFbo dst(cv::Mat(target, CV_32FC4, kClear), GL_RGBA32F);
        GLDrawTexture draw;
        dst.bindViewport();
        draw.program()->bind();
        draw.draw(tex, opacity, float(target.width) / target.height, pos, scale, 0.f);
        draw.program()->release();
        dst.release();
        return dst.dataToMat(CV_32FC4, true);
    });
}

} // namespace

class TstGLTransform : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(GpuFixture::renderThread()); }

    void positiveYMovesTowardsHigherRows()
    {
        // A 20 x 20 image at pos (0, +0.5) on 100 x 100: its centre on row 75, so it covers rows
        // 65 ... 84 with its row 0 (matrix row 0, the top) on row 65; columns 40 ... 59.
        cv::Mat image(20, 20, CV_32FC4);
        for (int y = 0; y < 20; ++y)
            image.row(y).setTo(cv::Scalar(y / 20.0, 0.5, 1.0, 1.0));
        const cv::Mat out = place(image, cv::Size(100, 100), QPointF(0.0, 0.5), 1.f, 0.f);
        cv::Mat expected(100, 100, CV_32FC4, kBackground);
        image.copyTo(expected(cv::Rect(40, 65, 20, 20)));
        expected(cv::Rect(40, 65, 20, 20)).forEach<cv::Vec4f>([](cv::Vec4f& p, const int*) { p[3] = 1.f; });
        GPU_COMPARE_IMAGES(out, expected, 1e-6, 0.0, "pos_y_down");
    }

    void corners_data()
    {
        QTest::addColumn<QPointF>("pos");
        QTest::addColumn<float>("scale");
        QTest::addColumn<float>("rotation");
        QTest::newRow("all three") << QPointF(-0.2, 0.35) << 0.8f << 117.f;
        QTest::newRow("all three, negative turn") << QPointF(0.15, 0.1) << 1.3f << -60.f;
    }

    void corners()
    {
        QFETCH(QPointF, pos);
        QFETCH(float, scale);
        QFETCH(float, rotation);
        // Odd sizes and different aspects for image and target.
        const cv::Size image(25, 15), target(71, 47);
        const cv::Mat out = place(coordinateImage(image), target, pos, scale, rotation);

        // Each corner lands where expected: just inside it the target shows the image point
        // that belongs there. The inset keeps the whole target pixel clear of the image's edges
        // (half a target pixel diagonal, in image pixels, plus the half texel that mirrors).
        const double in = 0.6 + 0.75 / scale;
        const cv::Point2d corners[] = {{in, in}, {image.width - in, in}, {in, image.height - in},
                                       {image.width - in, image.height - in}};
        for (const cv::Point2d& c : corners) {
            const cv::Point2d t = landing(c, image, target, pos, scale, rotation);
            const int x = int(std::floor(t.x)), y = int(std::floor(t.y));
            QVERIFY2(x >= 0 && y >= 0 && x < target.width && y < target.height, "corner lands off the target");
            const cv::Vec4f got = out.at<cv::Vec4f>(y, x);
            const cv::Point2d want = SamplingReference::imagePointAt({x + 0.5, y + 0.5}, image, target, pos, scale, rotation);
            QVERIFY2(std::hypot(got[0] - want.x, got[1] - want.y) < 2e-3,
                     qPrintable(QStringLiteral("corner (%1, %2) at pixel (%3, %4): image point (%5, %6), want (%7, %8)")
                                    .arg(c.x).arg(c.y).arg(x).arg(y).arg(got[0]).arg(got[1]).arg(want.x).arg(want.y)));
        }

        // Every pixel: inside the image (half a pixel clear of its edges, where bilinear
        // sampling mirrors) the image point of the expected mapping; well outside the quad the
        // old content.
        cv::Mat expected = out.clone();
        int inside = 0;
        for (int y = 0; y < target.height; ++y) {
            for (int x = 0; x < target.width; ++x) {
                const cv::Point2d uv = SamplingReference::imagePointAt({x + 0.5, y + 0.5}, image, target, pos, scale, rotation);
                const double margin = 1.0 / scale + 0.01;
                const bool wellInside = uv.x > 0.5 && uv.y > 0.5 && uv.x < image.width - 0.5 && uv.y < image.height - 0.5;
                const bool wellOutside = uv.x < -margin || uv.y < -margin || uv.x > image.width + margin
                                         || uv.y > image.height + margin;
                if (wellInside) {
                    expected.at<cv::Vec4f>(y, x) = cv::Vec4f(float(uv.x), float(uv.y), 1.f, 1.f);
                    ++inside;
                } else if (wellOutside) {
                    expected.at<cv::Vec4f>(y, x) = cv::Vec4f(kBackground);
                }
            }
        }
        QVERIFY(inside > 100);
        // Image coordinates in pixels: float interpolation across the quad, well below 1e-3 px.
        GPU_COMPARE_IMAGES(out, expected, 2e-3, 0.0, QStringLiteral("placement_") + QTest::currentDataTag());
    }

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

    // GLDrawTexture, as hosts draw the engine's textures into their views: sRGB decoded, then
    // placed.
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

    void drawTexturePlacement()
    {
        // `scale` is the drawn width over the target's width: a 10 x 10 texture at scale 0.5 on
        // 40 x 20 is 20 x 20 pixels, its centre moved by pos (0.25, -0.5) to pixel (25, 5)...
        // clipped at the top: it covers columns 15 ... 34 and rows 0 ... 14.
        const cv::Mat texture(10, 10, CV_32FC4, cv::Scalar(1.0, 1.0, 1.0, 1.0));
        const cv::Mat out = drawOnto(texture, cv::Size(40, 20), 1.f, QPointF(0.25, -0.5), 0.5f);
        cv::Mat expected(20, 40, CV_32FC4, kClear);
        expected(cv::Rect(15, 0, 20, 15)).setTo(cv::Scalar(1.0, 1.0, 1.0, 1.0));
        GPU_COMPARE_IMAGES(out, expected, 1e-6, 0.0, "draw_placement");
    }
};


KORVANE_TEST_CASE(TstGLTransform)

#include "tst_gltransform.moc"
