#pragma once
// Thread: any (lock-free).
// Owns: two counters.
// Errors: none; subtracting more than was added stops at 0.

#include <atomic>

// Kilobytes of GPU memory held by one kind of object, with the high-water mark since the
// last resetPeak().
class GLMemoryCounter
{
public:
    void add(int kb);
    // Never below 0, even if the counter was reset under live objects.
    void subtract(int kb);
    int total() const { return m_total.load(); }
    int peak() const { return m_peak.load(); }
    void resetPeak() { m_peak.store(0); }

private:
    std::atomic<int> m_total{0};
    std::atomic<int> m_peak{0};
};
