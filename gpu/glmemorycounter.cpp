#include "gpu/glmemorycounter.h"

#include <algorithm>

void GLMemoryCounter::add(int kb)
{
    const int total = m_total.fetch_add(kb) + kb;
    int mark = m_peak.load();
    while (total > mark && !m_peak.compare_exchange_weak(mark, total)) {
    }
}

void GLMemoryCounter::subtract(int kb)
{
    int total = m_total.load();
    while (!m_total.compare_exchange_weak(total, std::max(0, total - kb))) {
    }
}
