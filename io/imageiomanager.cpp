#include "io/imageiomanager.h"
#include "io/iologging.h"

#include "io/atomicfilewriter.h"
#include "io/hostplanes.h"
#include "io/imageorientation.h"
#include "io/imagesaveoptions.h"
#include "io/pngfilecheck.h"

#include <QMutex>
#include <QMutexLocker>

#include <OpenImageIO/filesystem.h>
#include <lcms2.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <atomic>
#include <memory>
#include <stdexcept>

namespace {

OIIO::ImageCache* g_oiioCache_p = nullptr;
int g_count = 0;
QMutex g_cacheMutex;
std::atomic<qint64> g_maxImageBytes{qint64(1) << 30};

// Messages about files are warnings of their own category, and go to the caller when it asked.
// A caller that asks for the error reports it to the user: the log then only keeps it at debug
// level, so the user reads each failure once.
void report(QString* error, const std::string& message)
{
    if (error) {
        *error = QString::fromStdString(message).trimmed();
        qCDebug(lcIo).noquote() << *error;
    } else {
        qCWarning(lcIo).noquote() << QString::fromStdString(message).trimmed();
    }
}

// The reader for `path`, or null with the reason in `problem`. Damaged PNG files are refused
// before their reader runs (see PngFileCheck); `extent` says how much of one the caller reads.
std::unique_ptr<OIIO::ImageInput> openInput(const std::string& path, std::string& problem,
                                            PngFileCheck::Extent extent = PngFileCheck::Extent::WholeFile)
{
    problem = PngFileCheck::problem(path, extent);
    if (!problem.empty())
        return nullptr;
    // Straight alpha: the engine never works on premultiplied pixels.
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    std::unique_ptr<OIIO::ImageInput> in = OIIO::ImageInput::open(path, &config);
    if (!in)
        problem = OIIO::geterror();
    return in;
}

// Why the spec's image cannot be loaded, or empty when it can. The size check comes before
// any allocation: headers are cheap to forge.
std::string sizeRefusal(const OIIO::ImageSpec& spec)
{
    if (spec.width < 1 || spec.height < 1 || spec.depth > 1)
        return "unsupported image size";
    const qint64 bytes = qint64(spec.width) * qint64(spec.height) * 8;
    const qint64 limit = ImageIOManager::maxImageBytes();
    if (bytes > limit)
        return "the image is too large: " + std::to_string(spec.width) + " x " + std::to_string(spec.height)
            + " pixels need " + std::to_string(bytes >> 20) + " MiB, the limit is " + std::to_string(limit >> 20)
            + " MiB";
    return {};
}

bool isEightBit(const OIIO::ImageSpec& spec)
{
    if (spec.channelformats.empty())
        return spec.format.basetype == OIIO::TypeDesc::UINT8;
    for (const OIIO::TypeDesc& format : spec.channelformats)
        if (format.basetype != OIIO::TypeDesc::UINT8)
            return false;
    return true;
}

// The file's pixels as the transform's input: its Little CMS format, and a matrix in that
// format. Grey stays grey when the file carries a grey profile; otherwise it is repeated
// into RGB, since the profile (or sRGB) then expects three channels.
struct ConversionSource
{
    cv::Mat pixels;
    unsigned int format = 0;
};

ConversionSource conversionSource(const cv::Mat& displayed, const OIIO::ImageSpec& spec)
{
    const bool wide = displayed.depth() == CV_16U;
    const bool greyProfile = ColorManagementSystem::imageColorSpace(spec) == cmsSigGrayData;
    ConversionSource source;
    switch (displayed.channels()) {
    case 1:
        if (greyProfile) {
            source.pixels = displayed;
            source.format = wide ? TYPE_GRAY_16 : TYPE_GRAY_8;
        } else {
            cv::merge(std::vector<cv::Mat>{displayed, displayed, displayed}, source.pixels);
            source.format = wide ? TYPE_RGB_16 : TYPE_RGB_8;
        }
        break;
    case 2:
        if (greyProfile) {
            source.pixels = displayed;
            source.format = wide ? TYPE_GRAYA_16 : TYPE_GRAYA_8;
        } else {
            source.pixels.create(displayed.size(), CV_MAKETYPE(displayed.depth(), 4));
            const int fromTo[] = {0, 0, 0, 1, 0, 2, 1, 3};
            cv::mixChannels(&displayed, 1, &source.pixels, 1, fromTo, 4);
            source.format = wide ? TYPE_RGBA_16 : TYPE_RGBA_8;
        }
        break;
    case 3:
        source.pixels = displayed;
        source.format = wide ? TYPE_RGB_16 : TYPE_RGB_8;
        break;
    default:
        source.pixels = displayed;
        source.format = wide ? TYPE_RGBA_16 : TYPE_RGBA_8;
        break;
    }
    return source;
}

// Reads the 16-bit RGB or RGBA samples of a scanline file into `out` (CV_16UC4, opaque
// where the file has no alpha), in bands of whole strips: a band ending inside a compressed
// strip would decode it twice, and a band's alpha is filled while its rows are in cache.
bool readRgba16(OIIO::ImageInput& in, cv::Mat& out)
{
    const OIIO::ImageSpec& spec = in.spec();
    out.create(spec.height, spec.width, CV_16UC4);
    const int strip = std::clamp(spec.get_int_attribute("tiff:RowsPerStrip", 64), 1, spec.height);
    const int band = std::max(1, 64 / strip) * strip;
    const cv::Mat opaque = spec.nchannels == 3
        ? cv::Mat(std::min(band, spec.height), spec.width, CV_16UC1, cv::Scalar(65535)) : cv::Mat();
    for (int y = 0; y < spec.height; y += band) {
        const int end = std::min(spec.height, y + band);
        if (!in.read_scanlines(0, 0, spec.y + y, spec.y + end, 0, 0, spec.nchannels, OIIO::TypeDesc::UINT16,
                               out.ptr(y), 4 * sizeof(uint16_t), OIIO::stride_t(out.step))
            || in.has_error())
            return false;
        if (spec.nchannels == 3) {
            const int fromTo[] = {0, 3};
            const cv::Mat alpha = opaque.rowRange(0, end - y);
            cv::Mat rows = out.rowRange(y, end);
            cv::mixChannels(&alpha, 1, &rows, 1, fromTo, 1);
        }
    }
    return true;
}

// Reads the samples as the file stores them, 8 or 16 bits per channel, into `raw`.
bool readAsStored(OIIO::ImageInput& in, bool eightBit, cv::Mat& raw)
{
    const OIIO::ImageSpec& spec = in.spec();
    raw.create(spec.height, spec.width, CV_MAKETYPE(eightBit ? CV_8U : CV_16U, spec.nchannels));
    const OIIO::TypeDesc readType = eightBit ? OIIO::TypeDesc::UINT8 : OIIO::TypeDesc::UINT16;
    // Samples already of that type are read as they are: OpenImageIO's converting read
    // allocates a 64 MB scratch buffer whatever the size of the image.
    const bool native = spec.format == readType && spec.channelformats.empty();
    // A truncated JPEG reads "successfully" as grey with an error pending: refuse it.
    const OIIO::TypeDesc requested = native ? OIIO::TypeDesc::UNKNOWN : readType;
    return in.read_image(0, 0, 0, spec.nchannels, requested, raw.data) && !in.has_error();
}

bool loadImpl(const std::string& path, cv::Mat& out, Ostrel::FileInfo& info, ColorManagementSystem& cms,
              QString* error)
{
    std::string problem;
    std::unique_ptr<OIIO::ImageInput> in = openInput(path, problem);
    if (!in) {
        report(error, "cannot open " + path + ": " + problem);
        return false;
    }
    info = Ostrel::FileInfo(in->spec());
    const OIIO::ImageSpec& spec = in->spec();
    const int orientation = info.orientation();
    const int channels = spec.nchannels;
    if (channels < 1 || channels > 4)
        throw std::runtime_error("wrong channels");
    const std::string refusal = sizeRefusal(spec);
    if (!refusal.empty()) {
        report(error, "cannot read " + path + ": " + refusal);
        return false;
    }

    cv::Mat raw;
    const bool eightBit = isEightBit(spec);
    // Upright 16-bit colour in rows needs no image of its own: read straight into the result
    // and converted there (the fresh pages of one more image cost about as much as decoding).
    const bool direct = !eightBit && orientation == 1 && (channels == 3 || channels == 4) && spec.tile_width == 0;
    try {
        if (!(direct ? readRgba16(*in, out) : readAsStored(*in, eightBit, raw))) {
            report(error, "cannot read " + path + ": " + in->geterror());
            return false;
        }
    } catch (const std::exception& e) { // allocation of an absurd size
        report(error, "cannot read " + path + ": " + e.what());
        return false;
    }

    try {
        if (direct) {
            // Little CMS converts in place between layouts of one pixel size.
            cms.convert(out, out, info.spec(), TYPE_RGBA_16, TYPE_RGBA_16, ColorManagementSystem::FileToWorkspace, true);
        } else {
            cv::Mat displayed;
            ImageOrientation::toDisplayed(raw, displayed, orientation);
            raw.release();
            const ConversionSource source = conversionSource(displayed, info.spec());
            out.create(displayed.rows, displayed.cols, CV_16UC4);
            cms.convert(source.pixels, out, info.spec(), int(source.format), TYPE_RGBA_16,
                        ColorManagementSystem::FileToWorkspace, true);
        }
    } catch (const std::exception& e) {
        report(error, "cannot convert the colours of " + path + ": " + e.what());
        return false;
    }

    if (!in->close()) {
        report(error, "cannot read " + path + ": " + in->geterror());
        return false;
    }
    return true;
}

int sourceFormat(int type)
{
    switch (type) {
    case CV_8UC3: return TYPE_RGB_8;
    case CV_16UC3: return TYPE_RGB_16;
    case CV_8UC4: return TYPE_RGBA_8;
    default: return TYPE_RGBA_16;
    }
}

unsigned int fileFormat(int channels, bool wide)
{
    switch (channels) {
    case 1: return wide ? TYPE_GRAY_16 : TYPE_GRAY_8;
    case 2: return wide ? TYPE_GRAYA_16 : TYPE_GRAYA_8;
    case 3: return wide ? TYPE_RGB_16 : TYPE_RGB_8;
    default: return wide ? TYPE_RGBA_16 : TYPE_RGBA_8;
    }
}

// RGB(A) to grey (and alpha); equal channels stay exactly what they were.
cv::Mat lumaOf(const cv::Mat& rgb)
{
    cv::Mat grey;
    cv::cvtColor(rgb, grey, rgb.channels() == 4 ? cv::COLOR_RGBA2GRAY : cv::COLOR_RGB2GRAY);
    if (rgb.channels() != 4)
        return grey;
    cv::Mat alpha;
    cv::extractChannel(rgb, alpha, 3);
    cv::Mat out;
    cv::merge(std::vector<cv::Mat>{grey, alpha}, out);
    return out;
}

struct ProgressBridge
{
    const ImageIOManager::Progress* progress = nullptr;
    bool cancelled = false;
};

// OpenImageIO asks whether to stop: true aborts the write.
bool progressThunk(void* opaque, float done)
{
    auto* bridge = static_cast<ProgressBridge*>(opaque);
    if (bridge->progress && *bridge->progress && !(*bridge->progress)(done))
        bridge->cancelled = true;
    return bridge->cancelled;
}

// Writes `pixels` with `spec` into a temporary file that replaces `path` once complete;
// channels of `pixels` beyond the spec's are skipped.
bool writeImage(const std::string& path, const cv::Mat& pixels, const OIIO::ImageSpec& spec,
                const ImageIOManager::Progress& progress, std::string* failure)
{
    AtomicFileWriter file(QString::fromStdString(path));
    if (!file.isValid()) {
        *failure = file.errorString().toStdString();
        return false;
    }
    std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(path);
    if (!out) {
        *failure = OIIO::geterror();
        return false;
    }
    const std::string temporary = file.temporaryPath().toStdString();
    // PNG and JPEG are encoded in memory and written by us: their libraries do not report a
    // full disk (PNG) or end the process on one (JPEG). TIFF goes to the file directly, since
    // through a memory stream it loses its Exif directory, and libtiff reports write errors.
    std::vector<unsigned char> encoded;
    OIIO::Filesystem::IOVecOutput memory(encoded);
    const bool inMemory = out->supports("ioproxy") && std::string(out->format_name()) != "tiff";
    if (inMemory)
        out->set_ioproxy(&memory);
    ProgressBridge bridge{&progress};
    const OIIO::TypeDesc type = pixels.depth() == CV_16U ? OIIO::TypeDesc::UINT16 : OIIO::TypeDesc::UINT8;
    bool ok = out->open(temporary, spec)
        && out->write_image(type, pixels.data, OIIO::stride_t(pixels.elemSize()), OIIO::stride_t(pixels.step[0]),
                            OIIO::AutoStride,
                            progressThunk, &bridge);
    ok = out->close() && ok;
    // An abort from the callback still makes write_image() return true: check it ourselves.
    if (!ok || bridge.cancelled) {
        *failure = bridge.cancelled ? std::string("writing was cancelled") : out->geterror();
        return false;
    }
    if (inMemory && !file.write(encoded.data(), encoded.size())) {
        *failure = file.errorString().toStdString();
        return false;
    }
    if (!file.commit()) {
        *failure = file.errorString().toStdString();
        return false;
    }
    return true;
}

bool saveImpl(const std::string& path, const cv::Mat& image, Ostrel::FileInfo& info, ColorManagementSystem& cms,
              const ImageIOManager::Options& options, const ImageIOManager::Progress& progress, QString* error)
{
    const int type = image.type();
    if (image.empty() || (type != CV_8UC3 && type != CV_16UC3 && type != CV_8UC4 && type != CV_16UC4)) {
        report(error, "cannot write " + path + ": the image is empty or not 3 or 4 channels of 8 or 16 bits");
        return false;
    }
    OIIO::ImageSpec spec = info.spec();
    qCDebug(lcIo) << "Image size:" << image.cols << image.rows;

    std::string failure;
    if (!ImageSaveOptions::applyColorSpace(options, spec, &failure)) {
        report(error, failure);
        return false;
    }
    if (options.size() != 1)
        ImageSaveOptions::applyFormat(options, spec);

    if (spec.nchannels < 1 || spec.nchannels > 4)
        throw std::runtime_error("wrong channels");
    // The writer gets 8- or 16-bit samples; a float or 32-bit source is written as 16-bit.
    if (spec.format != OIIO::TypeDesc::UINT8 || !spec.channelformats.empty())
        spec.set_format(spec.format == OIIO::TypeDesc::UINT8 ? OIIO::TypeDesc::UINT8 : OIIO::TypeDesc::UINT16);
    const bool alpha = spec.nchannels == 2 || spec.nchannels == 4;
    const bool wide = spec.format == OIIO::TypeDesc::UINT16;
    // A grey file with a grey profile is converted into it; one without was read as sRGB
    // with equal channels, so it goes back through sRGB and keeps the luma.
    const bool grey = spec.nchannels <= 2;
    const bool throughRgb = grey && ColorManagementSystem::imageColorSpace(spec) != cmsSigGrayData;
    const int convertedChannels = throughRgb ? spec.nchannels + 2 : spec.nchannels;

    cv::Mat stored;
    // Samples the file keeps as they are (its profile, depth and orientation are the working
    // image's) are written from the image itself, its alpha skipped where the file has none:
    // a converted copy would be as large as the image.
    const bool asTheyAre = spec.nchannels >= 3 && spec.nchannels <= image.channels() && !throughRgb
        && (image.depth() == CV_16U) == wide && info.orientation() == 1
        && cms.writesUnchanged(spec, int(fileFormat(convertedChannels, wide)));
    if (asTheyAre)
        stored = image;
    else try {
        cv::Mat converted(image.rows, image.cols, CV_MAKETYPE(wide ? CV_16U : CV_8U, convertedChannels));
        cms.convert(image, converted, spec, sourceFormat(type), fileFormat(convertedChannels, wide),
                    ColorManagementSystem::WorkspaceToFile, alpha);
        if (throughRgb)
            converted = lumaOf(converted);
        ImageOrientation::toStored(converted, stored, info.orientation());
    } catch (const std::exception& e) {
        report(error, "cannot convert the colours of " + path + ": " + e.what());
        return false;
    }
    ImageSaveOptions::prepareForWrite(spec, stored.cols, stored.rows);

    if (!writeImage(path, stored, spec, progress, &failure)) {
        const auto url = options.find("FILE_URL");
        report(error, "cannot write " + (url != options.end() ? url->second : path) + ": " + failure);
        return false;
    }
    return true;
}

bool generateMipImpl(const QString& source, const QString& destination, QString* error)
{
    const std::string sourcePath = source.toStdString();
    std::string problem;
    std::unique_ptr<OIIO::ImageInput> in = openInput(sourcePath, problem);
    if (!in) {
        report(error, "cannot open " + sourcePath + ": " + problem);
        return false;
    }
    const int channels = in->spec().nchannels;
    if (channels != 1 && channels != 3 && channels != 4)
        throw std::runtime_error("wrong channels");
    OIIO::ImageSpec spec(in->spec().width, in->spec().height, channels, OIIO::TypeDesc::UINT8);
    spec.attribute("compression", "jpeg");
    if (channels == 4) {
        spec.alpha_channel = 3;
        spec.attribute("oiio:UnassociatedAlpha", 1);
    }
    cv::Mat level;
    try {
        level.create(spec.height, spec.width, CV_8UC(channels));
    } catch (const std::exception& e) {
        report(error, "cannot read " + sourcePath + ": " + e.what());
        return false;
    }
    if (!in->read_image(0, 0, 0, channels, OIIO::TypeDesc::UINT8, level.data) || in->has_error()) {
        report(error, "cannot read " + sourcePath + ": " + in->geterror());
        return false;
    }
    in->close();
    in.reset();

    const std::string destinationPath = destination.toStdString();
    std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(destinationPath);
    if (!out) {
        report(error, "cannot write " + destinationPath + ": " + OIIO::geterror());
        return false;
    }
    const bool mipmap = out->supports("mipmap");
    if (!mipmap && !out->supports("multiimage")) {
        report(error, destinationPath + " cannot hold several images");
        return false;
    }
    AtomicFileWriter file(destination);
    if (!file.isValid()) {
        report(error, "cannot write " + destinationPath + ": " + file.errorString().toStdString());
        return false;
    }
    const std::string temporary = file.temporaryPath().toStdString();
    bool ok = true;
    for (bool first = true; ok && spec.width >= 1 && spec.height >= 1; first = false) {
        const auto mode = first ? OIIO::ImageOutput::Create
                                : (mipmap ? OIIO::ImageOutput::AppendMIPLevel : OIIO::ImageOutput::AppendSubimage);
        ok = out->open(temporary, spec, mode)
            && out->write_image(OIIO::TypeDesc::UINT8, level.data, OIIO::AutoStride, OIIO::stride_t(level.step[0]));
        spec.width /= 2;
        spec.height /= 2;
        spec.full_width = spec.width;
        spec.full_height = spec.height;
        if (ok && spec.width >= 1 && spec.height >= 1) {
            cv::Mat smaller;
            cv::pyrDown(level, smaller, cv::Size(spec.width, spec.height));
            level = smaller;
        }
    }
    ok = out->close() && ok;
    if (!ok || !file.commit()) {
        const std::string why = ok ? file.errorString().toStdString() : out->geterror();
        report(error, "cannot write " + destinationPath + ": " + why);
        return false;
    }
    return true;
}

// The calls below catch everything a direct call may throw; `what` names the call.
template <typename Call>
bool guarded(QString* error, Call&& call)
{
    try {
        return call();
    } catch (const std::exception& e) {
        report(error, e.what());
    } catch (...) {
        report(error, "unknown error");
    }
    return false;
}

} // namespace

