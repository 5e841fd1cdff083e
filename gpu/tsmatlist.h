#pragma once
// Thread: one thread at a time (not synchronised); the image list uses it on the render thread.
// Owns: its entries (shared TSMat handles); copies share the entries through Qt implicit sharing.
// Errors: none; at() with an index out of range is the caller's fault.

#include "gpu/tsmat.h"

#include <QList>
#include <QString>

// A browsable history of images with a cursor, like an undo history: going back and then
// pushing drops everything after the cursor.
class TSMatList
{
public:
    struct Data
    {
        TSMat mat;
        QString name;
    };

    TSMatList();

    // Drops the entries after the cursor, appends the new one and moves the cursor onto it.
    void push(const Data& data);
    // The caller guarantees 0 <= i < count().
    Data at(int i) const;
    int count() const;
    int currentIndex() const;
    bool hasNext() const;
    bool hasPrev() const;
    // Move the cursor by one; nothing happens at either end.
    void next();
    void prev();
    void clear();

private:
    int m_currentIndex;
    QList<Data> m_items;
};
