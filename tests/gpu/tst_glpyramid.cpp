// The pyramid passes against CPU references, the Gaussian levels as successive reductions,
// the Laplacian pyramid's round trip and coarsest level; and reduction by area.

#include "gpu/glareareduce.h"
#include "gpu/glpyrgaussian.h"
#include "gpu/glpyrlaplacian.h"
#include "korvanetest.h"

#include "samplingreference.h"

#include <opencv2/imgproc.hpp>

using SamplingReference::bilinear;
using SamplingReference::luma;
using SamplingReference::toRGB;
using SamplingReference::toYUV;

namespace {

// Float targets: single-precision filtering and arithmetic against a double reference.
constexpr double kTolerance = 1e-4;

const cv::Size kFine(37, 29);
const cv::Size kCoarse(20, 16); // decSize(kFine, 2)

// Output pixel centre in texture units.
double centre(int i, int n)
{
    return (i + 0.5) / n;
}

// The coarse image sampled for fine output pixel (x, y), as the two-level passes do.
cv::Vec4d upsampled(const cv::Mat& coarse, int x, int y)
{
    const double sx = (kFine.width - 1) / ((coarse.cols - 1) * 2.0), sy = (kFine.height - 1) / ((coarse.rows - 1) * 2.0);
    return bilinear(coarse, sx * centre(x, kFine.width), sy * centre(y, kFine.height));
}

struct Inputs
{
    cv::Mat fine;   // RGBA, kFine
    cv::Mat coarse; // RGBA, kCoarse
    cv::Mat fineY;  // one channel, kFine
};

// Runs a pass on GPU images of the inputs into `out`.
using Pass = std::function<void(const GLPyramidBase&, const TSFbo& fine, const TSFbo& coarse, const TSFbo& fineY,
                                TSFbo& out)>;
// The expected output image.
using Reference = std::function<cv::Mat(const Inputs&)>;

// An image of `size` from f(x, y); with `channels` 1 only element 0 is kept.
cv::Mat eachPixel(const cv::Size& size, int channels, const std::function<cv::Vec4d(int, int)>& f)
{
    cv::Mat m(size, CV_MAKETYPE(CV_32F, channels));
    for (int y = 0; y < size.height; ++y) {
        for (int x = 0; x < size.width; ++x) {
            const cv::Vec4d v = f(x, y);
            for (int c = 0; c < channels; ++c)
                m.ptr<float>(y)[x * channels + c] = float(v[c]);
        }
    }
    return m;
}

// Per-pixel references of the passes that write the fine level.
Reference fineLevel(int channels, const std::function<cv::Vec4d(const Inputs&, int, int)>& f)
{
    return [channels, f](const Inputs& in) { return eachPixel(kFine, channels, [&](int x, int y) { return f(in, x, y); }); };
}

} // namespace

Q_DECLARE_METATYPE(Pass)
Q_DECLARE_METATYPE(Reference)

class TstGLPyramid : public QObject
{
    Q_OBJECT
    Inputs m_in;

private slots:
    void initTestCase()
    {
        QVERIFY(GpuFixture::renderThread());
        QCOMPARE(GLPyramidBase::decSize(QSize(kFine.width, kFine.height), 2), QSize(kCoarse.width, kCoarse.height));
        m_in.fine = SamplingReference::texturedImage(kFine, 3, -1.0);
        m_in.coarse = SamplingReference::texturedImage(kCoarse, 4, -1.0);
        cv::extractChannel(SamplingReference::texturedImage(kFine, 5), m_in.fineY, 0);
    }

