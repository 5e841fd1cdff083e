#include "io/colormanagementsystem.h"
#include "io/iologging.h"

#include "io/x11displayprofile.h"

#include <QImage>

#include <lcms2.h>
#include <opencv2/core/utility.hpp>

#include <algorithm>
#include <vector>
#include <memory>
#include <stdexcept>

namespace {

struct TransformDeleter
{
    void operator()(void* t) const { cmsDeleteTransform(t); }
};
using Transform = std::unique_ptr<void, TransformDeleter>;

bool sameProfile(const ColorProfile& a, const ColorProfile& b)
{
    return a.size() == b.size() && (a.size() == 0 || std::equal(a.data(), a.data() + a.size(), b.data()));
}

// The profile colour space a pixel format's colour channels are in; 0 for any other.
unsigned int formatColorSpace(unsigned int format)
{
    switch (T_COLORSPACE(format)) {
    case PT_GRAY: return cmsSigGrayData;
    case PT_RGB: return cmsSigRgbData;
    case PT_CMYK: return cmsSigCmykData;
    default: return 0;
    }
}

// Little CMS turns a transform with 16-bit input into a sampled grid. Between two different
// RGB spaces that grid misses steep tone curves near black and clips nodes outside the
// destination gamut: sRGB to Adobe RGB came out up to 1200 levels off, Adobe RGB to sRGB
// up to 4500 (measured against its own double-precision result). Matrix-shaper pairs with
// 16-bit input are therefore evaluated exactly, stage by stage, which costs about ten times
// the time. 8-bit input keeps the fast path, whose error stays below a third of an input step.
//
// Between identical profiles only the pixel layout changes: Little CMS's null transform
// repacks without evaluating any curve, exact and several times faster than a pipeline
// that would merely round-trip the values. It checks no colour space, so pixels that do not
// fit the profile still go through the normal path, which refuses them.
cmsUInt32Number transformFlags(const ColorProfile& from, unsigned int inFormat, const ColorProfile& to,
                               unsigned int outFormat)
{
    if (sameProfile(from, to) && formatColorSpace(inFormat) == from.colorSpace()
        && formatColorSpace(outFormat) == to.colorSpace())
        return cmsFLAGS_NULLTRANSFORM;
    if (T_BYTES(inFormat) != 2)
        return 0;
    const bool matrixShaper = cmsIsMatrixShaper(from.profile()) && cmsIsMatrixShaper(to.profile());
    return matrixShaper ? cmsFLAGS_NOOPTIMIZE : 0;
}

Transform makeTransform(const ColorProfile& from, unsigned int inFormat, const ColorProfile& to, unsigned int outFormat)
{
    return Transform(cmsCreateTransform(from.profile(), inFormat, to.profile(), outFormat, INTENT_PERCEPTUAL,
                                        transformFlags(from, inFormat, to, outFormat)));
}

// Rows are independent and a transform may be shared between threads (Little CMS keeps
// its per-call state on the stack), so big images are split over the cores.
void transformRows(void* transform, const cv::Mat& source, cv::Mat& destination)
{
    const int rows = std::min(source.rows, destination.rows);
    const int cols = std::min(source.cols, destination.cols);
    cv::parallel_for_(cv::Range(0, rows), [&](const cv::Range& range) {
        for (int r = range.start; r < range.end; ++r)
            cmsDoTransform(transform, source.ptr(r), destination.ptr(r), cmsUInt32Number(cols));
    });
}

// Between identical profiles a conversion only moves samples from one layout to another.
// Plain interleaved layouts of the same sample size are moved here, row-parallel, several
// times faster than Little CMS's generic repacking (what its null transform does). False,
// touching nothing, for any other pair of layouts. Extra channels are left to the caller,
// as the null transform leaves them.
bool moveSamples(const cv::Mat& source, cv::Mat& destination, unsigned int inFormat, unsigned int outFormat)
{
    const auto plain = [](unsigned int f) {
        return !T_PLANAR(f) && !T_DOSWAP(f) && !T_SWAPFIRST(f) && !T_FLAVOR(f) && !T_ENDIAN16(f) && !T_FLOAT(f)
            && (T_BYTES(f) == 1 || T_BYTES(f) == 2);
    };
    const auto fits = [](const cv::Mat& m, unsigned int f) {
        return m.depth() == (T_BYTES(f) == 2 ? CV_16U : CV_8U) && m.channels() == int(T_CHANNELS(f) + T_EXTRA(f));
    };
    if (!plain(inFormat) || !plain(outFormat) || T_BYTES(inFormat) != T_BYTES(outFormat)
        || T_CHANNELS(inFormat) != T_CHANNELS(outFormat) || T_COLORSPACE(inFormat) != T_COLORSPACE(outFormat)
        || !fits(source, inFormat) || !fits(destination, outFormat))
        return false;
    if (source.data == destination.data && inFormat == outFormat)
        return true; // converted in place: the samples are where they belong
    std::vector<int> pairs;
    for (int c = 0; c < int(T_CHANNELS(inFormat)); ++c)
        pairs.insert(pairs.end(), {c, c});
    const int rows = std::min(source.rows, destination.rows);
    const int cols = std::min(source.cols, destination.cols);
    cv::parallel_for_(cv::Range(0, rows), [&](const cv::Range& range) {
        const cv::Mat in = source(cv::Range(range.start, range.end), cv::Range(0, cols));
        cv::Mat out = destination(cv::Range(range.start, range.end), cv::Range(0, cols));
        cv::mixChannels(&in, 1, &out, 1, pairs.data(), pairs.size() / 2);
    });
    return true;
}

// Converts the colour channels of `source` rows into `destination`; throws when Little CMS
// cannot build the transform.
void convertRows(const ColorProfile& from, unsigned int inFormat, const ColorProfile& to, unsigned int outFormat,
                 const cv::Mat& source, cv::Mat& destination)
{
    if (transformFlags(from, inFormat, to, outFormat) == cmsFLAGS_NULLTRANSFORM
        && moveSamples(source, destination, inFormat, outFormat))
        return;
    Transform t = makeTransform(from, inFormat, to, outFormat);
    if (!t)
        throw std::runtime_error("empty transform");
    transformRows(t.get(), source, destination);
}

// Writes the alpha of each destination pixel: the source alpha rescaled when the source
// has one, full opacity otherwise. Alpha is the extra channel after the colour channels.
template <typename Out>
void writeAlphaRow(const uchar* src, Out* dst, int cols, unsigned int inFormat, unsigned int outFormat)
{
    const int outStride = int(T_CHANNELS(outFormat) + T_EXTRA(outFormat));
    const int outAlpha = int(T_CHANNELS(outFormat));
    const bool outWide = sizeof(Out) == 2;
    const Out opaque = outWide ? Out(65535) : Out(255);
    if (T_EXTRA(inFormat) == 0) {
        for (int x = 0; x < cols; ++x)
            dst[x * outStride + outAlpha] = opaque;
        return;
    }
    const int inStride = int(T_CHANNELS(inFormat) + T_EXTRA(inFormat));
    const int inAlpha = int(T_CHANNELS(inFormat));
    if (T_BYTES(inFormat) == 2) {
        const auto* in = reinterpret_cast<const uint16_t*>(src);
        for (int x = 0; x < cols; ++x) {
            const uint16_t a = in[x * inStride + inAlpha];
            dst[x * outStride + outAlpha] = outWide ? Out(a) : Out((a + 128) / 257);
        }
    } else {
        for (int x = 0; x < cols; ++x) {
            const uint8_t a = src[x * inStride + inAlpha];
            dst[x * outStride + outAlpha] = outWide ? Out(a * 257) : Out(a);
        }
    }
}

bool hasUsableAlphaPair(unsigned int inFormat, unsigned int outFormat)
{
    const auto bytesOk = [](unsigned int f) { return T_BYTES(f) == 1 || T_BYTES(f) == 2; };
    return T_EXTRA(outFormat) == 1 && T_EXTRA(inFormat) <= 1 && bytesOk(inFormat) && bytesOk(outFormat)
        && !T_PLANAR(inFormat) && !T_PLANAR(outFormat) && !T_SWAPFIRST(outFormat) && !T_DOSWAP(outFormat);
}

void copyAlphaChannel(const cv::Mat& source, cv::Mat& destination, unsigned int inFormat, unsigned int outFormat)
{
    if (!hasUsableAlphaPair(inFormat, outFormat) || (source.data == destination.data && inFormat == outFormat))
        return;
    const int rows = std::min(source.rows, destination.rows);
    const int cols = std::min(source.cols, destination.cols);
    cv::parallel_for_(cv::Range(0, rows), [&](const cv::Range& range) {
        for (int r = range.start; r < range.end; ++r) {
            if (T_BYTES(outFormat) == 2)
                writeAlphaRow(source.ptr(r), destination.ptr<uint16_t>(r), cols, inFormat, outFormat);
            else
                writeAlphaRow(source.ptr(r), destination.ptr<uint8_t>(r), cols, inFormat, outFormat);
        }
    });
}

} // namespace

