#pragma once
// Thread: any; the lookup tables are built once, thread-safely, on first use.
// Owns: nothing (the tables are process-wide constants).
// Errors: none; callers check the pair with GLFormatInfo::transfer first.

#include "gpu/glformatinfo.h"

#include <opencv2/core.hpp>

#include <cstdint>

// CPU side of the fast transfers: converts matrix rows of 8U, 16U or 32F into a texture's
// own storage layout (packed 11/11/10-bit floats or half floats) and back, with lookup
// tables, on all cores. Channels the storage lacks are dropped on encode; channels the
// storage lacks read as opaque alpha on decode.
class GLPixelConvert
{
public:
    // Encodes `rows` rows of `src` starting at `row0` into `dst`, tightly packed, in the
    // storage layout of `staging` with `storageChannels` channels (ignored when packed).
    static void encode(const cv::Mat& src, int row0, int rows, GLFormatInfo::Staging staging,
                       int storageChannels, uint8_t* dst);
    // The inverse: `rows` tightly packed storage rows of `src` into `dst` rows from `row0`.
    // With `clamp`, float results are limited to [0, 1] (integer results always are).
    static void decode(const uint8_t* src, int row0, int rows, GLFormatInfo::Staging staging,
                       int storageChannels, cv::Mat& dst, bool clamp);

    // Unsigned small floats of GL_R11F_G11F_B10F: 5 exponent bits, `mantissaBits` (6 or 5)
    // mantissa bits. Round to nearest even; negatives become 0, finite values beyond the
    // range the largest finite value.
    static uint32_t floatToUnsignedSmallFloat(float v, int mantissaBits);
    static float unsignedSmallFloatToFloat(uint32_t bits, int mantissaBits);
};
