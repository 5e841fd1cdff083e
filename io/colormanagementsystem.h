#pragma once
// Thread: any; an instance is not locked, so each thread converts with its own copy.
// Owns: its working profile and its list of device profiles.
// Errors: file and host conversions throw std::runtime_error ("wrong direction", "empty
//         transform"); display conversions do nothing when no transform can be made.

#include "io/colorprofile.h"

#include <QList>

#include <OpenImageIO/imageio.h>
#include <opencv2/core.hpp>

class QImage;
class QWindow;

// The ICC profiles in use and conversions between them with Little CMS: files convert to
// and from the working profile, display conversions go from the working profile to the
// first device profile. Pixel formats are Little CMS descriptors (TYPE_RGBA_16, ...).
class ColorManagementSystem
{
public:
    enum DIRECTION {
        FileToWorkspace = 0,
        WorkspaceToFile = 1,
        HostToWorkspace = 2, // host-buffer conversion only; any other value there is to host
        WorkspaceToHost = 3,
    };
    enum FORMAT {
        RGB_FLOAT = 0, // three 32-bit floats per pixel
    };

    ColorManagementSystem() = default;

    // Replaces the working profile (sRGB for no data). True.
    bool setWorkingColorProfile(const unsigned char* data, int size);
    // Appends a device profile; an existing first entry stays the one in use. True.
    bool setDeviceColorProfile(const unsigned char* data, int size);
    // Replaces the device list by the profile of the monitor showing `window`; sRGB when
    // the desktop publishes none or it cannot be read. True.
    bool setDeviceColorProfile(QWindow* window);

    const ColorProfile& workingProfile() const;
    const QList<ColorProfile>& deviceProfiles() const;

    // The bytes of the spec's "ICCProfile" attribute (pointing into the spec). True when
    // there are some; otherwise null, 0 and false.
    static bool getImageColorProfile(const OIIO::ImageSpec& spec, unsigned char** data, unsigned int& size);
    // Replaces "ICCProfile" by `size` bytes from `*data`. True.
    static bool setImageColorProfile(OIIO::ImageSpec& spec, const unsigned char** data, unsigned int size);
    // The colour space signature of the spec's embedded profile (e.g. 'GRAY'); 0 when there
    // is none or it cannot be read.
    static unsigned int imageColorSpace(const OIIO::ImageSpec& spec);

    // Display conversions, in place, working to first device profile.
    void convert(cv::Mat& image);    // CV_8UC4, RGBA
    void convert(QImage& image);     // 32-bit formats, stored as BGRA
    void convert(void* data, FORMAT format, int count);
    bool convert(float* data, int count); // RGB floats

    // File conversion. Direction FileToWorkspace: from the spec's "ICCProfile" (sRGB when
    // absent) to the working profile; WorkspaceToFile: the reverse. An embedded profile that
    // cannot be read, or whose colour space does not fit the file side's pixel format, is
    // replaced by sRGB with a warning; when saving it is also removed from `spec`, so the
    // written file does not claim a profile its pixels are not in. `destination` is
    // allocated by the caller with the size of `source`.
    bool convert(const cv::Mat& source, cv::Mat& destination, OIIO::ImageSpec& spec, int inFormat, int outFormat,
                 DIRECTION direction, bool copyAlpha);
    // True when converting working-space samples of `format` (a Little CMS format) into a
    // file of `spec` in that same format would change no value: the file keeps the working
    // profile and its profile is usable as it is.
    bool writesUnchanged(const OIIO::ImageSpec& spec, int format) const;
    // Host-buffer conversion: HostToWorkspace from the given profile bytes (sRGB for none)
    // to the working profile, any other direction the reverse.
    bool convert(const cv::Mat& source, cv::Mat& destination, unsigned int inFormat, unsigned int outFormat,
                 const void* profileData, int profileSize, DIRECTION direction, bool copyAlpha);

private:
    ColorProfile m_workingProfile;
    QList<ColorProfile> m_deviceProfiles;
};
