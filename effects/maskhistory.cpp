#include "effects/maskhistory.h"

qint64 MaskHistory::Entry::bytes() const
{
    return qint64(before.total() * before.elemSize() + after.total() * after.elemSize());
}

void MaskHistory::setByteLimit(qint64 bytes)
{
    m_byteLimit = bytes;
    while (m_entries.size() > 1 && m_bytes > m_byteLimit)
        dropOldest();
}

void MaskHistory::clear()
{
    m_entries.clear();
    m_index = -1;
    m_bytes = 0;
}

void MaskHistory::dropRedo()
{
    while (int(m_entries.size()) > m_index + 1) {
        m_bytes -= m_entries.back().bytes();
        m_entries.pop_back();
    }
}

void MaskHistory::append(Entry entry)
{
    dropRedo();
    m_bytes += entry.bytes();
    m_entries.push_back(std::move(entry));
    m_index = int(m_entries.size()) - 1;
    while (m_entries.size() > 1 && (m_bytes > m_byteLimit || m_entries.size() > size_t(kMaxEntries)))
        dropOldest();
}

const MaskHistory::Entry* MaskHistory::stepBack()
{
    if (m_index < 0)
        return nullptr;
    return &m_entries[size_t(m_index--)];
}

const MaskHistory::Entry* MaskHistory::stepForward()
{
    if (m_index + 1 >= int(m_entries.size()))
        return nullptr;
    return &m_entries[size_t(++m_index)];
}

void MaskHistory::dropOldest()
{
    // An undone oldest entry takes the redo branch with it: later entries start from its
    // "after" image.
    if (m_index < 0) {
        clear();
        return;
    }
    m_bytes -= m_entries.front().bytes();
    m_entries.pop_front();
    --m_index;
}
