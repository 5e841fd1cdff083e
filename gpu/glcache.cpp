#include "gpu/glcache.h"

std::atomic<int> GLCache::s_maxKB{0};
std::atomic<int> GLCache::s_maxCount{0};

void GLCache::setMax(int maxKB, int maxCount)
{
    s_maxKB = maxKB;
    s_maxCount = maxCount;
}

void GLCache::clearAll(bool)
{
    // Nothing is cached yet: results and pooled framebuffers arrive with the framebuffer layer.
}
