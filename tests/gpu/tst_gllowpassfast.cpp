#include "gpu/gllowpassfast.h"
#include "korvanetest.h"

#include "samplingreference.h"

using SamplingReference::bilinear;

namespace {

// Float targets: single-precision filtering and arithmetic against a double reference.
constexpr double kTolerance = 1e-4;

int mirror(int i, int n)
{
    while (i < 0 || i >= n)
        i = i < 0 ? -1 - i : 2 * n - 1 - i;
    return i;
}

// A box of 2 radius + 1 pixels along one axis: every pixel within int(radius) of the centre
// counts fully, the next one on each side by the fraction of radius; borders mirror.
cv::Mat boxAlong(const cv::Mat& in, double radius, bool horizontal)
{
    const int k = int(radius);
    const double end = radius - k;
    cv::Mat out(in.size(), in.type());
    const int n = horizontal ? in.cols : in.rows;
    for (int y = 0; y < in.rows; ++y) {
        for (int x = 0; x < in.cols; ++x) {
            cv::Vec4d sum(0, 0, 0, 0);
            for (int j = -k - 1; j <= k + 1; ++j) {
                const double w = std::abs(j) <= k ? 1.0 : end;
                const int i = mirror((horizontal ? x : y) + j, n);
                sum += w * cv::Vec4d(horizontal ? in.at<cv::Vec4f>(y, i) : in.at<cv::Vec4f>(i, x));
            }
            out.at<cv::Vec4f>(y, x) = cv::Vec4f(sum / (2 * radius + 1));
        }
    }
    return out;
}

// One halving of log2Dec: four bilinear samples 0.66 input texels diagonally around each
// output pixel.
cv::Mat halve(const cv::Mat& in, const cv::Size& out)
{
    cv::Mat r(out, CV_32FC4);
    const double dx = 0.66 / in.cols, dy = 0.66 / in.rows;
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            const double s = (x + 0.5) / out.width, t = (y + 0.5) / out.height;
            r.at<cv::Vec4f>(y, x) = cv::Vec4f(0.25 * (bilinear(in, s + dx, t + dy) + bilinear(in, s - dx, t + dy)
                                                      + bilinear(in, s + dx, t - dy) + bilinear(in, s - dx, t - dy)));
        }
    }
    return r;
}

cv::Mat resample(const cv::Mat& in, const cv::Size& out)
{
    cv::Mat r(out, CV_32FC4);
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            cv::Vec4d v = bilinear(in, (x + 0.5) / out.width, (y + 0.5) / out.height);
            v[3] = 1.0; // the copy program sets alpha to 1
            r.at<cv::Vec4f>(y, x) = cv::Vec4f(v);
        }
    }
    return r;
}

struct Crossings
{
    double at10 = -1, at50 = -1, at90 = -1;
    double width() const { return at90 - at10; }
};

// Where a rising profile crosses 10 %, 50 % and 90 % of its rise (linear between samples).
Crossings crossings(const std::vector<double>& v)
{
    const double lo = v.front(), hi = v.back();
    Crossings c;
    double* out[] = {&c.at10, &c.at50, &c.at90};
    const double levels[] = {0.1, 0.5, 0.9};
    for (int l = 0; l < 3; ++l) {
        const double target = lo + levels[l] * (hi - lo);
        for (size_t i = 1; i < v.size(); ++i) {
            if (v[i - 1] < target && v[i] >= target) {
                *out[l] = i - 1 + (target - v[i - 1]) / (v[i] - v[i - 1]);
                break;
            }
        }
    }
    return c;
}

} // namespace

