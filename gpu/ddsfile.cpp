#include "gpu/ddsfile.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>

#ifndef GL_COMPRESSED_RGBA_S3TC_DXT1_EXT
#define GL_COMPRESSED_RGBA_S3TC_DXT1_EXT 0x83F1
#define GL_COMPRESSED_RGBA_S3TC_DXT3_EXT 0x83F2
#define GL_COMPRESSED_RGBA_S3TC_DXT5_EXT 0x83F3
#endif

namespace {

quint32 fieldAt(const char* data, int offset)
{
    return qFromLittleEndian<quint32>(data + offset);
}

// floor(log2(n)) + 1: the levels of a full chain down to 1 x 1.
int fullChain(quint32 n)
{
    int levels = 1;
    while (n > 1) {
        n >>= 1;
        ++levels;
    }
    return levels;
}

} // namespace

DdsFile DdsFile::parse(const char* data, qint64 size, int maxTextureSize)
{
    if (!data || size < kHeaderBytes)
        return DdsFile(QStringLiteral("file too short for its header"));
    if (std::memcmp(data, "DDS ", 4) != 0)
        return DdsFile(QStringLiteral("not a DDS file"));
    if (fieldAt(data, 4) != 124)
        return DdsFile(QStringLiteral("header size is not 124"));
    const quint32 height = fieldAt(data, 12);
    const quint32 width = fieldAt(data, 16);
    const quint32 maxSide = quint32(std::max(1, maxTextureSize));
    if (width < 1 || height < 1 || width > maxSide || height > maxSide)
        return DdsFile(QStringLiteral("width or height out of range"));

    DdsFile file;
    file.m_fourCC = QByteArray(data + 84, 4);
    if (file.m_fourCC == "DXT1") {
        file.m_internalFormat = GL_COMPRESSED_RGBA_S3TC_DXT1_EXT;
        file.m_blockBytes = 8;
    } else if (file.m_fourCC == "DXT3") {
        file.m_internalFormat = GL_COMPRESSED_RGBA_S3TC_DXT3_EXT;
        file.m_blockBytes = 16;
    } else if (file.m_fourCC == "DXT5") {
        file.m_internalFormat = GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;
        file.m_blockBytes = 16;
    } else {
        return DdsFile(QStringLiteral("not supported compression mode in dds"));
    }

    const quint32 declared = fieldAt(data, 28);
    if (declared > quint32(fullChain(std::max(width, height))))
        return DdsFile(QStringLiteral("mip count beyond the size"));
    const int count = std::max<quint32>(declared, 1);
    qint64 offset = kHeaderBytes;
    quint32 w = width, h = height;
    for (int i = 0; i < count; ++i) {
        const qint64 bytes = qint64((w + 3) / 4) * qint64((h + 3) / 4) * file.m_blockBytes;
        if (bytes > size - offset)
            return DdsFile(QStringLiteral("file too short for its declared levels"));
        file.m_levels.append({int(w), int(h), offset, bytes});
        offset += bytes;
        w = std::max<quint32>(1, w / 2);
        h = std::max<quint32>(1, h / 2);
    }
    return file;
}