    void passes_data()
    {
        QTest::addColumn<Pass>("pass");
        QTest::addColumn<Reference>("expected");
        QTest::addColumn<int>("outFormat");

        QTest::newRow("reduce") << Pass([](const GLPyramidBase& p, const TSFbo& f, const TSFbo&, const TSFbo&, TSFbo& o) {
            p.reduce(f, o);
        }) << Reference([](const Inputs& in) { return SamplingReference::pyramidReduce(in.fine, kCoarse); })
                                << int(GL_RGBA32F);
        QTest::newRow("expand") << Pass([](const GLPyramidBase& p, const TSFbo&, const TSFbo& c, const TSFbo&, TSFbo& o) {
            p.expand(c, o);
        }) << fineLevel(4, [](const Inputs& in, int x, int y) { return upsampled(in.coarse, x, y); })
                                << int(GL_RGBA32F);
        QTest::newRow("laplacian") << Pass([](const GLPyramidBase& p, const TSFbo& f, const TSFbo& c, const TSFbo&,
                                              TSFbo& o) { p.laplacian(f, c, o); })
                                   << fineLevel(4, [](const Inputs& in, int x, int y) {
                                          return cv::Vec4d(in.fine.at<cv::Vec4f>(y, x)) - upsampled(in.coarse, x, y)
                                                 + cv::Vec4d::all(0.5);
                                      })
                                   << int(GL_RGBA32F);
        QTest::newRow("laplacianYOnly") << Pass([](const GLPyramidBase& p, const TSFbo& f, const TSFbo& c, const TSFbo&,
                                                   TSFbo& o) { p.laplacianYOnly(f, c, o); })
                                        << fineLevel(1, [](const Inputs& in, int x, int y) {
                                               const cv::Vec4d d = cv::Vec4d(in.fine.at<cv::Vec4f>(y, x))
                                                                   - upsampled(in.coarse, x, y);
                                               return cv::Vec4d(luma(d) + 0.5, 0, 0, 0);
                                           })
                                        << int(GL_R32F);
        QTest::newRow("reconstruct") << Pass([](const GLPyramidBase& p, const TSFbo& f, const TSFbo& c, const TSFbo&,
                                                TSFbo& o) { p.reconstruct(f, c, o); })
                                     << fineLevel(4, [](const Inputs& in, int x, int y) {
                                            return cv::Vec4d(in.fine.at<cv::Vec4f>(y, x)) + upsampled(in.coarse, x, y)
                                                   - cv::Vec4d::all(0.5);
                                        })
                                     << int(GL_RGBA32F);
        QTest::newRow("reconstructYOnly")
            << Pass([](const GLPyramidBase& p, const TSFbo&, const TSFbo& c, const TSFbo& y, TSFbo& o) {
                   p.reconstructYOnly(y, c, o);
               })
            << fineLevel(4, [](const Inputs& in, int x, int y) {
                   const cv::Vec4d low = upsampled(in.coarse, x, y);
                   cv::Vec3d yuv = toYUV(low);
                   yuv[0] += in.fineY.at<float>(y, x) - 0.5;
                   const cv::Vec3d rgb = toRGB(yuv);
                   return cv::Vec4d(rgb[0], rgb[1], rgb[2], low[3]);
               })
            << int(GL_RGBA32F);
        QTest::newRow("expandYGuided")
            << Pass([](const GLPyramidBase& p, const TSFbo&, const TSFbo& c, const TSFbo& y, TSFbo& o) {
                   p.expandYGuided(y, c, o);
               })
            << fineLevel(4, [](const Inputs& in, int x, int y) {
                   const cv::Vec4d low = upsampled(in.coarse, x, y);
                   cv::Vec3d yuv = toYUV(low);
                   yuv[0] = in.fineY.at<float>(y, x);
                   const cv::Vec3d rgb = toRGB(yuv);
                   return cv::Vec4d(rgb[0], rgb[1], rgb[2], low[3]);
               })
            << int(GL_RGBA32F);
    }

    void passes()
    {
        QFETCH(Pass, pass);
        QFETCH(Reference, expected);
        QFETCH(int, outFormat);
        const bool oneChannel = outFormat == GL_R32F;
        const cv::Mat want = expected(m_in);
        const cv::Mat out = onGpu([&] {
            const TSFbo fine(m_in.fine, GL_RGBA32F);
            const TSFbo coarse(m_in.coarse, GL_RGBA32F);
            const TSFbo fineY(m_in.fineY, GL_R32F);
            TSFbo dst(want.cols, want.rows, uint(outFormat));
            pass(GLPyramidBase(), fine, coarse, fineY, dst);
            return dst.dataToMat(oneChannel ? CV_32FC1 : CV_32FC4, true);
        });
        GPU_COMPARE_IMAGES(out, want, kTolerance, 0.0, QStringLiteral("pyramid_") + QTest::currentDataTag());
    }