bool ColorManagementSystem::setWorkingColorProfile(const unsigned char* data, int size)
{
    m_workingProfile.open(data, size);
    return true;
}

bool ColorManagementSystem::setDeviceColorProfile(const unsigned char* data, int size)
{
    m_deviceProfiles.append(ColorProfile(data, size));
    return true;
}

bool ColorManagementSystem::setDeviceColorProfile(QWindow* window)
{
    m_deviceProfiles.clear();
    const QByteArray bytes = X11DisplayProfile::forWindow(window);
    m_deviceProfiles.append(ColorProfile(reinterpret_cast<const unsigned char*>(bytes.constData()), bytes.size()));
    return true;
}

const ColorProfile& ColorManagementSystem::workingProfile() const
{
    return m_workingProfile;
}

const QList<ColorProfile>& ColorManagementSystem::deviceProfiles() const
{
    return m_deviceProfiles;
}

bool ColorManagementSystem::getImageColorProfile(const OIIO::ImageSpec& spec, unsigned char** data, unsigned int& size)
{
    *data = nullptr;
    size = 0;
    const OIIO::ParamValue* attribute = spec.find_attribute("ICCProfile");
    if (!attribute)
        return false;
    *data = static_cast<unsigned char*>(const_cast<void*>(attribute->data()));
    size = unsigned(attribute->type().size());
    return *data != nullptr && size != 0;
}