ImageIOManager::ImageIOManager()
{
    QMutexLocker lock(&g_cacheMutex);
    if (g_count == 0)
        setupCache();
    ++g_count;
}

ImageIOManager::~ImageIOManager()
{
    QMutexLocker lock(&g_cacheMutex);
    if (--g_count == 0 && g_oiioCache_p) {
        OIIO::ImageCache::destroy(g_oiioCache_p);
        g_oiioCache_p = nullptr;
    }
}

void ImageIOManager::setupCache()
{
    g_oiioCache_p = OIIO::ImageCache::create(false);
    g_oiioCache_p->attribute("max_memory_MB", 1000.0f);
    g_oiioCache_p->attribute("autotile", 0);
    g_oiioCache_p->attribute("automip", 1);
}

qint64 ImageIOManager::maxImageBytes()
{
    return g_maxImageBytes.load();
}

void ImageIOManager::setMaxImageBytes(qint64 bytes)
{
    g_maxImageBytes.store(bytes);
}

OIIO::ImageCache* ImageIOManager::cache()
{
    QMutexLocker lock(&g_cacheMutex);
    return g_oiioCache_p;
}

int ImageIOManager::instanceCount()
{
    QMutexLocker lock(&g_cacheMutex);
    return g_count;
}

bool ImageIOManager::loadFile(const std::string& path, cv::Mat& out, Ostrel::FileInfo& info,
                              ColorManagementSystem& cms)
{
    return loadImpl(path, out, info, cms, nullptr);
}

