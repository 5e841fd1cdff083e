// Reduction by area against OpenCV's INTER_AREA: gratings finer than the output reduce to
// their mean instead of aliasing, at whole and fractional ratios, and translucent pixels add
// their colour by their alpha only.

#include "korvanetest.h"

#include "gpu/glareareduce.h"

#include <opencv2/imgproc.hpp>

class TstGLAreaReduce : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(GpuFixture::renderThread()); }

    void matchesInterArea_data()
    {
        QTest::addColumn<QSize>("in");
        QTest::addColumn<QSize>("out");
        QTest::addColumn<bool>("translucent");
        QTest::newRow("grating, by 3.75") << QSize(300, 150) << QSize(80, 40) << false;
        QTest::newRow("grating, by 1.9 and 1.3") << QSize(190, 130) << QSize(100, 100) << false;
        QTest::newRow("one axis only") << QSize(64, 64) << QSize(64, 17) << false;
        QTest::newRow("translucent, by 2.5") << QSize(100, 50) << QSize(40, 20) << true;
    }
    void matchesInterArea()
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

    void refusesWhatIsNoReduction()
    {
        QVERIFY(onGpu([] {
            const TSFbo image(8, 8, GL_RGBA16F);
            GLAreaReduce area;
            return area.reduce(image, QSize(9, 8)).isEmpty() && area.reduce(TSFbo(), QSize(4, 4)).isEmpty()
                && area.reduce(image, QSize(0, 4)).isEmpty();
        }));
    }
};

KORVANE_TEST_CASE(TstGLAreaReduce)
#include "tst_glareareduce.moc"
