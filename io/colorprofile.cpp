#include "io/colorprofile.h"
#include "io/iologging.h"


#include <lcms2.h>

ColorProfile::ColorProfile()
{
    openBuiltInSRGB();
}

ColorProfile::ColorProfile(const unsigned char* data, int size)
{
    open(data, size);
}

ColorProfile::ColorProfile(const ColorProfile& other)
{
    open(other.data(), int(other.size()));
}

ColorProfile& ColorProfile::operator=(const ColorProfile& other)
{
    if (this != &other) {
        // Copy the bytes first: `other` may share nothing with us, but open() releases ours.
        const QByteArray bytes = other.m_bytes;
        open(reinterpret_cast<const unsigned char*>(bytes.constData()), bytes.size());
    }
    return *this;
}

ColorProfile::~ColorProfile()
{
    release();
}

bool ColorProfile::open(const unsigned char* data, int size)
{
    release();
    if (!data || size <= 0) {
        openBuiltInSRGB();
        return true;
    }
    m_bytes = QByteArray(reinterpret_cast<const char*>(data), size);
    m_profile = cmsOpenProfileFromMem(m_bytes.constData(), cmsUInt32Number(m_bytes.size()));
    if (!m_profile) {
        qCWarning(lcIo) << "ColorProfile: the ICC data cannot be read, using sRGB";
        m_bytes.clear();
        openBuiltInSRGB();
        return false;
    }
    return true;
}

void* ColorProfile::profile() const
{
    return m_profile;
}

const unsigned char* ColorProfile::data() const
{
    return m_bytes.isEmpty() ? nullptr : reinterpret_cast<const unsigned char*>(m_bytes.constData());
}

unsigned int ColorProfile::size() const
{
    return unsigned(m_bytes.size());
}

bool ColorProfile::isBuiltInSRGB() const
{
    return m_bytes.isEmpty();
}

unsigned int ColorProfile::colorSpace() const
{
    return unsigned(cmsGetColorSpace(m_profile));
}

void ColorProfile::openBuiltInSRGB()
{
    m_bytes.clear();
    m_profile = cmsCreate_sRGBProfile();
}

void ColorProfile::release()
{
    if (m_profile)
        cmsCloseProfile(m_profile);
    m_profile = nullptr;
    m_bytes.clear();
}
