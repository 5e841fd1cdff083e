#pragma once
// Thread: render thread (the budget may be read from any thread).
// Owns: cached GPU results and pooled framebuffers.
// Errors: none; requests beyond the budget evict older entries.

#include <atomic>

// Keyed cache of GPU results and the framebuffer pool, bounded by a memory budget in KB
// and an entry count.
class GLCache
{
public:
    static void setMax(int maxKB, int maxCount);
    static int maxKB() { return s_maxKB.load(); }
    static int maxCount() { return s_maxCount.load(); }
    // Drops every cached result; with `includePool` also the pooled framebuffers.
    static void clearAll(bool includePool);

private:
    static std::atomic<int> s_maxKB;
    static std::atomic<int> s_maxCount;
};
