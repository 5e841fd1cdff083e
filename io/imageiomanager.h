#pragma once
// Thread: any (render thread, image-list worker); the functions share only the image cache,
//         which is set up and torn down by instances created on one thread.
// Owns: an instance holds a reference on the process-wide OpenImageIO ImageCache.
// Errors: false or an empty value, with the message on stderr. The direct calls also throw
//         std::out_of_range("invalid map<K, T> key") for a missing save option and
//         std::runtime_error("wrong channels"); the try...() calls never throw and return the
//         message instead.

#include "gpu/tsmat.h"
#include "io/colormanagementsystem.h"
#include "io/fileinfo.h"

#include <QSize>
#include <QString>
#include <QVariantMap>
#include <QUrl>

#include <functional>
#include <map>
#include <string>

#include <OpenImageIO/imagecache.h>
#include <opencv2/core.hpp>

// The library's door to image files. Files load as working images (CV_16UC4, straight alpha,
// displayed orientation, working colour space) and save back as JPEG, TIFF or PNG (or what
// OpenImageIO picks from the name) under the string option table.
class ImageIOManager
{
public:
    using Options = std::map<std::string, std::string>;
    // Called while a file is written with the part done (0 to 1); return false to cancel.
    using Progress = std::function<bool(float done)>;

    ImageIOManager();
    ~ImageIOManager();
    ImageIOManager(const ImageIOManager&) = delete;
    ImageIOManager& operator=(const ImageIOManager&) = delete;

    static bool loadFile(const std::string& path, cv::Mat& out, Ostrel::FileInfo& info, ColorManagementSystem& cms);
    // The displayed size without reading pixels; 0 x 0 when the file cannot be opened.
    static QSize getImageSize(const QString& path);
    // Writes CV_8UC3, CV_16UC3, CV_8UC4 or CV_16UC4. The file appears complete or not at all:
    // an existing file is replaced only after the new one was written and closed.
    static bool saveFile(const std::string& path, const cv::Mat& image, Ostrel::FileInfo& info,
                         ColorManagementSystem& cms, const Options& options, const Progress& progress = {});
    static bool generateMipImageTIFFFile(const QString& source, const QString& destination);

    // Planes of a host application (depth 1: 8-bit, depth 2: 0 to 32768).
    static bool loadFromPS(unsigned width, unsigned height, uchar* plane0, uchar* plane1, uchar* plane2,
                           unsigned rowBytes, int depth, uchar* profile, int profileSize, cv::Mat& out,
                           ColorManagementSystem& cms);
    static bool saveToPS(unsigned width, unsigned height, uchar* plane0, uchar* plane1, uchar* plane2, int rowBytes,
                         int depth, uchar* profile, int profileSize, cv::Mat& image, ColorManagementSystem& cms);

    // Non-throwing entry points for callers on an event loop: the message lands in `error`.
    static bool tryLoadFile(const std::string& path, cv::Mat& out, Ostrel::FileInfo& info,
                            ColorManagementSystem& cms, QString* error);
    // The loaded image with its FileInfo attached (Ostrel::FileInfo::attachedTo); empty on failure.
    static TSMat tryLoadFile(const QString& path, ColorManagementSystem& cms, QString* error = nullptr);
    static bool trySaveFile(const std::string& path, const cv::Mat& image, Ostrel::FileInfo& info,
                            ColorManagementSystem& cms, const Options& options, QString* error,
                            const Progress& progress = {});
    // Saves with the FileInfo attached to `image` (a default one when there is none), so the
    // source's metadata and embedded profile travel into the file.
    static bool trySaveFile(const QString& path, const TSMat& image, ColorManagementSystem& cms,
                            const Options& options, QString* error = nullptr, const Progress& progress = {});
    static bool tryGenerateMipImageTIFFFile(const QString& source, const QString& destination, QString* error);

    // A local path for a URL: the file name of a file URL, a plain path as given; any other
    // scheme is refused (empty result, message in `error`).
    static QString localPathFromUrl(const QUrl& url, QString* error = nullptr);
    // The string options of a save from a host's parameter map.
    static Options toOptions(const QVariantMap& fileParams);

    // The largest working image a file may declare, in bytes (8 per pixel): a header that
    // claims more is refused by loadFile() and getImageSize() before anything is allocated,
    // so a crafted or damaged file cannot exhaust memory. 1 GiB unless a host changes it.
    static qint64 maxImageBytes();
    static void setMaxImageBytes(qint64 bytes);

    // The shared image cache (null while no instance lives) and the number of instances.
    static OIIO::ImageCache* cache();
    static int instanceCount();

private:
    static void setupCache();
};
