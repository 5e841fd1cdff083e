#include "gpu/glpixelconvert.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr uint16_t kHalfOne = 0x3C00;

// Values read from storage into unsigned-normalised matrices: clamped to [0, 1] and rounded
// to nearest, as OpenGL converts; NaN reads as 0.
template <typename T>
T toUnorm(float v)
{
    constexpr float maxValue = float(std::numeric_limits<T>::max());
    if (!(v > 0.f))
        return 0;
    if (v >= 1.f)
        return std::numeric_limits<T>::max();
    return T(v * maxValue + 0.5f);
}

float clamp01(float v)
{
    return v > 0.f ? (v < 1.f ? v : 1.f) : 0.f;
}

// Half floats of every 16-bit pattern, converted in bulk (OpenCV uses the CPU's
// half-float instructions).
std::vector<float> allHalfValues()
{
    std::vector<uint16_t> bits(65536);
    for (int i = 0; i < 65536; ++i)
        bits[size_t(i)] = uint16_t(i);
    std::vector<float> values(65536);
    cv::Mat out(1, 65536, CV_32F, values.data());
    cv::Mat(1, 65536, CV_16F, bits.data()).convertTo(out, CV_32F);
    return values;
}

std::vector<uint16_t> toHalf(const std::vector<float>& values)
{
    std::vector<uint16_t> bits(values.size());
    cv::Mat out(1, int(values.size()), CV_16F, bits.data());
    cv::Mat(1, int(values.size()), CV_32F, const_cast<float*>(values.data())).convertTo(out, CV_16F);
    return bits;
}

std::vector<float> ramp(int levels)
{
    std::vector<float> v(static_cast<size_t>(levels));
    for (int i = 0; i < levels; ++i)
        v[size_t(i)] = float(i) / float(levels - 1);
    return v;
}

// Round to nearest even, for normal results; everything else goes the careful way.
inline uint32_t toSmallFloat(float v, int mantissaBits)
{
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    // 2^-14 (the smallest normal of the small format) <= v < 2^16, positive.
    if (bits - 0x38800000u < 0x47800000u - 0x38800000u) {
        const int shift = 23 - mantissaBits;
        const uint32_t rebiased = bits - (112u << 23);
        const uint32_t rounded = (rebiased + ((1u << (shift - 1)) - 1u) + ((rebiased >> shift) & 1u)) >> shift;
        const uint32_t maxFinite = (30u << mantissaBits) | ((1u << mantissaBits) - 1u);
        return rounded < maxFinite ? rounded : maxFinite;
    }
    return GLPixelConvert::floatToUnsignedSmallFloat(v, mantissaBits);
}

// Tables of the packed 11/11/10-bit layout: red in bits 0-10, green 11-21, blue 22-31.
struct PackedTables
{
    uint32_t enc8[3][256];
    std::vector<uint16_t> enc16Rg = std::vector<uint16_t>(65536);
    std::vector<uint16_t> enc16B = std::vector<uint16_t>(65536);
    float dec11[2048], dec10[1024];
    float dec11Clamped[2048], dec10Clamped[1024];
    uint8_t dec11To8[2048], dec10To8[1024];
    uint16_t dec11To16[2048], dec10To16[1024];

    PackedTables()
    {
        const std::vector<float> levels8 = ramp(256);
        for (int v = 0; v < 256; ++v) {
            enc8[0][v] = toSmallFloat(levels8[size_t(v)], 6);
            enc8[1][v] = toSmallFloat(levels8[size_t(v)], 6) << 11;
            enc8[2][v] = toSmallFloat(levels8[size_t(v)], 5) << 22;
        }
        const std::vector<float> levels16 = ramp(65536);
        for (int v = 0; v < 65536; ++v) {
            enc16Rg[size_t(v)] = uint16_t(toSmallFloat(levels16[size_t(v)], 6));
            enc16B[size_t(v)] = uint16_t(toSmallFloat(levels16[size_t(v)], 5));
        }
        for (uint32_t b = 0; b < 2048; ++b) {
            dec11[b] = GLPixelConvert::unsignedSmallFloatToFloat(b, 6);
            dec11Clamped[b] = clamp01(dec11[b]);
            dec11To8[b] = toUnorm<uint8_t>(dec11[b]);
            dec11To16[b] = toUnorm<uint16_t>(dec11[b]);
        }
        for (uint32_t b = 0; b < 1024; ++b) {
            dec10[b] = GLPixelConvert::unsignedSmallFloatToFloat(b, 5);
            dec10Clamped[b] = clamp01(dec10[b]);
            dec10To8[b] = toUnorm<uint8_t>(dec10[b]);
            dec10To16[b] = toUnorm<uint16_t>(dec10[b]);
        }
    }
};

