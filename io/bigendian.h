#pragma once
// Thread: any. Reads of the big-endian fields that PNG chunks and ICC profiles store.

#include <cstdint>

inline uint32_t readBigEndian32(const unsigned char* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
