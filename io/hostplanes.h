#pragma once
// Thread: any (stateless).
// Owns: nothing; reads from and writes into the caller's plane buffers.
// Errors: false for null planes, a depth other than 1 or 2, or rows shorter than the width.

#include <cstdint>

#include <opencv2/core.hpp>

// Three separate colour planes as a host application holds them: 8-bit samples (0 to 255)
// or "16-bit" samples that run from 0 to 32768. Both are scaled to and from the full
// 16-bit range exactly, so a round trip returns the host's values.
class HostPlanes
{
public:
    static uint16_t toWide(uint16_t value, int depth);
    static uint16_t fromWide(uint16_t value, int depth);

    static bool isValid(unsigned width, unsigned height, const uchar* const planes[3], long rowBytes, int depth);
    // Interleaves the planes into a CV_16UC3 matrix, scaled to the full 16-bit range.
    static bool gather(unsigned width, unsigned height, const uchar* const planes[3], long rowBytes, int depth,
                       cv::Mat& rgb);
    // Splits a CV_16UC3 matrix into the planes, scaled back to the host's range.
    static bool scatter(const cv::Mat& rgb, uchar* const planes[3], long rowBytes, int depth);
};