struct HalfTables
{
    std::vector<uint16_t> enc8 = toHalf(ramp(256));
    std::vector<uint16_t> enc16 = toHalf(ramp(65536));
    std::vector<uint8_t> decTo8 = std::vector<uint8_t>(65536);
    std::vector<uint16_t> decTo16 = std::vector<uint16_t>(65536);

    HalfTables()
    {
        const std::vector<float> values = allHalfValues();
        for (size_t v = 0; v < values.size(); ++v) {
            decTo8[v] = toUnorm<uint8_t>(values[v]);
            decTo16[v] = toUnorm<uint16_t>(values[v]);
        }
    }
};

const PackedTables& packedTables()
{
    static const PackedTables tables;
    return tables;
}

const HalfTables& halfTables()
{
    static const HalfTables tables;
    return tables;
}

// ---- packed 11/11/10 ----------------------------------------------------------------

template <int CN>
void encodePackedPixels(const uint8_t* src, int depth, int width, uint32_t* dst)
{
    const PackedTables& t = packedTables();
    switch (depth) {
    case CV_8U:
        for (int x = 0; x < width; ++x, src += CN)
            dst[x] = t.enc8[0][src[0]] | t.enc8[1][src[1]] | t.enc8[2][src[2]];
        break;
    case CV_16U: {
        const auto* s = reinterpret_cast<const uint16_t*>(src);
        const uint16_t* rg = t.enc16Rg.data();
        const uint16_t* b = t.enc16B.data();
        for (int x = 0; x < width; ++x, s += CN)
            dst[x] = uint32_t(rg[s[0]]) | uint32_t(rg[s[1]]) << 11 | uint32_t(b[s[2]]) << 22;
        break;
    }
    case CV_32F: {
        const auto* s = reinterpret_cast<const float*>(src);
        for (int x = 0; x < width; ++x, s += CN)
            dst[x] = toSmallFloat(s[0], 6) | toSmallFloat(s[1], 6) << 11 | toSmallFloat(s[2], 5) << 22;
        break;
    }
    }
}

void encodePackedRow(const uint8_t* src, int depth, int cn, int width, uint32_t* dst)
{
    if (cn == 4)
        encodePackedPixels<4>(src, depth, width, dst);
    else
        encodePackedPixels<3>(src, depth, width, dst);
}

template <int CN, typename T>
void decodePackedPixels(const uint32_t* src, int width, T* dst, const T* lut11, const T* lut10, T opaque)
{
    for (int x = 0; x < width; ++x, dst += CN) {
        const uint32_t p = src[x];
        dst[0] = lut11[p & 0x7FF];
        dst[1] = lut11[(p >> 11) & 0x7FF];
        dst[2] = lut10[p >> 22];
        if (CN == 4)
            dst[3] = opaque;
    }
}

template <typename T>
void decodePackedRowOf(const uint32_t* src, int width, T* dst, int cn, const T* lut11, const T* lut10, T opaque)
{
    if (cn == 4)
        decodePackedPixels<4, T>(src, width, dst, lut11, lut10, opaque);
    else
        decodePackedPixels<3, T>(src, width, dst, lut11, lut10, opaque);
}

void decodePackedRow(const uint32_t* src, int width, uint8_t* dst, int depth, int cn, bool clamp)
{
    const PackedTables& t = packedTables();
    switch (depth) {
    case CV_8U:
        decodePackedRowOf<uint8_t>(src, width, dst, cn, t.dec11To8, t.dec10To8, 255);
        break;
    case CV_16U:
        decodePackedRowOf<uint16_t>(src, width, reinterpret_cast<uint16_t*>(dst), cn, t.dec11To16, t.dec10To16,
                                    65535);
        break;
    case CV_32F:
        decodePackedRowOf<float>(src, width, reinterpret_cast<float*>(dst), cn, clamp ? t.dec11Clamped : t.dec11,
                                 clamp ? t.dec10Clamped : t.dec10, 1.f);
        break;
    }
}

