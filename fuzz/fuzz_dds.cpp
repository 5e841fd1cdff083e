// DDS texture files from anywhere: any bytes are refused with a reason or give levels that
// lie inside the file, follow each other from byte 128 on and halve down a chain no longer
// than the size allows, so the upload can never read past the buffer.

#include "fuzzsupport.h"
#include "gpu/ddsfile.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>

namespace {
constexpr int kMaxTextureSize = 16384;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::silenceLibraryOutput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > size_t(INT_MAX))
        return 0;
    const DdsFile dds = DdsFile::parse(reinterpret_cast<const char*>(data), qint64(size), kMaxTextureSize);
    if (!dds.isValid()) {
        if (dds.error().isEmpty() || !dds.levels().isEmpty())
            FuzzSupport::fail("a refused file must give a reason and no levels");
        return 0;
    }
    if (dds.levels().isEmpty() || dds.blockBytes() == 0)
        FuzzSupport::fail("an accepted file has no level or no block size");
    qint64 next = DdsFile::kHeaderBytes;
    int w = dds.width(), h = dds.height();
    for (const DdsFile::Level& level : dds.levels()) {
        const qint64 expected = qint64((w + 3) / 4) * ((h + 3) / 4) * dds.blockBytes();
        if (level.offset != next || level.size != expected || level.offset + level.size > qint64(size)
            || level.width != w || level.height != h || w < 1 || h < 1 || w > kMaxTextureSize || h > kMaxTextureSize)
            FuzzSupport::fail(QStringLiteral("level %1x%2 at %3 (+%4) breaks the chain of a %5-byte file")
                                  .arg(level.width).arg(level.height).arg(level.offset).arg(level.size).arg(size));
        next += level.size;
        w = std::max(1, w / 2);
        h = std::max(1, h / 2);
    }
    return 0;
}
