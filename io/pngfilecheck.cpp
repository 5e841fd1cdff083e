#include "io/pngfilecheck.h"

#include "io/bigendian.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>

namespace {

constexpr std::array<unsigned char, 8> kSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
constexpr uint32_t kMaxChunkLength = 0x7fffffffu; // the format's own limit

bool isChunkType(const unsigned char* type)
{
    for (int i = 0; i < 4; ++i) {
        const unsigned char c = type[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
            return false;
    }
    return true;
}

} // namespace

std::string PngFileCheck::problem(const std::string& path, Extent extent)
{
    std::ifstream file(path, std::ios::binary);
    std::array<unsigned char, 8> head{};
    if (!file.read(reinterpret_cast<char*>(head.data()), head.size()))
        return {};
    // Only files that start like a PNG are judged; the rest are another reader's business.
    if (std::memcmp(head.data(), kSignature.data(), 4) != 0)
        return {};
    if (head != kSignature)
        return "the PNG signature is damaged";

    bool first = true;
    std::array<unsigned char, 65536> buffer{};
    for (;;) {
        std::array<unsigned char, 8> chunk{};
        if (!file.read(reinterpret_cast<char*>(chunk.data()), chunk.size()))
            return "the PNG file ends before its IEND chunk";
        const uint32_t length = readBigEndian32(chunk.data());
        const unsigned char* type = chunk.data() + 4;
        if (length > kMaxChunkLength || !isChunkType(type))
            return "a PNG chunk header is damaged";
        const std::string name(reinterpret_cast<const char*>(type), 4);
        if (first && (name != "IHDR" || length != 13))
            return "the PNG file does not start with its IHDR chunk";
        first = false;
        if (extent == Extent::UpToImageData && name == "IDAT")
            return {};
        uLong crc = crc32(0L, type, 4);
        for (uint32_t left = length; left > 0;) {
            const auto step = std::streamsize(std::min<uint32_t>(left, uint32_t(buffer.size())));
            if (!file.read(reinterpret_cast<char*>(buffer.data()), step))
                return "the PNG chunk " + name + " runs past the end of the file";
            crc = crc32(crc, buffer.data(), uInt(step));
            left -= uint32_t(step);
        }
        std::array<unsigned char, 4> stored{};
        if (!file.read(reinterpret_cast<char*>(stored.data()), stored.size()))
            return "the PNG chunk " + name + " runs past the end of the file";
        if (readBigEndian32(stored.data()) != uint32_t(crc))
            return "the PNG chunk " + name + " fails its checksum";
        if (name == "IEND")
            return {};
    }
}