// ---- half floats ----------------------------------------------------------------------

// Channel counts differ (3 <-> 4 only): per pixel, missing channels opaque.
template <typename S, typename D, typename Conv>
void remapPixels(const S* src, int srcCn, D* dst, int dstCn, int width, D opaque, Conv conv)
{
    const int common = std::min(srcCn, dstCn);
    for (int x = 0; x < width; ++x, src += srcCn, dst += dstCn) {
        for (int c = 0; c < common; ++c)
            dst[c] = conv(src[c]);
        for (int c = common; c < dstCn; ++c)
            dst[c] = opaque;
    }
}

// `scratch` holds one converted row when the channel counts differ.
void encodeHalfRow(const uint8_t* src, int depth, int cn, int storageCn, int width, uint16_t* dst,
                   std::vector<uint8_t>& scratch)
{
    const HalfTables& t = halfTables();
    const int n = width * cn;
    switch (depth) {
    case CV_8U: {
        const uint16_t* lut = t.enc8.data();
        if (cn == storageCn) {
            for (int i = 0; i < n; ++i)
                dst[i] = lut[src[i]];
        } else {
            remapPixels(src, cn, dst, storageCn, width, kHalfOne, [lut](uint8_t v) { return lut[v]; });
        }
        break;
    }
    case CV_16U: {
        const auto* s = reinterpret_cast<const uint16_t*>(src);
        const uint16_t* lut = t.enc16.data();
        if (cn == storageCn) {
            for (int i = 0; i < n; ++i)
                dst[i] = lut[s[i]];
        } else {
            remapPixels(s, cn, dst, storageCn, width, kHalfOne, [lut](uint16_t v) { return lut[v]; });
        }
        break;
    }
    case CV_32F: {
        const cv::Mat in(1, n, CV_32F, const_cast<uint8_t*>(src));
        if (cn == storageCn) {
            cv::Mat out(1, n, CV_16F, dst);
            in.convertTo(out, CV_16F);
        } else {
            scratch.resize(size_t(n) * sizeof(uint16_t));
            cv::Mat out(1, n, CV_16F, scratch.data());
            in.convertTo(out, CV_16F);
            remapPixels(reinterpret_cast<const uint16_t*>(scratch.data()), cn, dst, storageCn, width, kHalfOne,
                        [](uint16_t v) { return v; });
        }
        break;
    }
    }
}

template <typename T>
void decodeHalfByTable(const uint16_t* src, int storageCn, int width, T* dst, int cn, const T* lut)
{
    if (cn == storageCn) {
        for (int i = 0, n = width * cn; i < n; ++i)
            dst[i] = lut[src[i]];
    } else {
        remapPixels(src, storageCn, dst, cn, width, std::numeric_limits<T>::max(),
                    [lut](uint16_t v) { return lut[v]; });
    }
}

void decodeHalfRow(const uint16_t* src, int storageCn, int width, uint8_t* dst, int depth, int cn, bool clamp,
                   std::vector<uint8_t>& scratch)
{
    const HalfTables& t = halfTables();
    switch (depth) {
    case CV_8U:
        decodeHalfByTable<uint8_t>(src, storageCn, width, dst, cn, t.decTo8.data());
        break;
    case CV_16U:
        decodeHalfByTable<uint16_t>(src, storageCn, width, reinterpret_cast<uint16_t*>(dst), cn, t.decTo16.data());
        break;
    case CV_32F: {
        auto* d = reinterpret_cast<float*>(dst);
        const cv::Mat in(1, width * storageCn, CV_16F, const_cast<uint16_t*>(src));
        if (cn == storageCn) {
            cv::Mat out(1, width * cn, CV_32F, d);
            in.convertTo(out, CV_32F);
        } else {
            scratch.resize(size_t(width) * storageCn * sizeof(float));
            cv::Mat out(1, width * storageCn, CV_32F, scratch.data());
            in.convertTo(out, CV_32F);
            remapPixels(reinterpret_cast<const float*>(scratch.data()), storageCn, d, cn, width, 1.f,
                        [](float v) { return v; });
        }
        if (clamp) {
            for (int i = 0, n = width * cn; i < n; ++i)
                d[i] = clamp01(d[i]);
        }
        break;
    }
    }
}

} // namespace