bool ColorManagementSystem::setImageColorProfile(OIIO::ImageSpec& spec, const unsigned char** data, unsigned int size)
{
    spec.erase_attribute("ICCProfile");
    if (data && *data && size > 0)
        spec.attribute("ICCProfile", OIIO::TypeDesc(OIIO::TypeDesc::UINT8, int(size)), *data);
    return true;
}

unsigned int ColorManagementSystem::imageColorSpace(const OIIO::ImageSpec& spec)
{
    unsigned char* data = nullptr;
    unsigned int size = 0;
    if (!getImageColorProfile(spec, &data, size))
        return 0;
    cmsHPROFILE profile = cmsOpenProfileFromMem(data, size);
    if (!profile)
        return 0;
    const unsigned int space = cmsGetColorSpace(profile);
    cmsCloseProfile(profile);
    return space;
}

void ColorManagementSystem::convert(cv::Mat& image)
{
    if (m_deviceProfiles.isEmpty() || image.type() != CV_8UC4)
        return;
    Transform t = makeTransform(m_workingProfile, TYPE_RGBA_8, m_deviceProfiles.first(), TYPE_RGBA_8);
    if (t)
        transformRows(t.get(), image, image);
}

void ColorManagementSystem::convert(QImage& image)
{
    if (m_deviceProfiles.isEmpty() || image.depth() != 32)
        return;
    Transform t = makeTransform(m_workingProfile, TYPE_BGRA_8, m_deviceProfiles.first(), TYPE_BGRA_8);
    if (!t)
        return;
    for (int y = 0; y < image.height(); ++y) {
        uchar* line = image.scanLine(y);
        cmsDoTransform(t.get(), line, line, cmsUInt32Number(image.width()));
    }
}

