#include "io/imagesaveoptions.h"

#include "io/colormanagementsystem.h"
#include "io/standardprofiles.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <stdexcept>

namespace {

struct OutputSpace
{
    const char* value;
    const char* resource;
    const char* oiioName; // null: "oiio:ColorSpace" is left alone
};

const OutputSpace kOutputSpaces[] = {
    {"ProPhoto RGB", ":/iccprofiles/ProPhoto.icc", "ProPhoto"},
    {"Adobe RGB(1998)", ":/iccprofiles/Adobe98.icc", "Adobe98"},
    {"Apple RGB", ":/iccprofiles/AppleRGB.icc", "AppleRGB"},
    {"Wide Gamut RGB", ":/iccprofiles/WideGamut.icc", "WideGamutRGB"},
    {"sRGB IEC61966-2.1", ":/iccprofiles/sRGB_IEC61966-2-1_black_scaled.icc", nullptr},
};

const OutputSpace* findSpace(const std::string& value)
{
    for (const OutputSpace& space : kOutputSpaces)
        if (value == space.value)
            return &space;
    return nullptr;
}

std::string valueOr(const ImageSaveOptions::Options& options, const std::string& key, const std::string& fallback)
{
    const auto it = options.find(key);
    return it == options.end() ? fallback : it->second;
}

int jpegQuality(const std::string& name)
{
    if (name == "High") return 80;
    if (name == "Normal") return 50;
    if (name == "Medium") return 25;
    if (name == "Low") return 10;
    return 100; // "Maximum" and anything else
}

bool isGrey(const OIIO::ImageSpec& spec)
{
    return spec.nchannels == 1 || spec.nchannels == 2;
}

// Files come back as they went in unless asked otherwise: "DEFAULT" keeps the source's
// sample size (8 bits stay 8, anything wider is written as 16), a grey source stays grey,
// and the alpha channel is written when asked ("TRUE") or when the source had one.
void applyDepthAndChannels(const std::string& depth, const std::string& alpha, OIIO::ImageSpec& spec)
{
    const bool sourceAlpha = spec.alpha_channel >= 0 || spec.nchannels == 2 || spec.nchannels == 4;
    const bool eightBit = depth == "DEFAULT" ? spec.format == OIIO::TypeDesc::UINT8 : depth == "8 bit";
    spec.set_format(eightBit ? OIIO::TypeDesc::UINT8 : OIIO::TypeDesc::UINT16);
    spec.nchannels = (isGrey(spec) ? 1 : 3) + (alpha == "TRUE" || sourceAlpha ? 1 : 0);
}

void applyJpeg(const ImageSaveOptions::Options& options, OIIO::ImageSpec& spec)
{
    const int quality = jpegQuality(ImageSaveOptions::required(options, "JPEG_QUALITY"));
    const std::string& coding = ImageSaveOptions::required(options, "JPEG_FORMAT");
    spec.set_format(OIIO::TypeDesc::UINT8);
    spec.nchannels = isGrey(spec) ? 1 : 3;
    // The writer takes its quality from "Compression" ("jpeg:<q>"); a source file's own
    // compression name there (e.g. "lzw") would make it ignore the quality altogether.
    spec.erase_attribute("compression");
    spec.attribute("Compression", "jpeg:" + std::to_string(quality));
    spec.erase_attribute("jpeg:progressive");
    if (coding == "Optimized")
        spec.attribute("OptimizeCoding", 1); // no writer control for this in OpenImageIO 2.4
    else if (coding == "Progressive")
        spec.attribute("jpeg:progressive", 1);
}

void applyTiff(const ImageSaveOptions::Options& options, OIIO::ImageSpec& spec)
{
    const std::string& compression = ImageSaveOptions::required(options, "TIFF_COMPRESSION");
    const std::string& depth = ImageSaveOptions::required(options, "TIFF_BITDEPTH");
    const std::string& alpha = ImageSaveOptions::required(options, "SAVE_ALPHA");
    const char* name = nullptr;
    if (compression == "ADOBE_DEFLATE") name = "deflate";
    else if (compression == "DEFAULT") name = "tiff_deflate";
    else if (compression == "NONE") name = "none";
    else if (compression == "LZW") name = "lzw";
    if (name) {
        spec.erase_attribute("compression");
        spec.attribute("Compression", name);
    }
    applyDepthAndChannels(depth, alpha, spec);
}

void applyPng(const ImageSaveOptions::Options& options, OIIO::ImageSpec& spec)
{
    const std::string& compression = ImageSaveOptions::required(options, "PNG_COMPRESSION");
    const std::string& interlace = ImageSaveOptions::required(options, "PNG_INTERLACE");
    (void)interlace; // read so a caller's incomplete map is caught; no writer attribute for it
    const std::string& depth = ImageSaveOptions::required(options, "PNG_BITDEPTH");
    const char* level = nullptr;
    if (compression == "Best Speed") level = "1";
    else if (compression == "Default Compression") level = "6";
    else if (compression == "Best Compression") level = "9";
    else if (compression == "NO Compression") level = "0";
    // A source's "compression" (e.g. "zip:9" from a TIFF) would override the level.
    spec.erase_attribute("compression");
    if (level)
        spec.attribute("png:compressionLevel", level);
    applyDepthAndChannels(depth, valueOr(options, "SAVE_ALPHA", "FALSE"), spec);
}

} // namespace