class TstGLLowpassFast : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(GpuFixture::renderThread()); }

    void boxAtReducedResolution_data()
    {
        QTest::addColumn<float>("radius");
        QTest::addColumn<int>("level");
        QTest::newRow("0 (identity)") << 0.f << 0;
        QTest::newRow("1.5 (odd: the last texel and the end in one read)") << 1.5f << 0;
        QTest::newRow("3 (odd, no fraction)") << 3.f << 0;
        QTest::newRow("4.5 (largest radius class at full size)") << 4.5f << 0;
        QTest::newRow("6 (a half)") << 6.f << 1;
        QTest::newRow("10 (a quarter)") << 10.f << 2;
        QTest::newRow("40 (a quarter, odd working radius)") << 40.f << 2;
    }

    // At full size the box is exact on random pixels. Reduced, it runs on flat 96-pixel blocks
    // of random colours, wider than every row's box: each pixel sees at most one edge per axis.
    void boxAtReducedResolution()
    {
        QFETCH(float, radius);
        QFETCH(int, level);
        QCOMPARE(GLLowpassFast::level(radius), level);
        const cv::Mat colours = GpuTest::randomImage(2, 3, CV_32FC4, 22);
        cv::Mat in = GpuTest::randomImage(37, 61, CV_32FC4, 21);
        if (level > 0) {
            in.create(192, 288, CV_32FC4);
            in.forEach<cv::Vec4f>([&](cv::Vec4f& p, const int* pos) { p = colours.at<cv::Vec4f>(pos[0] / 96, pos[1] / 96); });
        }
        cv::Mat out;
        uint format = 0;
        QVERIFY(GpuFixture::onRenderThread([&] {
            const TSFbo blurred = GLLowpassFast().filter(TSFbo(in, GL_RGBA32F), radius);
            format = blurred.internalFormat();
            out = blurred.dataToMat(CV_32FC4, true);
        }));
        QCOMPARE(format, uint(GL_RGBA32F));
        const cv::Mat want = boxAlong(boxAlong(in, radius, true), radius, false);
        // Averaging 2^L pixels and bilinear up-sampling spread each end of the box with a
        // standard deviation under 2^L / 2 pixels; where the box's ramp (slope 1 / (2 radius + 1)
        // per unit of contrast) bends, that moves it by at most a quarter of 2^L / (2 radius + 1),
        // once per axis. Contrasts are at most 1.
        const double tolerance = level == 0 ? kTolerance : (1 << level) / (2.0 * (2 * radius + 1));
        GPU_COMPARE_IMAGES(out, want, tolerance, 0.0, QStringLiteral("box_") + QTest::currentDataTag());
    }

    void log2DecContent_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("n");
        QTest::newRow("64 x 48, three times") << QSize(64, 48) << 3;
        QTest::newRow("61 x 37, twice (resampled first)") << QSize(61, 37) << 2;
    }

    void log2DecContent()
    {
        QFETCH(QSize, size);
        QFETCH(int, n);
        const cv::Mat in = SamplingReference::texturedImage(cv::Size(size.width(), size.height()), 23);
        const cv::Mat out = onGpu([&] {
            return GLLowpassFast().log2Dec(TSFbo(in, GL_RGBA32F), n).dataToMat(CV_32FC4, true);
        });
        const int d = 1 << n;
        cv::Mat want = in;
        if (size.width() % d || size.height() % d)
            want = resample(in, cv::Size(size.width() / d * d, size.height() / d * d));
        for (int i = 0; i < n; ++i)
            want = halve(want, cv::Size(want.cols / 2, want.rows / 2));
        GPU_COMPARE_IMAGES(out, want, kTolerance, 0.0, QStringLiteral("log2dec_") + QTest::currentDataTag());
    }

    void edgeWidthMatchesRadius_data()
    {
        QTest::addColumn<float>("radius");
        QTest::newRow("10 (a quarter)") << 10.f;
        QTest::newRow("200 (a sixteenth)") << 200.f;
        QTest::newRow("700 (a thirty-second)") << 700.f;
    }

    void edgeWidthMatchesRadius()
    {
        QFETCH(float, radius);
        // A vertical step edge in the middle of a 4096 x 64 image, far enough from the borders
        // for the largest radius.
        const int w = 4096, h = 64;
        cv::Mat in(h, w, CV_32FC4, cv::Scalar(0, 0, 0, 1));
        in.colRange(w / 2, w).setTo(cv::Scalar(1, 1, 1, 1));
        const cv::Mat out = onGpu([&] {
            return GLLowpassFast().filter(TSFbo(in, GL_RGBA16F), radius).dataToMat(CV_32FC4, true);
        });
        QCOMPARE(out.size(), in.size());

        std::vector<double> gpu(w), cpu(w);
        // The full-resolution box on the same step: a linear ramp 2 radius + 1 wide.
        const cv::Mat cpuRow = boxAlong(in.row(0).clone(), radius, true);
        for (int x = 0; x < w; ++x) {
            gpu[x] = out.at<cv::Vec4f>(h / 2, x)[1];
            cpu[x] = cpuRow.at<cv::Vec4f>(0, x)[1];
        }
        const Crossings g = crossings(gpu), c = crossings(cpu);
        QVERIFY(g.at10 > 0 && g.at90 > 0 && c.at10 > 0);
        const QString report = QStringLiteral("10-90 % width %1 px (full-resolution box: %2), 50 % at %3 (box: %4)")
                                   .arg(g.width()).arg(c.width()).arg(g.at50).arg(c.at50);
        QVERIFY2(std::fabs(g.width() - c.width()) < 0.2 * c.width(), qPrintable(report));
        QVERIFY2(std::fabs(g.at50 - c.at50) < 0.05 * radius, qPrintable(report));
    }
};


KORVANE_TEST_CASE(TstGLLowpassFast)

#include "tst_gllowpassfast.moc"