QSize ImageIOManager::getImageSize(const QString& path)
{
    std::string problem;
    // Only the header is read: image data damaged further on does not hide the size.
    std::unique_ptr<OIIO::ImageInput> in =
        openInput(path.toStdString(), problem, PngFileCheck::Extent::UpToImageData);
    if (!in) {
        qCWarning(lcIo) << path << QString::fromStdString(problem);
        return QSize(0, 0);
    }
    const OIIO::ImageSpec& spec = in->spec();
    const std::string refusal = sizeRefusal(spec);
    if (!refusal.empty()) {
        qCWarning(lcIo) << path << QString::fromStdString(refusal);
        return QSize(0, 0);
    }
    const int orientation = spec.get_int_attribute("Orientation", 1);
    QSize size(spec.width, spec.height);
    if (ImageOrientation::swapsAxes(orientation))
        size.transpose();
    else if (orientation == 1)
        qCDebug(lcIo) << "Don't need auto reorientation";
    in->close();
    return size;
}

bool ImageIOManager::saveFile(const std::string& path, const cv::Mat& image, Ostrel::FileInfo& info,
                              ColorManagementSystem& cms, const Options& options, const Progress& progress)
{
    return saveImpl(path, image, info, cms, options, progress, nullptr);
}

bool ImageIOManager::generateMipImageTIFFFile(const QString& source, const QString& destination)
{
    return generateMipImpl(source, destination, nullptr);
}

