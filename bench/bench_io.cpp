// File layer benchmark: load and save of a 6000 x 4000 16-bit TIFF and an 8-bit JPEG, and
// the colour conversion alone. Prints min and median of several runs; never fails on timing,
// only when the pixels it produced are wrong.

#include "io/colormanagementsystem.h"
#include "io/imageiomanager.h"
#include "io/standardprofiles.h"
#include "io/korvane.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <lcms2.h>
#include <OpenImageIO/imageio.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr int kRuns = 5;

struct Timing
{
    double min = 0;
    double median = 0;
};

Timing measure(const std::function<bool()>& run, bool* ok)
{
    std::vector<double> ms;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer timer;
        timer.start();
        *ok = run() && *ok;
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms.front(), ms[ms.size() / 2]};
}

void printRow(const char* name, const Timing& t)
{
    const double mpix = double(kWidth) * kHeight / 1e6;
    std::printf("%-44s %10.1f %10.1f %10.1f\n", name, t.min, t.median, mpix / (t.median / 1000.0));
}

cv::Mat gradient(int depth)
{
    cv::Mat m(kHeight, kWidth, CV_MAKETYPE(depth, 3));
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const double u = double(x) / kWidth, v = double(y) / kHeight;
            const cv::Vec3d c(u, v, 0.5 * (u + v));
            if (depth == CV_16U)
                m.at<cv::Vec3w>(y, x) = cv::Vec3w(ushort(c[0] * 65535), ushort(c[1] * 65535), ushort(c[2] * 65535));
            else
                m.at<cv::Vec3b>(y, x) = cv::Vec3b(uchar(c[0] * 255), uchar(c[1] * 255), uchar(c[2] * 255));
        }
    return m;
}

bool writeSource(const std::string& path, const cv::Mat& m)
{
    const OIIO::TypeDesc type = m.depth() == CV_16U ? OIIO::TypeDesc::UINT16 : OIIO::TypeDesc::UINT8;
    OIIO::ImageSpec spec(m.cols, m.rows, 3, type);
    auto out = OIIO::ImageOutput::create(path);
    return out && out->open(path, spec) && out->write_image(type, m.data) && out->close();
}


} // namespace