    void levelsAreSuccessiveReductions()
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
            GPU_COMPARE_IMAGES(levels[i], SamplingReference::pyramidReduce(levels[i - 1], levels[i].size()), kTolerance,
                               0.0, QStringLiteral("gaussian_level%1").arg(i));
        }
    }

    void roundTrip_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("minSize");
        QTest::newRow("61 x 37, 5 levels") << QSize(61, 37) << 3;
        QTest::newRow("33 x 65, 2 levels") << QSize(33, 65) << 16;
    }

    void roundTrip()
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

    void coarsestLevelIsTheGaussianTop()
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

    void areaReduceMatchesInterArea_data()
    {
        QTest::addColumn<QSize>("in");
        QTest::addColumn<QSize>("out");
        QTest::addColumn<bool>("translucent");
        QTest::newRow("grating, by 3.75") << QSize(300, 150) << QSize(80, 40) << false;
        QTest::newRow("grating, by 1.9 and 1.3") << QSize(190, 130) << QSize(100, 100) << false;
        QTest::newRow("one axis only") << QSize(64, 64) << QSize(64, 17) << false;
        QTest::newRow("translucent, by 2.5") << QSize(100, 50) << QSize(40, 20) << true;
    }
    // Reduction by area against OpenCV's INTER_AREA: gratings finer than the output reduce to
    // their mean instead of aliasing, at whole and fractional ratios, and translucent pixels
    // add their colour by their alpha only.
    void areaReduceMatchesInterArea()
    {
        QFETCH(QSize, in);
        QFETCH(QSize, out);
        QFETCH(bool, translucent);
        // One-pixel stripes in x and y, plus a random tint; alpha random or opaque.
        cv::Mat pixels = GpuTest::randomImage(in.height(), in.width(), CV_32FC4, 3, 0.0, 0.3);
        for (int y = 0; y < pixels.rows; ++y)
            for (int x = 0; x < pixels.cols; ++x) {
                cv::Vec4f& p = pixels.at<cv::Vec4f>(y, x);
                p[0] += (x % 2) * 0.7f;
                p[1] += (y % 2) * 0.7f;
                p[3] = translucent ? 0.1f + p[3] * 3.0f : 1.0f;
            }
        const cv::Mat reduced = onGpu([&] {
            return GLAreaReduce().reduce(TSFbo(pixels, GL_RGBA32F, true), out, GL_RGBA32F).dataToMat(CV_32FC4, true);
        });
        // The reference averages premultiplied colour, then divides by the mean alpha.
        cv::Mat premultiplied = pixels.clone();
        for (auto it = premultiplied.begin<cv::Vec4f>(); it != premultiplied.end<cv::Vec4f>(); ++it)
            for (int c = 0; c < 3; ++c)
                (*it)[c] *= (*it)[3];
        cv::Mat expected;
        cv::resize(premultiplied, expected, cv::Size(out.width(), out.height()), 0, 0, cv::INTER_AREA);
        for (auto it = expected.begin<cv::Vec4f>(); it != expected.end<cv::Vec4f>(); ++it)
            for (int c = 0; c < 3; ++c)
                (*it)[c] /= (*it)[3];
        GPU_COMPARE_IMAGES(reduced, expected, 1e-4, 0.0, "area_reduce");
    }

    void areaReduceRefusesWhatIsNoReduction()
    {
        QVERIFY(onGpu([] {
            const TSFbo image(8, 8, GL_RGBA16F);
            GLAreaReduce area;
            return area.reduce(image, QSize(9, 8)).isEmpty() && area.reduce(TSFbo(), QSize(4, 4)).isEmpty()
                && area.reduce(image, QSize(0, 4)).isEmpty();
        }));
    }
};

KORVANE_TEST_CASE(TstGLPyramid)
#include "tst_glpyramid.moc"
