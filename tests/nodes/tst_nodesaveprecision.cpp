// What the working format keeps of an image that goes through the root unchanged: a file
// loaded, set as the root's input, saved through the root with no layers, and loaded back.
// The half-float format keeps 8-bit files exactly and 16-bit ones within a unit of its
// 10-bit mantissa; the packed 11/11/10-bit float format within its 6- and 5-bit mantissas.

#include "korvanetest.h"
#include "testhost.h"

#include "engine/timpserver.h"
#include "io/imageiomanager.h"
#include "io/workspace.h"
#include "nodes/tnoderootwithadjust.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {
// A source file of random pixels written by OpenCV, so that the library under test reads
// it but did not write it.
QString writeSource(const QTemporaryDir& dir, const QString& name, int cvType)
{
    const cv::Mat pixels = GpuTest::randomImage(17, 31, cvType, 7);
    const QString path = dir.filePath(name);
    return cv::imwrite(path.toStdString(), pixels) ? path : QString();
}

// Loads `source`, saves it through `root` into `target` with `options`, and loads both
// back as working images. False (with the reason in `failure`) when a step fails.
bool roundTrip(TImpServer* server, const QString& source, const QString& target, const QVariantMap& options,
               cv::Mat* original, cv::Mat* saved, QString* failure)
{
    TNodeRootWithAdjust* root = qobject_cast<TNodeRootWithAdjust*>(server->rootNode());
    const TSMat input = ImageIOManager::tryLoadFile(source, Workspace::colorManagmentSystem(), failure);
    if (input.isEmpty())
        return false;
    *original = input.mat().clone();
    root->setInput(input);
    QSignalSpy finished(root, &TNodeRoot::saveFinished);
    root->saveOutputToFile(QUrl::fromLocalFile(target), options);
    if (!QTest::qWaitFor([&] { return finished.count() > 0; }, 20000)) {
        *failure = QStringLiteral("no saveFinished");
        return false;
    }
    *failure = finished.at(0).at(1).toString();
    if (!failure->isEmpty())
        return false;
    const TSMat back = ImageIOManager::tryLoadFile(target, Workspace::colorManagmentSystem(), failure);
    *saved = back.mat().clone();
    return !back.isEmpty();
}

// Colour channels only: the compact format has no alpha, and alpha is not what is measured.
cv::Mat rgb(const cv::Mat& m)
{
    cv::Mat out;
    cv::cvtColor(m, out, cv::COLOR_RGBA2RGB);
    return out;
}

QVariantMap pngOptions()
{
    return {{"IMAGE_FORMAT", "PNG"}, {"PNG_COMPRESSION", "Best Speed"}, {"PNG_INTERLACE", "FALSE"},
            {"PNG_BITDEPTH", "8 bit"}};
}

QVariantMap tiffOptions()
{
    return {{"IMAGE_FORMAT", "TIFF"}, {"TIFF_COMPRESSION", "NONE"}, {"TIFF_BITDEPTH", "16 bit"}, {"SAVE_ALPHA", "FALSE"}};
}
} // namespace

class TstNodeSavePrecision : public ServerTest
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QCOMPARE(TSFbo::workingFormat(), GLenum(GL_RGBA16F));
        QVERIFY(startServer());
    }

    void eightBitPngComesBackIdentical()
    {
        const QString source = writeSource(m_dir, "source8.png", CV_8UC3);
        QVERIFY(!source.isEmpty());
        cv::Mat original, saved;
        QString failure;
        QVERIFY2(roundTrip(m_server, source, m_dir.filePath("saved8.png"), pngOptions(), &original,
                           &saved, &failure), qPrintable(failure));
        // Exact: a half float holds v / 255 within 2^-10 of itself (a unit, as stores
        // truncate here), a quarter of an 8-bit step at most.
        GPU_COMPARE_IMAGES(rgb(saved), rgb(original), 0.0, 0.0, "root_save_png8");
    }

    void sixteenBitTiffWithinHalfFloatPrecision()
    {
        const QString source = writeSource(m_dir, "source16.tif", CV_16UC3);
        QVERIFY(!source.isEmpty());
        cv::Mat original, saved;
        QString failure;
        QVERIFY2(roundTrip(m_server, source, m_dir.filePath("saved16.tif"), tiffOptions(),
                           &original, &saved, &failure), qPrintable(failure));
        // A half float keeps 10 mantissa bits: rounding to nearest errs by 2^-11 of the value,
        // but llvmpipe truncates when it stores one (every error here is towards zero), so
        // one whole unit, 2^-10, is the bound; the 16-bit file adds a step.
        GPU_COMPARE_IMAGES(rgb(saved), rgb(original), 1.0 / 65535, 1.0 / 1024, "root_save_tiff16");
    }
};

// The packed float format must be chosen before the render thread makes its first image:
// a process of its own.
class TstNodeSaveCompactFormat : public ServerTest
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(TSFbo::setWorkingFormat(GL_R11F_G11F_B10F));
        QVERIFY(startServer());
    }

    void sixteenBitTiffWithinPackedFloatPrecision()
    {
        const QString source = writeSource(m_dir, "source16.tif", CV_16UC3);
        QVERIFY(!source.isEmpty());
        cv::Mat original, saved;
        QString failure;
        QVERIFY2(roundTrip(m_server, source, m_dir.filePath("saved16.tif"), tiffOptions(),
                           &original, &saved, &failure), qPrintable(failure));
        // One unit of a 6-bit mantissa (red, green) is 2^-6 of the value, of a 5-bit one
        // (blue) 2^-5: the bound when stores truncate, as llvmpipe's do; the 16-bit file adds
        // a step.
        GPU_COMPARE_IMAGES(rgb(saved), rgb(original), cv::Scalar::all(1.0 / 65535),
                           cv::Scalar(1.0 / 64, 1.0 / 64, 1.0 / 32), "root_save_tiff16_packed");
    }

    void cleanupTestCase()
    {
        m_view.reset();
        TSFbo::setWorkingFormat(GL_RGBA16F);
    }
};

KORVANE_TEST_CASE(TstNodeSavePrecision)
KORVANE_ISOLATED_TEST_CASE(TstNodeSaveCompactFormat)
#include "tst_nodesaveprecision.moc"
