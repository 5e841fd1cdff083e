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
// Colour channels only: the compact format has no alpha, and alpha is not what is measured.
cv::Mat rgb(const cv::Mat& m)
{
    cv::Mat out;
    cv::cvtColor(m, out, cv::COLOR_RGBA2RGB);
    return out;
}
} // namespace

class SavePrecisionTest : public ServerTest
{
protected:
    QTemporaryDir m_dir;

    // Random pixels of `cvType` written by OpenCV (so the library under test reads a file it did
    // not write) as 8-bit PNG or 16-bit TIFF, loaded, set as the root's input, saved through the
    // root with no layers in the same format, and loaded back.
    void checkRoundTrip(int cvType, const cv::Scalar& absTol, const cv::Scalar& relTol, const QString& name)
    {
        const bool png = CV_MAT_DEPTH(cvType) == CV_8U;
        const QString source = m_dir.filePath(png ? "source.png" : "source.tif");
        const QString target = m_dir.filePath(png ? "saved.png" : "saved.tif");
        QVERIFY(cv::imwrite(source.toStdString(), GpuTest::randomImage(17, 31, cvType, 7)));
        QString failure;
        const TSMat input = ImageIOManager::tryLoadFile(source, Workspace::colorManagmentSystem(), &failure);
        QVERIFY2(!input.isEmpty(), qPrintable(failure));
        const cv::Mat original = input.mat().clone();
        m_root->setInput(input);
        QSignalSpy finished(m_root, &TNodeRoot::saveFinished);
        m_root->saveOutputToFile(QUrl::fromLocalFile(target),
            png ? saveOptions("PNG", {{"PNG_BITDEPTH", "8 bit"}}) : saveOptions("TIFF", {{"SAVE_ALPHA", "FALSE"}}));
        QTRY_VERIFY_WITH_TIMEOUT(finished.count() > 0, 20000);
        QVERIFY2(finished.at(0).at(1).toString().isEmpty(), qPrintable(finished.at(0).at(1).toString()));
        const TSMat back = ImageIOManager::tryLoadFile(target, Workspace::colorManagmentSystem(), &failure);
        QVERIFY2(!back.isEmpty(), qPrintable(failure));
        GPU_COMPARE_IMAGES(rgb(back.mat()), rgb(original), absTol, relTol, name);
    }
};

class TstNodeSavePrecision : public SavePrecisionTest
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCOMPARE(TSFbo::workingFormat(), GLenum(GL_RGBA16F));
        QVERIFY(startServer());
    }

    // Exact: a half float holds v / 255 within 2^-10 of itself (a unit, as stores truncate
    // here), a quarter of an 8-bit step at most.
    void eightBitPngComesBackIdentical()
    {
        checkRoundTrip(CV_8UC3, cv::Scalar::all(0), cv::Scalar::all(0), "root_save_png8");
    }

    // A half float keeps 10 mantissa bits: rounding to nearest errs by 2^-11 of the value,
    // but llvmpipe truncates when it stores one (every error here is towards zero), so one
    // whole unit, 2^-10, is the bound; the 16-bit file adds a step.
    void sixteenBitTiffWithinHalfFloatPrecision()
    {
        checkRoundTrip(CV_16UC3, cv::Scalar::all(1.0 / 65535), cv::Scalar::all(1.0 / 1024), "root_save_tiff16");
    }
};

// The packed float format must be chosen before the render thread makes its first image:
// a process of its own.
class TstNodeSaveCompactFormat : public SavePrecisionTest
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(TSFbo::setWorkingFormat(GL_R11F_G11F_B10F));
        QVERIFY(startServer());
    }

    // One unit of a 6-bit mantissa (red, green) is 2^-6 of the value, of a 5-bit one (blue)
    // 2^-5: the bound when stores truncate, as llvmpipe's do; the 16-bit file adds a step.
    void sixteenBitTiffWithinPackedFloatPrecision()
    {
        checkRoundTrip(CV_16UC3, cv::Scalar::all(1.0 / 65535), cv::Scalar(1.0 / 64, 1.0 / 64, 1.0 / 32),
                       "root_save_tiff16_packed");
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
