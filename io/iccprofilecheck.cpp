#include "io/iccprofilecheck.h"

#include "io/bigendian.h"

#include <OpenImageIO/imageio.h>
#include <OpenImageIO/tiffutils.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kHeaderSize = 128;
constexpr size_t kTagEntrySize = 12;

// True when [offset, offset + length) lies inside `size` bytes; 64-bit, so no sum wraps.
bool inside(uint64_t offset, uint64_t length, size_t size)
{
    return offset + length <= uint64_t(size);
}

// Multi-localised text: a record table after a 16-byte head, each record pointing at a
// string relative to the tag's start.
std::string mlucProblem(const uint8_t* data, size_t size, uint64_t tagOffset)
{
    if (!inside(tagOffset, 16, size))
        return "a text tag is cut short";
    const uint32_t records = readBigEndian32(data + tagOffset + 8);
    const uint32_t recordSize = readBigEndian32(data + tagOffset + 12);
    if (recordSize != 12)
        return {}; // not read any further by the decoder
    if (!inside(tagOffset + 16, uint64_t(records) * recordSize, size))
        return "a text tag's records lie outside the profile";
    for (uint32_t r = 0; r < records; ++r) {
        const uint8_t* record = data + tagOffset + 16 + uint64_t(r) * recordSize;
        const uint32_t length = readBigEndian32(record + 4);
        const uint32_t offset = readBigEndian32(record + 8);
        if (!inside(tagOffset + offset, length, size))
            return "a text tag's string lies outside the profile";
    }
    return {};
}

} // namespace

std::string IccProfileCheck::problem(const uint8_t* data, size_t size)
{
    if (!data || size < kHeaderSize + 4)
        return "the profile is shorter than its header";
    if (std::memcmp(data + 36, "acsp", 4) != 0)
        return "the profile has no ICC signature";
    const uint32_t tags = readBigEndian32(data + kHeaderSize);
    if (!inside(kHeaderSize + 4, uint64_t(tags) * kTagEntrySize, size))
        return "the tag table runs past the end of the profile";
    for (uint32_t t = 0; t < tags; ++t) {
        const uint8_t* entry = data + kHeaderSize + 4 + uint64_t(t) * kTagEntrySize;
        const uint64_t offset = readBigEndian32(entry + 4);
        const uint32_t length = readBigEndian32(entry + 8);
        if (!inside(offset, std::max<uint32_t>(length, 4), size))
            return "a tag lies outside the profile";
        const uint8_t* type = data + offset;
        if ((std::memcmp(type, "text", 4) == 0 && length < 8) || (std::memcmp(type, "desc", 4) == 0 && length < 12))
            return "a text tag is shorter than its head";
        if (std::memcmp(type, "mluc", 4) == 0) {
            const std::string why = mlucProblem(data, size, offset);
            if (!why.empty())
                return why;
        }
    }
    return {};
}

OIIO_NAMESPACE_BEGIN

// See the class comment in iccprofilecheck.h: this definition stands in front of
// OpenImageIO's and forwards only profiles whose layout is sound.
bool decode_icc_profile(cspan<uint8_t> iccdata, ImageSpec& spec, std::string& error)
{
    using Decoder = bool (*)(cspan<uint8_t>, ImageSpec&, std::string&);
    static const Decoder original = [] {
        // The mangled name of this very function, looked up in the libraries after ours.
        std::string name = "_ZN" + std::to_string(std::strlen(OIIO_NAMESPACE_STRING)) + OIIO_NAMESPACE_STRING
            + "18decode_icc_profileENS_4spanIKhLln1EEERNS_9ImageSpecERNSt7__cxx1112basic_stringIcSt11char_"
              "traitsIcESaIcEEE";
        return reinterpret_cast<Decoder>(dlsym(RTLD_NEXT, name.c_str()));
    }();
    error = IccProfileCheck::problem(iccdata.data(), size_t(iccdata.size()));
    if (!error.empty())
        return false;
    if (!original) {
        error = "no ICC decoder";
        return false;
    }
    return original(iccdata, spec, error);
}

OIIO_NAMESPACE_END
