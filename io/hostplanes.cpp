#include "io/hostplanes.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr uint32_t kHostOne = 32768; // full intensity of a host's 16-bit plane
}

uint16_t HostPlanes::toWide(uint16_t value, int depth)
{
    if (depth == 1)
        return uint16_t(std::min<uint32_t>(value, 255u) * 257u);
    const uint32_t v = std::min<uint32_t>(value, kHostOne);
    return uint16_t((v * 65535u + kHostOne / 2) / kHostOne);
}

uint16_t HostPlanes::fromWide(uint16_t value, int depth)
{
    if (depth == 1)
        return uint16_t((uint32_t(value) + 128u) / 257u);
    return uint16_t((uint32_t(value) * kHostOne + 65535u / 2) / 65535u);
}

bool HostPlanes::isValid(unsigned width, unsigned height, const uchar* const planes[3], long rowBytes, int depth)
{
    if (width == 0 || height == 0 || (depth != 1 && depth != 2))
        return false;
    if (!planes[0] || !planes[1] || !planes[2])
        return false;
    return rowBytes >= long(width) * depth;
}

bool HostPlanes::gather(unsigned width, unsigned height, const uchar* const planes[3], long rowBytes, int depth,
                        cv::Mat& rgb)
{
    if (!isValid(width, height, planes, rowBytes, depth))
        return false;
    rgb.create(int(height), int(width), CV_16UC3);
    for (int y = 0; y < int(height); ++y) {
        auto* out = rgb.ptr<uint16_t>(y);
        for (int c = 0; c < 3; ++c) {
            const uchar* row = planes[c] + long(y) * rowBytes;
            for (int x = 0; x < int(width); ++x) {
                uint16_t v = row[x];
                if (depth == 2)
                    std::memcpy(&v, row + 2 * x, 2); // a host's rows need not be aligned
                out[x * 3 + c] = toWide(v, depth);
            }
        }
    }
    return true;
}

bool HostPlanes::scatter(const cv::Mat& rgb, uchar* const planes[3], long rowBytes, int depth)
{
    if (rgb.type() != CV_16UC3 || !isValid(unsigned(rgb.cols), unsigned(rgb.rows), planes, rowBytes, depth))
        return false;
    for (int y = 0; y < rgb.rows; ++y) {
        const auto* in = rgb.ptr<uint16_t>(y);
        for (int c = 0; c < 3; ++c) {
            uchar* row = planes[c] + long(y) * rowBytes;
            for (int x = 0; x < rgb.cols; ++x) {
                const uint16_t v = fromWide(in[x * 3 + c], depth);
                if (depth == 1)
                    row[x] = uchar(v);
                else
                    std::memcpy(row + 2 * x, &v, 2);
            }
        }
    }
    return true;
}
