#include "gpu/glformatinfo.h"

#include <opencv2/core.hpp>

#include <QOpenGLFunctions_3_3_Core>

GLFormatInfo::GLFormatInfo(GLenum internalFormat, int channels, int accountingBytes, int downloadType,
                           GLenum transferFormat, bool preferred, bool normalized)
    : m_internalFormat(internalFormat)
    , m_channels(channels)
    , m_accountingBytes(accountingBytes)
    , m_downloadType(downloadType)
    , m_transferFormat(transferFormat)
    , m_preferred(preferred)
    , m_normalized(normalized)
{
}

GLFormatInfo GLFormatInfo::find(GLenum internalFormat)
{
    // GL_RGB16 downloads as CV_8UC3 by the engine's convention.
    static const GLFormatInfo table[] = {
        {GL_R8, 1, 1, CV_8UC1, GL_RED, true, true},
        {GL_R16, 1, 2, CV_16UC1, GL_RED, true, true},
        {GL_R16F, 1, 2, CV_32FC1, GL_RED, true, false},
        {GL_R32F, 1, 4, CV_32FC1, GL_RED, true, false},
        {GL_RG8, 2, 2, CV_8UC2, GL_RG, true, true},
        {GL_RG16, 2, 4, CV_16UC2, GL_RG, true, true},
        {GL_RG16F, 2, 4, CV_32FC2, GL_RG, true, false},
        {GL_RG32F, 2, 8, CV_32FC2, GL_RG, true, false},
        {GL_RGB8, 3, 3, CV_8UC3, GL_RGB, false, true},
        {GL_RGB16, 3, 6, CV_8UC3, GL_RGB, true, true},
        {GL_RGB16F, 3, 6, CV_32FC3, GL_RGB, true, false},
        {GL_R11F_G11F_B10F, 3, 4, CV_32FC3, GL_RGB, true, false},
        {GL_RGB32F, 3, 12, CV_32FC3, GL_RGB, false, false},
        {GL_RGBA8, 4, 4, CV_8UC4, GL_RGBA, true, true},
        {GL_RGBA16, 4, 8, CV_16UC4, GL_RGBA, true, true},
        {GL_RGBA16F, 4, 8, CV_32FC4, GL_RGBA, true, false},
        {GL_RGBA32F, 4, 16, CV_32FC4, GL_RGBA, true, false},
    };
    for (const GLFormatInfo& row : table) {
        if (row.m_internalFormat == internalFormat)
            return row;
    }
    GLFormatInfo unknown;
    unknown.m_internalFormat = internalFormat;
    unknown.m_downloadType = CV_8UC1;
    return unknown;
}

namespace {

GLenum clientType(int depth)
{
    switch (depth) {
    case CV_8U:
        return GL_UNSIGNED_BYTE;
    case CV_16U:
        return GL_UNSIGNED_SHORT;
    case CV_32F:
        return GL_FLOAT;
    default:
        return 0;
    }
}

bool isHalfFormat(GLenum internalFormat)
{
    return internalFormat == GL_R16F || internalFormat == GL_RG16F || internalFormat == GL_RGB16F
        || internalFormat == GL_RGBA16F;
}

} // namespace

GLFormatInfo::Transfer GLFormatInfo::transfer(GLenum internalFormat, int cvType)
{
    Transfer t;
    const GLFormatInfo info = find(internalFormat);
    const int channels = CV_MAT_CN(cvType);
    const GLenum type = clientType(CV_MAT_DEPTH(cvType));
    if (!info.isListed() || type == 0)
        return t;

    // The two formats that can serve as the working format take the 3- and 4-channel images
    // the engine feeds them: a missing alpha reads as opaque, a surplus one is dropped.
    const bool workingCapable = internalFormat == GL_R11F_G11F_B10F || internalFormat == GL_RGBA16F;
    const bool channelsOk = channels == info.channels() || (workingCapable && (channels == 3 || channels == 4));
    if (!channelsOk)
        return t;

    t.ok = true;
    t.format = info.transferFormat();
    t.type = type;
    if (internalFormat == GL_R11F_G11F_B10F) {
        t.type = GL_UNSIGNED_INT_10F_11F_11F_REV;
        t.staging = Staging::Packed111110;
        t.stagingBytesPerPixel = 4;
    } else if (isHalfFormat(internalFormat)) {
        t.type = GL_HALF_FLOAT;
        t.staging = Staging::Half;
        t.stagingBytesPerPixel = 2 * info.channels();
    }
    return t;
}
