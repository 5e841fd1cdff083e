#pragma once
// Thread: any; a FileInfo is a value, copies are deep and independent.
// Owns: one OpenImageIO ImageSpec (size, channels, sample format, all metadata).
// Errors: none; an image without attached metadata yields a default FileInfo.

#include <QMetaType>
#include <QString>

#include <map>
#include <string>

#include <OpenImageIO/imageio.h>

class TSMat;

namespace Ostrel {

// The metadata of an image file, carried from loading to saving: EXIF, IPTC, XMP, the
// "Orientation" tag and the embedded "ICCProfile" travel with it.
class FileInfo
{
public:
    FileInfo() = default;
    explicit FileInfo(const OIIO::ImageSpec& spec);

    OIIO::ImageSpec& spec();
    const OIIO::ImageSpec& spec() const;

    // The displayed size: swapped for orientations 5 to 8.
    int getImageWidth() const;
    int getImageHeight() const;
    // The "Orientation" tag, 1 when absent.
    int orientation() const;

    // Every extra attribute as human-readable text, in the spec's order. True.
    bool getMetaInfo(std::map<std::string, std::string>& out) const;

    // The property of a TSMat that holds the FileInfo of the file it was loaded from.
    static const QString s_propertyKey;
    static void attachTo(TSMat& image, const FileInfo& info);
    // The FileInfo attached to `image`; false (and `info` untouched) when there is none.
    static bool attachedTo(const TSMat& image, FileInfo* info);

    // Registers the "Ostrel::FileInfo" meta type. Any number of calls, any thread.
    static int registerMetaType();

private:
    OIIO::ImageSpec m_spec;
};

} // namespace Ostrel

Q_DECLARE_METATYPE(Ostrel::FileInfo)