uint32_t GLPixelConvert::floatToUnsignedSmallFloat(float v, int mantissaBits)
{
    const uint32_t maxFinite = (30u << mantissaBits) | ((1u << mantissaBits) - 1u);
    if (std::isnan(v))
        return (31u << mantissaBits) | 1u;
    if (!(v > 0.f))
        return 0;
    if (std::isinf(v))
        return 31u << mantissaBits;

    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    const int exponent = int((bits >> 23) & 0xFF) - 127 + 15;
    const uint32_t mantissa = bits & 0x7FFFFF;
    // Keeps the top `mantissaBits` of the mantissa and rounds the rest to nearest even;
    // a carry out of the mantissa correctly bumps the exponent.
    auto roundShift = [](uint32_t value, int shift) {
        if (shift >= 32)
            return 0u;
        const uint32_t kept = value >> shift;
        const uint32_t rest = value & ((1u << shift) - 1u);
        const uint32_t half = 1u << (shift - 1);
        return kept + ((rest > half || (rest == half && (kept & 1u))) ? 1u : 0u);
    };
    const int shift = 23 - mantissaBits;
    uint32_t result;
    if (exponent <= 0) // denormal in the small format: the implicit 1 becomes explicit
        result = roundShift(mantissa | 0x800000u, shift + 1 - exponent);
    else if (exponent >= 31)
        return maxFinite;
    else
        result = roundShift((uint32_t(exponent) << 23) | mantissa, shift);
    return std::min(result, maxFinite);
}

float GLPixelConvert::unsignedSmallFloatToFloat(uint32_t bits, int mantissaBits)
{
    const uint32_t exponent = bits >> mantissaBits;
    const uint32_t mantissa = bits & ((1u << mantissaBits) - 1u);
    const float scale = float(1u << mantissaBits);
    if (exponent == 0)
        return std::ldexp(mantissa / scale, -14);
    if (exponent == 31)
        return mantissa ? std::nanf("") : INFINITY;
    return std::ldexp(1.f + mantissa / scale, int(exponent) - 15);
}

void GLPixelConvert::encode(const cv::Mat& src, int row0, int rows, GLFormatInfo::Staging staging,
                            int storageChannels, uint8_t* dst)
{
    const int width = src.cols;
    const int depth = src.depth();
    const int cn = src.channels();
    const size_t dstStep = staging == GLFormatInfo::Staging::Packed111110 ? size_t(width) * 4
                                                                          : size_t(width) * 2 * storageChannels;
    cv::parallel_for_(cv::Range(0, rows), [&](const cv::Range& r) {
        std::vector<uint8_t> scratch;
        for (int y = r.start; y < r.end; ++y) {
            const uint8_t* s = src.ptr<uint8_t>(row0 + y);
            uint8_t* d = dst + size_t(y) * dstStep;
            if (staging == GLFormatInfo::Staging::Packed111110)
                encodePackedRow(s, depth, cn, width, reinterpret_cast<uint32_t*>(d));
            else
                encodeHalfRow(s, depth, cn, storageChannels, width, reinterpret_cast<uint16_t*>(d), scratch);
        }
    });
}

void GLPixelConvert::decode(const uint8_t* src, int row0, int rows, GLFormatInfo::Staging staging,
                            int storageChannels, cv::Mat& dst, bool clamp)
{
    const int width = dst.cols;
    const int depth = dst.depth();
    const int cn = dst.channels();
    const size_t srcStep = staging == GLFormatInfo::Staging::Packed111110 ? size_t(width) * 4
                                                                          : size_t(width) * 2 * storageChannels;
    cv::parallel_for_(cv::Range(0, rows), [&](const cv::Range& r) {
        std::vector<uint8_t> scratch;
        for (int y = r.start; y < r.end; ++y) {
            const uint8_t* s = src + size_t(y) * srcStep;
            uint8_t* d = dst.ptr<uint8_t>(row0 + y);
            if (staging == GLFormatInfo::Staging::Packed111110)
                decodePackedRow(reinterpret_cast<const uint32_t*>(s), width, d, depth, cn, clamp);
            else
                decodeHalfRow(reinterpret_cast<const uint16_t*>(s), storageChannels, width, d, depth, cn, clamp, scratch);
        }
    });
}