const std::string& ImageSaveOptions::required(const Options& options, const std::string& key)
{
    const auto it = options.find(key);
    if (it == options.end())
        throw std::out_of_range("invalid map<K, T> key");
    return it->second;
}

std::string ImageSaveOptions::profileResource(const std::string& colorSpace)
{
    const OutputSpace* space = findSpace(colorSpace);
    return space ? space->resource : std::string();
}

bool ImageSaveOptions::applyColorSpace(const Options& options, OIIO::ImageSpec& spec, std::string* error)
{
    const OutputSpace* space = findSpace(valueOr(options, "COLOR_SPACE", "DEFAULT"));
    if (!space)
        return true; // "DEFAULT" and anything else keep the source's profile
    const QByteArray bytes = StandardProfiles::lookup(QString::fromLatin1(space->resource));
    if (bytes.isEmpty()) {
        if (error)
            *error = std::string("Could not open the colour profile ") + space->resource;
        return false;
    }
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    ColorManagementSystem::setImageColorProfile(spec, &data, unsigned(bytes.size()));
    if (space->oiioName)
        spec.attribute("oiio:ColorSpace", space->oiioName);
    return true;
}

void ImageSaveOptions::applyFormat(const Options& options, OIIO::ImageSpec& spec)
{
    const std::string& format = required(options, "IMAGE_FORMAT");
    if (format == "JPEG")
        applyJpeg(options, spec);
    else if (format == "TIFF")
        applyTiff(options, spec);
    else if (format == "PNG")
        applyPng(options, spec);
}

void ImageSaveOptions::prepareForWrite(OIIO::ImageSpec& spec, int width, int height)
{
    spec.x = spec.y = spec.z = 0;
    spec.width = spec.full_width = width;
    spec.height = spec.full_height = height;
    spec.full_x = spec.full_y = spec.full_z = 0;
    spec.depth = spec.full_depth = 1;
    spec.tile_width = spec.tile_height = spec.tile_depth = 0;
    // These describe how the source file stored its pixels, not how this one will.
    for (const char* stale : {"oiio:BitsPerSample", "tiff:BitsPerSample", "tiff:RowsPerStrip", "tiff:Compression",
                              "tiff:PhotometricInterpretation", "tiff:PlanarConfiguration", "planarconfig",
                              "tiff:ColorSpace", "jpeg:ColorSpace", "tiff:UnassociatedAlpha", "oiio:UnassociatedAlpha"})
        spec.erase_attribute(stale);
    static const std::vector<std::string> names[] = {{"Y"}, {"Y", "A"}, {"R", "G", "B"}, {"R", "G", "B", "A"}};
    const int channels = std::clamp(spec.nchannels, 1, 4);
    const bool alpha = channels == 2 || channels == 4;
    spec.channelnames = names[channels - 1];
    spec.alpha_channel = alpha ? channels - 1 : -1;
    spec.z_channel = -1;
    if (alpha)
        spec.attribute("oiio:UnassociatedAlpha", 1); // our pixels are straight: store them as they are
}
