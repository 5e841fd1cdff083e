#include "io/fileinfo.h"

#include "gpu/tsmat.h"

#include <QVariant>

namespace Ostrel {

const QString FileInfo::s_propertyKey = QStringLiteral("fileInfo");

FileInfo::FileInfo(const OIIO::ImageSpec& spec)
    : m_spec(spec)
{
}

OIIO::ImageSpec& FileInfo::spec()
{
    return m_spec;
}

const OIIO::ImageSpec& FileInfo::spec() const
{
    return m_spec;
}

int FileInfo::orientation() const
{
    return m_spec.get_int_attribute("Orientation", 1);
}

int FileInfo::getImageWidth() const
{
    return orientation() >= 5 && orientation() <= 8 ? m_spec.height : m_spec.width;
}

int FileInfo::getImageHeight() const
{
    return orientation() >= 5 && orientation() <= 8 ? m_spec.width : m_spec.height;
}

bool FileInfo::getMetaInfo(std::map<std::string, std::string>& out) const
{
    for (const OIIO::ParamValue& attribute : m_spec.extra_attribs)
        out[attribute.name().string()] = m_spec.metadata_val(attribute, true);
    return true;
}

void FileInfo::attachTo(TSMat& image, const FileInfo& info)
{
    registerMetaType();
    image.setProperty(s_propertyKey, QVariant::fromValue(info));
}

bool FileInfo::attachedTo(const TSMat& image, FileInfo* info)
{
    const QVariant value = image.property(s_propertyKey);
    if (value.userType() != qMetaTypeId<FileInfo>())
        return false;
    if (info)
        *info = value.value<FileInfo>();
    return true;
}

int FileInfo::registerMetaType()
{
    static const int id = qRegisterMetaType<FileInfo>("Ostrel::FileInfo");
    return id;
}

} // namespace Ostrel