bool ImageIOManager::loadFromPS(unsigned width, unsigned height, uchar* plane0, uchar* plane1, uchar* plane2,
                                unsigned rowBytes, int depth, uchar* profile, int profileSize, cv::Mat& out,
                                ColorManagementSystem& cms)
{
    const uchar* const planes[3] = {plane0, plane1, plane2};
    cv::Mat rgb;
    if (!HostPlanes::gather(width, height, planes, long(rowBytes), depth, rgb)) {
        report(nullptr, "Could not read the host's planes: bad size, depth or buffer");
        return false;
    }
    qCDebug(lcIo) << "***************************iccProfileSize:**********************" << profileSize;
    try {
        out.create(rgb.rows, rgb.cols, CV_16UC4);
        cms.convert(rgb, out, TYPE_RGB_16, TYPE_RGBA_16, profile, profileSize, ColorManagementSystem::HostToWorkspace,
                    true);
    } catch (const std::exception& e) {
        report(nullptr, std::string("Could not do color conversion because of ") + e.what());
        return false;
    }
    return true;
}

bool ImageIOManager::saveToPS(unsigned width, unsigned height, uchar* plane0, uchar* plane1, uchar* plane2,
                              int rowBytes, int depth, uchar* profile, int profileSize, cv::Mat& image,
                              ColorManagementSystem& cms)
{
    uchar* const planes[3] = {plane0, plane1, plane2};
    if (image.type() != CV_16UC4 || image.cols != int(width) || image.rows != int(height)
        || !HostPlanes::isValid(width, height, planes, rowBytes, depth)) {
        report(nullptr, "Could not write the host's planes: bad image, size, depth or buffer");
        return false;
    }
    try {
        cv::Mat rgb(image.rows, image.cols, CV_16UC3);
        cms.convert(image, rgb, TYPE_RGBA_16, TYPE_RGB_16, profile, profileSize,
                    ColorManagementSystem::WorkspaceToHost, false);
        return HostPlanes::scatter(rgb, planes, rowBytes, depth);
    } catch (const std::exception& e) {
        report(nullptr, std::string("Could not do color conversion because of ") + e.what());
        return false;
    }
}

