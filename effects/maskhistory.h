#pragma once
// Thread: render thread (owned by the mask painter); not locked.
// Owns: the CPU images of its entries.
// Errors: none; stepping past either end returns null.

#include <QRect>
#include <QtGlobal>

#include <opencv2/core.hpp>

#include <deque>

// The undo history of a painted mask: per operation the area it changed, with the mask's
// pixels there before and after. Bounded by bytes, oldest dropped first, so long painting
// sessions cannot exhaust memory; the newest entry always stays.
class MaskHistory
{
public:
    struct Entry
    {
        QRect rect;
        cv::Mat before;
        cv::Mat after;

        qint64 bytes() const;
    };

    static constexpr qint64 kDefaultByteLimit = qint64(256) << 20;
    static constexpr int kMaxEntries = 2147483646;

    void setByteLimit(qint64 bytes);
    void clear();
    // A new operation replaces whatever could still be redone.
    void dropRedo();
    // Drops the redo branch, appends `entry` and makes it the current one.
    void append(Entry entry);
    // The current entry, which then stops being current; null when there is nothing to undo.
    const Entry* stepBack();
    // The entry after the current one, which becomes current; null when there is none.
    const Entry* stepForward();

    int count() const { return int(m_entries.size()); }
    // Index of the last applied entry, -1 when none is.
    int index() const { return m_index; }
    qint64 bytes() const { return m_bytes; }
    const Entry& entry(int i) const { return m_entries.at(size_t(i)); }

private:
    void dropOldest();

    std::deque<Entry> m_entries;
    int m_index = -1;
    qint64 m_bytes = 0;
    qint64 m_byteLimit = kDefaultByteLimit;
};
