// The example host's layer workers against CPU references of their formulas: levels,
// the gradient fill and its orientation, the cover placement of another file, the blur at
// preview scale, and the errors of an unreadable file.

#include "hostnodes/blurlayerworker.h"
#include "hostnodes/filllayerworker.h"
#include "hostnodes/hostnodeclasses.h"
#include "hostnodes/imagelayer.h"
#include "hostnodes/imagelayerworker.h"
#include "hostnodes/levelslayerworker.h"

#include "gpu/tuid.h"
#include "gpu/tsfbo.h"

#include "gpufixture.h"
#include "gputest.h"
#include "testregistry.h"

#include <QColor>
#include <QTemporaryDir>
#include <QTest>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <memory>

namespace {
// 8-bit downloads of RGBA16F results: one level of rounding.
constexpr double kTolerance = 1.0 / 255 + 1e-6;

// Runs `Worker::doProc` on `in` with `params` on the render thread; the result as 32F RGBA.
template <typename Worker>
cv::Mat runWorker(const cv::Mat& in, const QVariantMap& params, float scale = 1.f, QString* status = nullptr)
{
    cv::Mat out;
    GpuFixture::onRenderThread([&] {
        Worker worker(TUid().uid(), 0);
        worker.defineParams(params);
        TSFbo io(in);
        io.setScale(scale);
        const QString s = worker.doProc(io);
        if (status)
            *status = s;
        if (s.isEmpty())
            out = io.dataToMat(CV_32FC4);
    });
    return out;
}

void readAheadRows()
{
    QTest::addColumn<bool>("readAhead");
    QTest::newRow("read by the worker") << false;
    QTest::newRow("read ahead") << true;
}

cv::Mat uniform(int rows, int cols, const cv::Scalar& rgba)
{
    return cv::Mat(rows, cols, CV_32FC4, rgba);
}
} // namespace

