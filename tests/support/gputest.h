#pragma once
// Helpers shared by the GPU test cases: test images, CPU-side comparison with a stated
// tolerance, and evidence (actual and expected images) written on failure into the folder
// named by KORVANE_TEST_OUTPUT.

#include <QString>

class QTemporaryDir;
class TSFbo;

#include <opencv2/core.hpp>

namespace GpuTest {

// Reproducible random pixels over the type's full range (floats in [lo, hi]).
cv::Mat randomImage(int rows, int cols, int type, unsigned seed, double lo = 0.0, double hi = 1.0);

// The matrix as doubles in [0, 1] units: 8U / 255, 16U / 65535, floats as they are.
cv::Mat normalised(const cv::Mat& m);

// True when every element satisfies |a - e| <= absTol + relTol * |e| (per channel, after
// normalisation). On failure `message` names the worst element, and both images are
// written as <name>_actual / <name>_expected into KORVANE_TEST_OUTPUT (when set).
bool compareImages(const cv::Mat& actual, const cv::Mat& expected, double absTol, double relTol,
                   const QString& name, QString* message);

// Same layout with per-channel tolerances (e.g. the 11/11/10-bit format's red, green, blue).
bool compareImages(const cv::Mat& actual, const cv::Mat& expected, const cv::Scalar& absTol,
                   const cv::Scalar& relTol, const QString& name, QString* message);

// The test shader's pass, rgb' = (rgb - 0.5) * contrast + brightness + 0.5 with alpha kept, into
// a framebuffer of the input's size, format and scale; empty when it fails (render thread).
TSFbo brightnessContrast(const TSFbo& in, float brightness, float contrast = 1.0f);

// Fills `f` with one colour (render thread).
void clearTo(TSFbo& f, float r, float g, float b, float a);

// Writes `source` into `dir` as `name`; its path, or empty when it cannot be written.
QString writeShader(const QTemporaryDir& dir, const QString& name, const QByteArray& source);

} // namespace GpuTest

// QVERIFY2 around compareImages.
#define GPU_COMPARE_IMAGES(actual, expected, absTol, relTol, name)                                   \
    do {                                                                                            \
        QString gpuTestMessage_;                                                                    \
        QVERIFY2(GpuTest::compareImages(actual, expected, absTol, relTol, name, &gpuTestMessage_),  \
                 qPrintable(gpuTestMessage_));                                                      \
    } while (false)