int main(int argc, char** argv)
{
    Korvane::takeVerboseFlag(argc, argv);
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    ColorManagementSystem cms;
    bool ok = true;

    const cv::Mat source16 = gradient(CV_16U);
    const cv::Mat source8 = gradient(CV_8U);
    const std::string tiff = dir.filePath("source.tif").toStdString();
    const std::string jpeg = dir.filePath("source.jpg").toStdString();
    ok = writeSource(tiff, source16) && writeSource(jpeg, source8);

    std::printf("%d x %d, %d runs\n", kWidth, kHeight, kRuns);
    std::printf("%-44s %10s %10s %10s\n", "case", "min ms", "median ms", "Mpix/s");

    cv::Mat working;
    Ostrel::FileInfo info;
    printRow("load 16-bit TIFF", measure([&] { return ImageIOManager::loadFile(tiff, working, info, cms); }, &ok));
    // The TIFF is lossless and sRGB: the working image must hold the source within a level.
    {
        cv::Mat rgb;
        cv::cvtColor(working, rgb, cv::COLOR_RGBA2RGB);
        const double worst = cv::norm(rgb, source16, cv::NORM_INF);
        if (worst > 1) {
            std::printf("ERROR: loaded TIFF differs from its source by %g\n", worst);
            ok = false;
        }
    }
    ImageIOManager::Options tiffOptions{{"COLOR_SPACE", "DEFAULT"}, {"IMAGE_FORMAT", "TIFF"},
                                        {"TIFF_COMPRESSION", "NONE"},  {"TIFF_BITDEPTH", "16 bit"},
                                        {"SAVE_ALPHA", "FALSE"},       {"FILE_URL", "out.tif"}};
    const std::string tiffOut = dir.filePath("out.tif").toStdString();
    printRow("save 16-bit TIFF (no compression)",
             measure([&] { return ImageIOManager::saveFile(tiffOut, working, info, cms, tiffOptions); }, &ok));
    tiffOptions["TIFF_COMPRESSION"] = "LZW";
    printRow("save 16-bit TIFF (LZW)",
             measure([&] { return ImageIOManager::saveFile(tiffOut, working, info, cms, tiffOptions); }, &ok));

    printRow("load 8-bit JPEG", measure([&] { return ImageIOManager::loadFile(jpeg, working, info, cms); }, &ok));
    const ImageIOManager::Options jpegOptions{{"COLOR_SPACE", "DEFAULT"}, {"IMAGE_FORMAT", "JPEG"},
                                              {"JPEG_QUALITY", "High"},   {"JPEG_FORMAT", "Standard"},
                                              {"FILE_URL", "out.jpg"}};
    const std::string jpegOut = dir.filePath("out.jpg").toStdString();
    printRow("save 8-bit JPEG (quality 80)",
             measure([&] { return ImageIOManager::saveFile(jpegOut, working, info, cms, jpegOptions); }, &ok));

    // The conversion alone: file to working space, 16-bit RGB to 16-bit RGBA.
    cv::Mat converted(kHeight, kWidth, CV_16UC4);
    OIIO::ImageSpec plain;
    printRow("convert sRGB file -> sRGB working", measure([&] {
                 return cms.convert(source16, converted, plain, TYPE_RGB_16, TYPE_RGBA_16,
                                    ColorManagementSystem::FileToWorkspace, true);
             }, &ok));
    const QByteArray adobe = StandardProfiles::build("Adobe98.icc");
    OIIO::ImageSpec adobeSpec;
    adobeSpec.attribute("ICCProfile", OIIO::TypeDesc(OIIO::TypeDesc::UINT8, adobe.size()), adobe.constData());
    printRow("convert Adobe RGB file -> sRGB working", measure([&] {
                 return cms.convert(source16, converted, adobeSpec, TYPE_RGB_16, TYPE_RGBA_16,
                                    ColorManagementSystem::FileToWorkspace, true);
             }, &ok));
    // Working (sRGB, inside Adobe RGB) to file and back must return the working pixels.
    cv::Mat working16(kHeight, kWidth, CV_16UC4), inFile(kHeight, kWidth, CV_16UC4), back(kHeight, kWidth, CV_16UC4);
    cv::cvtColor(source16, working16, cv::COLOR_RGB2RGBA);
    printRow("convert sRGB working -> Adobe RGB file", measure([&] {
                 return cms.convert(working16, inFile, adobeSpec, TYPE_RGBA_16, TYPE_RGBA_16,
                                    ColorManagementSystem::WorkspaceToFile, true);
             }, &ok));
    cms.convert(inFile, back, adobeSpec, TYPE_RGBA_16, TYPE_RGBA_16, ColorManagementSystem::FileToWorkspace, true);
    {
        cv::Mat difference;
        cv::absdiff(back, working16, difference);
        double worst = 0;
        cv::minMaxLoc(difference.reshape(1), nullptr, &worst);
        // Half a stored level can move a dark channel beside bright ones by ~16 levels.
        if (worst > 16) {
            std::printf("ERROR: Adobe RGB round trip differs by %g\n", worst);
            ok = false;
        }
    }

    // The same files through libvips (load and save in one process), when it is installed.
    const QString vips = QStandardPaths::findExecutable(QStringLiteral("vips"));
    if (!vips.isEmpty()) {
        auto vipsCopy = [&](const std::string& from, const QString& to) {
            return QProcess::execute(vips, {QStringLiteral("copy"), QString::fromStdString(from), to}) == 0;
        };
        bool vipsOk = true;
        printRow("vips copy 16-bit TIFF (load + save)",
                 measure([&] { return vipsCopy(tiff, dir.filePath("vips.tif")); }, &vipsOk));
        printRow("vips copy 8-bit JPEG (load + save, Q 80)",
                 measure([&] { return vipsCopy(jpeg, dir.filePath("vips.jpg[Q=80]")); }, &vipsOk));
        if (!vipsOk)
            std::printf("vips copy failed\n");
    } else {
        std::printf("vips not installed: no comparison (apt-get install libvips-tools)\n");
    }

    std::printf(ok ? "pixels checked: ok\n" : "pixels checked: FAILED\n");
    return ok ? 0 : 1;
}
