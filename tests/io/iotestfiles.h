#pragma once
// Thread: any.
// Owns: nothing; every function returns its bytes or writes the file it is given.
// Errors: writers return false when OpenImageIO or the file system refuses.

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include <OpenImageIO/imageio.h>
#include <lcms2.h>
#include <opencv2/core.hpp>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif


// Builders of the files and profiles the file-layer tests read. Everything is made here,
// with OpenImageIO, Little CMS or bytes written out by hand, so no sample file is needed.
namespace IoTestFiles {

using BlockColour = std::function<std::array<uint8_t, 4>(int blockX, int blockY)>;

// A baseline JPEG whose 8 x 8 blocks are each one flat colour (DC coefficients only, so
// the decoder reproduces the values exactly). `components` is 1, 3 or 4; with 4 and
// `adobeMarker` the file is CMYK as Adobe applications write it (APP14, no transform,
// ink values stored inverted). `icc`, when not empty, goes into APP2 markers.
QByteArray flatBlockJpeg(int width, int height, int components, const BlockColour& colour,
                         bool adobeMarker, const QByteArray& icc);

// A CMYK profile (device to Lab table) with the naive ink model R = (1-C)(1-K), ...
// interpreted as sRGB, so a test knows which colour each ink mix should give.
QByteArray naiveCmykProfile();
// A grey profile with a D50 white and the given gamma.
QByteArray greyProfile(double gamma);

// Writes `pixels` (rows x cols, 1 to 4 channels, 8 or 16 bit or 32-bit float) to `path`
// with the extra attributes of `spec` (its size and format fields are ignored).
bool writeImage(const QString& path, const cv::Mat& pixels, const OIIO::ImageSpec* attributes = nullptr,
                bool tiled = false);

bool writeBytes(const QString& path, const QByteArray& bytes);
QByteArray readBytes(const QString& path);

// What Little CMS itself gives for one pixel, with a transform made here (perceptual, no
// flags); an empty profile stands for sRGB.
template <typename T>
std::vector<T> predict(const QByteArray& from, unsigned inFormat, const QByteArray& to, unsigned outFormat,
                       const std::vector<T>& pixel, int outChannels)
{
    cmsHPROFILE a = from.isEmpty() ? cmsCreate_sRGBProfile() : cmsOpenProfileFromMem(from.constData(), from.size());
    cmsHPROFILE b = to.isEmpty() ? cmsCreate_sRGBProfile() : cmsOpenProfileFromMem(to.constData(), to.size());
    cmsHTRANSFORM t = cmsCreateTransform(a, inFormat, b, outFormat, INTENT_PERCEPTUAL, 0);
    std::vector<T> out(size_t(outChannels), T(0));
    cmsDoTransform(t, pixel.data(), out.data(), 1);
    cmsDeleteTransform(t);
    cmsCloseProfile(a);
    cmsCloseProfile(b);
    return out;
}

// OpenImageIO 2.4's PNG reader leaks its error text when libpng longjmps out of a short
// read (a damaged file); the stack then ends inside libstdc++, too short to suppress. Leak
// checking is paused while one of these lives.
struct PngLeakPause
{
#if defined(__SANITIZE_ADDRESS__)
    PngLeakPause() { __lsan_disable(); }
    ~PngLeakPause() { __lsan_enable(); }
#endif
};

} // namespace IoTestFiles
