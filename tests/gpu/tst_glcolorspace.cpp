#include "gpu/glcolorspace.h"
#include "gpu/glimfilter.h"
#include "gpu/glprog.h"
#include "korvanetest.h"
#include "samplingreference.h"

using SamplingReference::luma;
using SamplingReference::toRGB;
using SamplingReference::toYUV;

namespace {

// Float targets: single-precision arithmetic (pow included) against a double reference.
constexpr double kTolerance = 1e-4;
const cv::Size kSize(23, 17);

double encode(double c)
{
    return c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1.0 / 2.4) - 0.055;
}

// Pixel values of a test image: the curves' break points, white and black first, random
// values from lo to 1.2 after them.
cv::Mat colourImage(unsigned seed, double lo = -0.05)
{
    cv::Mat m = GpuTest::randomImage(kSize.height, kSize.width, CV_32FC4, seed, lo, 1.2);
    const cv::Vec4f special[] = {{0.04045f, 0.0031308f, 1.f, 1.f}, {1.f, 1.f, 1.f, 1.f}, {0.f, 0.f, 0.f, 0.5f},
                                 {0.04f, 0.5f, 0.003f, 0.25f}};
    for (int i = 0; i < 4; ++i)
        m.at<cv::Vec4f>(0, i) = special[i];
    return m;
}

cv::Mat perPixel(const cv::Mat& a, const cv::Mat& b, int outType, const std::function<cv::Vec4d(cv::Vec4d, cv::Vec4d)>& f)
{
    cv::Mat out(kSize, outType);
    const int cn = CV_MAT_CN(outType);
    for (int y = 0; y < kSize.height; ++y) {
        for (int x = 0; x < kSize.width; ++x) {
            auto pixel = [&](const cv::Mat& m) {
                cv::Vec4d v(0, 0, 0, 0);
                if (m.empty())
                    return v;
                for (int c = 0; c < m.channels(); ++c)
                    v[c] = m.ptr<float>(y)[x * m.channels() + c];
                return v;
            };
            const cv::Vec4d r = f(pixel(a), pixel(b));
            for (int c = 0; c < cn; ++c)
                out.ptr<float>(y)[x * cn + c] = float(r[c]);
        }
    }
    return out;
}

using Conversion = std::function<bool(const TSFbo& a, const TSFbo& b, TSFbo& out)>;
using Reference = std::function<cv::Vec4d(cv::Vec4d a, cv::Vec4d b)>;

struct Plane
{
    int cvType;
    uint format;
};
const Plane kRgba{CV_32FC4, GL_RGBA32F};
const Plane kY{CV_32FC1, GL_R32F};
const Plane kUV{CV_32FC2, GL_RG32F};

cv::Mat asPlane(const cv::Mat& rgba, const Plane& p)
{
    if (p.cvType == CV_32FC4)
        return rgba;
    std::vector<cv::Mat> ch;
    cv::split(rgba, ch);
    cv::Mat out;
    if (p.cvType == CV_32FC1)
        return ch[0];
    cv::merge(std::vector<cv::Mat>{ch[0], ch[1]}, out);
    return out;
}

struct ConversionRow { Conversion convert; Plane inA; Plane inB; Plane out; Reference expected; };

} // namespace

Q_DECLARE_METATYPE(ConversionRow)