void ColorManagementSystem::convert(void* data, FORMAT format, int count)
{
    if (m_deviceProfiles.isEmpty() || format != RGB_FLOAT)
        return;
    convert(static_cast<float*>(data), count);
}

bool ColorManagementSystem::convert(float* data, int count)
{
    if (m_deviceProfiles.isEmpty() || !data || count <= 0)
        return true;
    Transform t = makeTransform(m_workingProfile, TYPE_RGB_FLT, m_deviceProfiles.first(), TYPE_RGB_FLT);
    if (!t)
        return true;
    constexpr int kChunk = 32768;
    for (int done = 0; done < count; done += kChunk) {
        float* chunk = data + std::size_t(done) * 3;
        cmsDoTransform(t.get(), chunk, chunk, cmsUInt32Number(std::min(kChunk, count - done)));
    }
    return true;
}

namespace {
// The profile of a file's pixels in `fileFormat`: its embedded one, else sRGB; `problem` says
// why an embedded one was set aside (unreadable, or another colour space than the channels).
ColorProfile embeddedProfile(const OIIO::ImageSpec& spec, unsigned int fileFormat, const char** problem)
{
    unsigned char* data = nullptr;
    unsigned int size = 0;
    ColorManagementSystem::getImageColorProfile(spec, &data, size);
    qCDebug(lcIo) << "*************************** file iccProfileSize:**********************" << size;
    *problem = nullptr;
    ColorProfile profile;
    if (!profile.open(data, int(size))) {
        *problem = "The embedded colour profile cannot be read, using sRGB";
    } else if (profile.colorSpace() != formatColorSpace(fileFormat)) {
        *problem = "The embedded colour profile does not fit the image's channels, using sRGB";
        profile = ColorProfile();
    }
    return profile;
}
} // namespace

bool ColorManagementSystem::writesUnchanged(const OIIO::ImageSpec& spec, int format) const
{
    const char* problem = nullptr;
    const ColorProfile fileProfile = embeddedProfile(spec, unsigned(format), &problem);
    return !problem && transformFlags(m_workingProfile, unsigned(format), fileProfile, unsigned(format)) == cmsFLAGS_NULLTRANSFORM;
}

bool ColorManagementSystem::convert(const cv::Mat& source, cv::Mat& destination, OIIO::ImageSpec& spec, int inFormat,
                                    int outFormat, DIRECTION direction, bool copyAlpha)
{
    if (direction != FileToWorkspace && direction != WorkspaceToFile)
        throw std::runtime_error("wrong direction");
    const unsigned int fileFormat = unsigned(direction == FileToWorkspace ? inFormat : outFormat);
    const char* problem = nullptr;
    const ColorProfile fileProfile = embeddedProfile(spec, fileFormat, &problem);
    if (problem) {
        qCWarning(lcIo) << problem;
        if (direction == WorkspaceToFile)
            spec.erase_attribute("ICCProfile");
    }

    if (direction == FileToWorkspace)
        convertRows(fileProfile, unsigned(inFormat), m_workingProfile, unsigned(outFormat), source, destination);
    else
        convertRows(m_workingProfile, unsigned(inFormat), fileProfile, unsigned(outFormat), source, destination);
    if (copyAlpha)
        copyAlphaChannel(source, destination, unsigned(inFormat), unsigned(outFormat));
    return true;
}

bool ColorManagementSystem::convert(const cv::Mat& source, cv::Mat& destination, unsigned int inFormat,
                                    unsigned int outFormat, const void* profileData, int profileSize,
                                    DIRECTION direction, bool copyAlpha)
{
    const ColorProfile hostProfile(static_cast<const unsigned char*>(profileData), profileSize);
    if (direction == HostToWorkspace)
        convertRows(hostProfile, inFormat, m_workingProfile, outFormat, source, destination);
    else
        convertRows(m_workingProfile, inFormat, hostProfile, outFormat, source, destination);
    if (copyAlpha)
        copyAlphaChannel(source, destination, inFormat, outFormat);
    return true;
}