bool ImageIOManager::tryLoadFile(const std::string& path, cv::Mat& out, Ostrel::FileInfo& info,
                                 ColorManagementSystem& cms, QString* error)
{
    return guarded(error, [&] { return loadImpl(path, out, info, cms, error); });
}

TSMat ImageIOManager::tryLoadFile(const QString& path, ColorManagementSystem& cms, QString* error)
{
    cv::Mat pixels;
    Ostrel::FileInfo info;
    if (!tryLoadFile(path.toStdString(), pixels, info, cms, error))
        return TSMat();
    TSMat image(pixels);
    Ostrel::FileInfo::attachTo(image, info);
    return image;
}

bool ImageIOManager::trySaveFile(const std::string& path, const cv::Mat& image, Ostrel::FileInfo& info,
                                 ColorManagementSystem& cms, const Options& options, QString* error,
                                 const Progress& progress)
{
    return guarded(error, [&] { return saveImpl(path, image, info, cms, options, progress, error); });
}

bool ImageIOManager::trySaveFile(const QString& path, const TSMat& image, ColorManagementSystem& cms,
                                 const Options& options, QString* error, const Progress& progress)
{
    Ostrel::FileInfo info;
    Ostrel::FileInfo::attachedTo(image, &info);
    return trySaveFile(path.toStdString(), image.mat(), info, cms, options, error, progress);
}

bool ImageIOManager::tryGenerateMipImageTIFFFile(const QString& source, const QString& destination, QString* error)
{
    return guarded(error, [&] { return generateMipImpl(source, destination, error); });
}

QString ImageIOManager::localPathFromUrl(const QUrl& url, QString* error)
{
    if (url.isLocalFile())
        return url.toLocalFile();
    if (url.scheme().isEmpty() && !url.isEmpty())
        return url.toString();
    const QString message = "Not a local file: " + url.toString();
    qCWarning(lcIo).noquote() << message;
    if (error)
        *error = message;
    return QString();
}

ImageIOManager::Options ImageIOManager::toOptions(const QVariantMap& fileParams)
{
    Options options;
    for (auto it = fileParams.cbegin(); it != fileParams.cend(); ++it)
        options[it.key().toStdString()] = it.value().toString().toStdString();
    return options;
}