class TstGlColorSpace : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(GpuFixture::renderThread()); }

    void conversions_data()
    {
        QTest::addColumn<ConversionRow>("row");

        const Plane none{-1, 0};
        const auto one = [](bool (*f)(const TSFbo&, TSFbo&)) {
            return Conversion([f](const TSFbo& a, const TSFbo&, TSFbo& o) { return f(a, o); });
        };
        QTest::newRow("sRGB2Linear") << ConversionRow{one(GlColorSpace::sRGB2Linear), kRgba, none, kRgba, Reference([](cv::Vec4d a, cv::Vec4d) {
            return cv::Vec4d(SamplingReference::srgbDecode(a[0]), SamplingReference::srgbDecode(a[1]),
                             SamplingReference::srgbDecode(a[2]), a[3]);
        })};
        QTest::newRow("linear2SRGB") << ConversionRow{one(GlColorSpace::linear2SRGB), kRgba, none, kRgba, Reference([](cv::Vec4d a, cv::Vec4d) {
            // Negative light has no power curve: the linear toe continues below 0.
            return cv::Vec4d(encode(a[0]), encode(a[1]), encode(a[2]), a[3]);
        })};
        QTest::newRow("RGB2YUV") << ConversionRow{one(GlColorSpace::RGB2YUV), kRgba, none, kRgba, Reference([](cv::Vec4d a, cv::Vec4d) {
            const cv::Vec3d yuv = toYUV(a);
            return cv::Vec4d(yuv[0], yuv[1] + 0.5, yuv[2] + 0.5, a[3]);
        })};
        QTest::newRow("YUV2RGB") << ConversionRow{one(GlColorSpace::YUV2RGB), kRgba, none, kRgba, Reference([](cv::Vec4d a, cv::Vec4d) {
            const cv::Vec3d rgb = toRGB({a[0], a[1] - 0.5, a[2] - 0.5});
            return cv::Vec4d(rgb[0], rgb[1], rgb[2], a[3]);
        })};
        QTest::newRow("RGB2Y") << ConversionRow{one(GlColorSpace::RGB2Y), kRgba, none, kY, Reference([](cv::Vec4d a, cv::Vec4d) { return cv::Vec4d(luma(a), 0, 0, 0); })};
        QTest::newRow("RGB2UV") << ConversionRow{one(GlColorSpace::RGB2UV), kRgba, none, kUV, Reference([](cv::Vec4d a, cv::Vec4d) {
            const cv::Vec3d yuv = toYUV(a);
            return cv::Vec4d(yuv[1] + 0.5, yuv[2] + 0.5, 0, 0);
        })};
        QTest::newRow("YUV2RGB from planes") << ConversionRow{Conversion([](const TSFbo& a, const TSFbo& b, TSFbo& o) {
            return GlColorSpace::YUV2RGB(a, b, o);
        }), kY, kUV, kRgba, Reference([](cv::Vec4d y, cv::Vec4d uv) {
            const cv::Vec3d rgb = toRGB({y[0], uv[0] - 0.5, uv[1] - 0.5});
            return cv::Vec4d(rgb[0], rgb[1], rgb[2], 1.0);
        })};
        QTest::newRow("YModifyRGB") << ConversionRow{Conversion(GlColorSpace::YModifyRGB), kY, kRgba, kRgba, Reference([](cv::Vec4d y, cv::Vec4d rgb) {
            const double gain = (y[0] + 0.01) / (luma(rgb) + 0.01);
            return cv::Vec4d(rgb[0] * gain, rgb[1] * gain, rgb[2] * gain, rgb[3]);
        })};
    }

    void conversions()
    {
        QFETCH(ConversionRow, row);
        const auto& [convert, inA, inB, out, expected] = row;
        const cv::Mat a = asPlane(colourImage(1), inA);
        // No negative colours as the second input: the luma replacement divides by Y + 0.01.
        const cv::Mat b = inB.cvType < 0 ? cv::Mat() : asPlane(colourImage(2, 0.0), inB);
        cv::Mat result;
        bool done = false;
        QVERIFY(GpuFixture::onRenderThread([&] {
            const TSFbo fa(a, inA.format);
            const TSFbo fb = b.empty() ? TSFbo() : TSFbo(b, inB.format);
            TSFbo dst(kSize.width, kSize.height, out.format);
            done = convert(fa, fb, dst);
            result = dst.dataToMat(out.cvType, true);
        }));
        QVERIFY(done);
        GPU_COMPARE_IMAGES(result, perPixel(a, b, out.cvType, expected), kTolerance, 0.0,
                           QStringLiteral("colorspace_") + QTest::currentDataTag());
    }

    void lutConversion()
    {
        // A 9^3 LUT of a smooth, non-linear mapping; the reference interpolates it trilinearly
        // at the position the shader computes, after the same highlight compression.
        const int n = 9;
        auto node = [n](int i, int j, int k) {
            const double r = double(i) / (n - 1), g = double(j) / (n - 1), b = double(k) / (n - 1);
            return cv::Vec3d(std::sqrt(g), b * b, 0.5 * r + 0.25 * g);
        };
        std::vector<float> lut;
        for (int k = 0; k < n; ++k) {
            for (int j = 0; j < n; ++j) {
                for (int i = 0; i < n; ++i) {
                    const cv::Vec3d v = node(i, j, k);
                    lut.insert(lut.end(), {float(v[0]), float(v[1]), float(v[2])});
                }
            }
        }
        const cv::Mat in = GpuTest::randomImage(kSize.height, kSize.width, CV_32FC4, 4, 0.0, 1.5);
        cv::Mat result;
        QVERIFY(GpuFixture::onRenderThread([&] {
            QOpenGLFunctions_3_3_Core* f = GLProg::funcs();
            GLuint tex = 0;
            f->glGenTextures(1, &tex);
            f->glBindTexture(GL_TEXTURE_3D, tex);
            f->glTexImage3D(GL_TEXTURE_3D, 0, GL_RGB32F, n, n, n, 0, GL_RGB, GL_FLOAT, lut.data());
            f->glBindTexture(GL_TEXTURE_3D, 0);
            GLImFilter filter(QStringLiteral(":/korvane/glshaders/gllutconvert.frag"));
            filter.setTexture("lut", int(tex), "3D", GL_LINEAR, GL_CLAMP_TO_EDGE);
            filter.setUniformValue("lutSize", n);
            TSFbo dst(kSize.width, kSize.height, GL_RGBA32F);
            filter.proc(TSFbo(in, GL_RGBA32F), dst);
            result = dst.dataToMat(CV_32FC4, true);
            f->glDeleteTextures(1, &tex);
        }));
        const cv::Mat want = perPixel(in, cv::Mat(), CV_32FC4, [&](cv::Vec4d c, cv::Vec4d) {
            // Values above 1 are pulled back so that the largest is 1, keeping the smallest.
            const double maxV = std::max({1.000001, c[0], c[1], c[2]});
            const double minV = std::clamp(std::min({c[0], c[1], c[2]}), 0.0, 1.0);
            const double gain = (1.0 - minV) / (maxV - minV);
            double pos[3];
            for (int i = 0; i < 3; ++i)
                pos[i] = std::clamp(((c[i] - minV) * gain + minV) * (n - 1), 0.0, double(n - 1));
            // Trilinear interpolation between the 8 surrounding nodes.
            const int i0 = std::min(int(pos[0]), n - 2), j0 = std::min(int(pos[1]), n - 2), k0 = std::min(int(pos[2]), n - 2);
            const double fi = pos[0] - i0, fj = pos[1] - j0, fk = pos[2] - k0;
            cv::Vec3d v(0, 0, 0);
            for (int dk = 0; dk < 2; ++dk)
                for (int dj = 0; dj < 2; ++dj)
                    for (int di = 0; di < 2; ++di)
                        v += node(i0 + di, j0 + dj, k0 + dk) * ((di ? fi : 1 - fi) * (dj ? fj : 1 - fj) * (dk ? fk : 1 - fk));
            return cv::Vec4d(v[0], v[1], v[2], 1.0);
        });
        GPU_COMPARE_IMAGES(result, want, kTolerance, 0.0, "lut_conversion");
    }
};

KORVANE_TEST_CASE(TstGlColorSpace)

#include "tst_glcolorspace.moc"