class TstHostNodes : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(GpuFixture::renderThread());
        HostNodeClasses::registerAll();
    }

    void levelsFollowTheirFormula_data()
    {
        QTest::addColumn<double>("exposure");
        QTest::addColumn<double>("black");
        QTest::addColumn<double>("white");
        QTest::addColumn<double>("gamma");
        QTest::newRow("identity") << 0.0 << 0.0 << 1.0 << 1.0;
        QTest::newRow("one stop up clips") << 1.0 << 0.0 << 1.0 << 1.0;
        QTest::newRow("black and white points") << 0.0 << 0.2 << 0.8 << 1.0;
        QTest::newRow("gamma and a stop down") << -1.0 << 0.05 << 0.9 << 2.2;
    }
    void levelsFollowTheirFormula()
    {
        QFETCH(double, exposure);
        QFETCH(double, black);
        QFETCH(double, white);
        QFETCH(double, gamma);
        const cv::Mat in = GpuTest::randomImage(9, 13, CV_32FC4, 5);
        const cv::Mat out = runWorker<LevelsLayerWorker>(
            in, {{"exposure", exposure}, {"black", black}, {"white", white}, {"gamma", gamma}});
        QVERIFY(!out.empty());
        cv::Mat expected = in.clone();
        expected.forEach<cv::Vec4f>([&](cv::Vec4f& p, const int*) {
            for (int c = 0; c < 3; ++c) {
                const double v = std::clamp((p[c] * std::pow(2.0, exposure) - black) / (white - black), 0.0, 1.0);
                p[c] = float(std::pow(v, 1.0 / gamma));
            }
        });
        GPU_COMPARE_IMAGES(out, expected, 2e-3, 2e-3, "levels");
    }

    void gradientRunsAlongItsAngle_data()
    {
        QTest::addColumn<double>("angle");
        QTest::newRow("left to right") << 0.0;
        QTest::newRow("top to bottom") << 90.0;
        QTest::newRow("diagonal") << 45.0;
    }
    void gradientRunsAlongItsAngle()
    {
        QFETCH(double, angle);
        const QColor from(255, 0, 0), to(0, 0, 255);
        const int rows = 8, cols = 16;
        const cv::Mat out = runWorker<FillLayerWorker>(uniform(rows, cols, cv::Scalar(0.5, 0.5, 0.5, 1)),
                                                       {{"color", from}, {"color2", to}, {"angle", angle}});
        QVERIFY(!out.empty());
        // t runs from 0 at one corner or edge to 1 at the opposite one, in pixel-centre units of
        // the normalised image (rows grow downwards).
        const double a = angle * M_PI / 180.0, dx = std::cos(a), dy = std::sin(a);
        const double halfSpan = 0.5 * (std::abs(dx) + std::abs(dy));
        cv::Mat expected(rows, cols, CV_32FC4);
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < cols; ++x) {
                const double u = (x + 0.5) / cols - 0.5, v = (y + 0.5) / rows - 0.5;
                const double t = std::clamp(0.5 + (u * dx + v * dy) / (2 * halfSpan), 0.0, 1.0);
                expected.at<cv::Vec4f>(y, x) = cv::Vec4f(float(1 - t), 0.f, float(t), 1.f);
            }
        GPU_COMPARE_IMAGES(out, expected, 2e-3, 0.0, "gradient");
    }

    // Rows: the worker reads the file itself, or takes the read its layer started (which it
    // must consume, not leave holding the pixels).
    void anotherFileCoversTheCanvas_data() { readAheadRows(); }
    void anotherFileCoversTheCanvas()
    {
        QFETCH(bool, readAhead);
        // 40 x 10: four vertical bands; a 10 x 10 canvas shows only the middle quarter of its
        // width: the right half of band 1 (green) and the left half of band 2 (blue).
        QTemporaryDir dir;
        const QString path = dir.filePath("bands.png");
        cv::Mat bands(10, 40, CV_8UC3);
        const cv::Vec3b bgr[4] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {255, 255, 255}};
        for (int x = 0; x < 40; ++x)
            bands.col(x).setTo(cv::Scalar(bgr[x / 10][0], bgr[x / 10][1], bgr[x / 10][2]));
        QVERIFY(cv::imwrite(path.toStdString(), bands));
        const QString source = QUrl::fromLocalFile(path).toString();
        if (readAhead)
            ImageLayer::readAhead(source);
        const cv::Mat out = runWorker<ImageLayerWorker>(uniform(10, 10, cv::Scalar(0, 0, 0, 1)), {{"source", source}});
        QVERIFY(!out.empty());
        ImageLayer::Loaded left;
        QVERIFY(!ImageLayer::takeReadAhead(source, &left));
        cv::Mat expected(10, 10, CV_32FC4);
        for (int x = 0; x < 10; ++x)
            expected.col(x).setTo(x < 5 ? cv::Scalar(0, 1, 0, 1) : cv::Scalar(0, 0, 1, 1));
        // Output centres land on input texel centres (x -> x + 15.5), so no bands blend.
        GPU_COMPARE_IMAGES(out, expected, kTolerance, 0.0, "cover");
    }

    void unreadableFilesStopTheRenderWithTheirName_data() { readAheadRows(); }
    void unreadableFilesStopTheRenderWithTheirName()
    {
        QFETCH(bool, readAhead);
        if (readAhead)
            ImageLayer::readAhead(QStringLiteral("/nonexistent/picture.jpg"));
        QString status;
        const cv::Mat out = runWorker<ImageLayerWorker>(uniform(4, 4, cv::Scalar(0, 0, 0, 1)),
                                                        {{"source", "/nonexistent/picture.jpg"}}, 1.f, &status);
        QVERIFY(out.empty());
        QVERIFY2(status.startsWith("ERROR!!! ") && status.contains("/nonexistent/picture.jpg"), qPrintable(status));
        ImageLayer::Loaded left;
        QVERIFY(!ImageLayer::takeReadAhead(QStringLiteral("/nonexistent/picture.jpg"), &left));
    }

    void blurShrinksWithThePreviewScale()
    {
        // radius 8 at preview scale 0.5: two box blurs of half-width 2 (5 pixels), borders
        // mirrored; a float image keeps the comparison free of rounding.
        const cv::Mat in = GpuTest::randomImage(24, 30, CV_32FC4, 11);
        const cv::Mat out = runWorker<BlurLayerWorker>(in, {{"radius", 8.0}}, 0.5f);
        QVERIFY(!out.empty());
        cv::Mat once, expected;
        cv::blur(in, once, cv::Size(5, 5), cv::Point(-1, -1), cv::BORDER_REFLECT);
        cv::blur(once, expected, cv::Size(5, 5), cv::Point(-1, -1), cv::BORDER_REFLECT);
        GPU_COMPARE_IMAGES(out, expected, 2e-3, 0.0, "blur");
    }
};

KORVANE_TEST_CASE(TstHostNodes)
#include "tst_hostnodes.moc"
