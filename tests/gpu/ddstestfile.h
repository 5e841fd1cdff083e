#pragma once
// A DDS file as the format lays it out: magic, the 124-byte header with the fields the
// loader reads (height, width, mip count, FourCC), then `body` from byte 128.

#include "gpu/ddsfile.h"

#include <QByteArray>
#include <QtEndian>

#include <cstring>

inline QByteArray ddsTestFile(quint32 w, quint32 h, quint32 mips, const char* fourCC, const QByteArray& body,
                              quint32 headerSize = 124, const char* magic = "DDS ")
{
    char header[DdsFile::kHeaderBytes] = {};
    std::memcpy(header, magic, 4);
    qToLittleEndian(headerSize, header + 4);
    qToLittleEndian(h, header + 12);
    qToLittleEndian(w, header + 16);
    qToLittleEndian(mips, header + 28);
    std::memcpy(header + 84, fourCC, 4);
    return QByteArray(header, sizeof header) + body;
}
