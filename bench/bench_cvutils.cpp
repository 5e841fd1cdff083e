// The CPU helpers at 24 megapixels (6000 x 4000), each beside the bare OpenCV call doing the
// same work into a fresh matrix (as the helpers return one) in the same run (target: at most 1.2 times), and crop-and-rotate beside
// cv::rotate (a quarter turn) and cv::warpAffine plus the crop and resize (10 degrees).
// Usage: bench_cvutils [runs]

#include "gpu/cvutils.h"

#include <QElapsedTimer>
#include <QCoreApplication>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
int g_runs = 5;

double minMs(const std::function<void()>& f)
{
    std::vector<double> ms;
    for (int i = 0; i < g_runs; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        ms.push_back(t.nsecsElapsed() / 1e6);
    }
    return *std::min_element(ms.begin(), ms.end());
}

void row(const char* name, const std::function<void()>& ours, const std::function<void()>& bare, double target)
{
    const double a = minMs(ours), b = minMs(bare);
    std::printf("%-44s %9.1f ms %9.1f ms  ratio %.2f (target %.1f)\n", name, a, b, a / b, target);
    std::fflush(stdout);
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1)
        g_runs = std::max(1, std::atoi(argv[1]));
    const cv::Size size(6000, 4000);
    cv::Mat rgba16(size, CV_16UC4), rgba8(size, CV_8UC4), rgb8(size, CV_8UC3);
    cv::randu(rgba16, 0, 65535);
    cv::randu(rgba8, 0, 255);
    cv::randu(rgb8, 0, 255);
    cv::Mat out;
    std::printf("%-44s %12s %12s\n", "", "ours (min)", "bare (min)");
    row("convertTo8U, 16UC4", [&] { out = CvUtils::convertTo8U(rgba16); },
        [&] { out = cv::Mat(); rgba16.convertTo(out, CV_8UC4, 1.0 / 257.0); }, 1.2);
    row("convertTo16U, 8UC4", [&] { out = CvUtils::convertTo16U(rgba8); },
        [&] { out = cv::Mat(); rgba8.convertTo(out, CV_16UC4, 257.0); }, 1.2);
    row("convertTo32F, 16UC4", [&] { out = CvUtils::convertTo32F(rgba16); },
        [&] { out = cv::Mat(); rgba16.convertTo(out, CV_32FC4, 1.0 / 65535.0); }, 1.2);
    row("convertC3ToC4, 8UC3", [&] { out = CvUtils::convertC3ToC4(rgb8); },
        [&] { out = cv::Mat(); cv::cvtColor(rgb8, out, cv::COLOR_RGB2RGBA); }, 1.2);
    row("convertC4ToC3, 8UC4", [&] { out = CvUtils::convertC4ToC3(rgba8); },
        [&] { out = cv::Mat(); cv::cvtColor(rgba8, out, cv::COLOR_RGBA2RGB); }, 1.2);
    QImage image;
    row("matToQImage, 8UC4", [&] { image = CvUtils::matToQImage(rgba8); }, [&] {
        QImage bare(size.width, size.height, QImage::Format_ARGB32);
        cv::Mat view(size, CV_8UC4, bare.bits(), size_t(bare.bytesPerLine()));
        cv::cvtColor(rgba8, view, cv::COLOR_RGBA2BGRA);
    }, 1.2);
    const QImage argb = CvUtils::matToQImage(rgba8);
    row("qImageToMat, ARGB32", [&] { out = CvUtils::qImageToMat(argb); }, [&] {
        const cv::Mat view(size, CV_8UC4, const_cast<uchar*>(argb.constBits()), size_t(argb.bytesPerLine()));
        out = cv::Mat();
        cv::cvtColor(view, out, cv::COLOR_BGRA2RGBA);
    }, 1.2);
    const TSMat in(rgba16);
    TSMat turned;
    row("cropRotateRGBA, quarter turn", [&] { turned = CvUtils::cropRotateRGBA(in, 4000, 6000, 4000, 6000, 0.5f, 0, 0); },
        [&] { out = cv::Mat(); cv::rotate(rgba16, out, cv::ROTATE_90_CLOCKWISE); }, 1.2);
    row("cropRotateRGBA, 10 degrees, crop, resize",
        [&] { turned = CvUtils::cropRotateRGBA(in, 5000, 3000, 2500, 1500, -10.f / 180.f, 0, 0); }, [&] {
            const cv::Mat r = cv::getRotationMatrix2D(cv::Point2f(2999.5f, 1999.5f), 10.0, 1.0);
            cv::Mat warped;
            cv::warpAffine(rgba16, warped, r, size, cv::INTER_CUBIC, cv::BORDER_CONSTANT);
            out = cv::Mat();
            cv::resize(warped(cv::Rect(500, 500, 5000, 3000)), out, cv::Size(2500, 1500), 0, 0, cv::INTER_LINEAR);
        }, 1.2);
    return 0;
}
