// ICC profiles from anywhere (embedded in files, published by the desktop): any bytes open
// as a usable profile (sRGB when unreadable) and convert a few pixels into the working
// space, or refuse with the documented "empty transform", without crashing.

#include "fuzzsupport.h"
#include "io/colormanagementsystem.h"
#include "io/colorprofile.h"

#include <OpenImageIO/tiffutils.h>
#include <lcms2.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace {

// A few pixels of each layout a file can bring, with their Little CMS formats.
struct Sample
{
    cv::Mat pixels;
    int format;
};

const std::vector<Sample>& samples()
{
    static const std::vector<Sample> list = [] {
        // Grey and RGB, 8 and 16 bits, with and without alpha: each takes its own path
        // through the transform and the alpha copy.
        cv::Mat grey8(2, 3, CV_8UC1), rgba8(2, 3, CV_8UC4), rgb16(2, 3, CV_16UC3);
        cv::randu(grey8, 0, 256);
        cv::randu(rgba8, 0, 256);
        cv::randu(rgb16, 0, 65536);
        return std::vector<Sample>{{grey8, TYPE_GRAY_8}, {rgba8, TYPE_RGBA_8}, {rgb16, TYPE_RGB_16}};
    }();
    return list;
}

bool isDocumentedRefusal(const std::runtime_error& e)
{
    return std::string(e.what()) == "empty transform";
}

// Loading: the profile embedded in a file converts the file's pixels into the working space.
void convertAsEmbedded(ColorManagementSystem& cms, const uint8_t* data, unsigned size)
{
    OIIO::ImageSpec spec(3, 2, 3, OIIO::TypeDesc::UINT8);
    const unsigned char* bytes = data;
    ColorManagementSystem::setImageColorProfile(spec, &bytes, size);
    for (const Sample& s : samples()) {
        cv::Mat out(s.pixels.rows, s.pixels.cols, CV_16UC4, cv::Scalar::all(0));
        try {
            cms.convert(s.pixels, out, spec, s.format, TYPE_RGBA_16, ColorManagementSystem::FileToWorkspace, true);
        } catch (const std::runtime_error& e) {
            if (!isDocumentedRefusal(e))
                throw;
            continue;
        }
        // Colour-only layouts come out opaque whatever the profile did to the colours.
        if (T_EXTRA(s.format) == 0) {
            for (int r = 0; r < out.rows; ++r)
                for (int c = 0; c < out.cols; ++c)
                    if (out.at<cv::Vec4w>(r, c)[3] != 65535)
                        FuzzSupport::fail("alpha of an opaque layout is not 65535 after conversion");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::silenceLibraryOutput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > size_t(INT_MAX))
        return 0;
    const ColorProfile profile(data, int(size));
    if (!profile.profile())
        FuzzSupport::fail("a profile without a handle");
    // Copies re-open from the bytes and must stand on their own.
    ColorProfile copy(profile);
    copy = profile;

    // Building the sRGB working profile costs more than the rest of an input: build it once.
    static ColorManagementSystem cms;
    convertAsEmbedded(cms, data, unsigned(size));

    // The same bytes as a host buffer's profile and as the display's.
    const Sample& rgb16 = samples()[2];
    cv::Mat out(rgb16.pixels.rows, rgb16.pixels.cols, CV_16UC4);
    try {
        cms.convert(rgb16.pixels, out, TYPE_RGB_16, TYPE_RGBA_16, data, int(size),
                    ColorManagementSystem::HostToWorkspace, true);
    } catch (const std::runtime_error& e) {
        if (!isDocumentedRefusal(e))
            throw;
    }
    // The display's profile: a copy of the system, so device profiles do not pile up.
    ColorManagementSystem display = cms;
    display.setDeviceColorProfile(data, int(size));
    cv::Mat pixels = samples()[1].pixels.clone();
    display.convert(pixels);

    // What OpenImageIO does with a profile embedded in a file it opens (through the
    // library's layout check).
    OIIO::ImageSpec spec;
    std::string error;
    OIIO::decode_icc_profile(OIIO::cspan<uint8_t>(data, OIIO::oiio_span_size_type(size)), spec, error);
    return 0;
}
