#include "gpu/tsmatlist.h"

TSMatList::TSMatList()
    : m_currentIndex(-1)
{
}

void TSMatList::push(const Data& data)
{
    while (m_items.count() > m_currentIndex + 1)
        m_items.removeLast();
    m_items.append(data);
    m_currentIndex = m_items.count() - 1;
}

TSMatList::Data TSMatList::at(int i) const
{
    return m_items.at(i);
}

int TSMatList::count() const
{
    return m_items.count();
}

int TSMatList::currentIndex() const
{
    return m_currentIndex;
}

bool TSMatList::hasNext() const
{
    return m_currentIndex < m_items.count() - 1;
}

bool TSMatList::hasPrev() const
{
    return m_currentIndex > 0;
}

void TSMatList::next()
{
    if (hasNext())
        ++m_currentIndex;
}

void TSMatList::prev()
{
    if (hasPrev())
        --m_currentIndex;
}

void TSMatList::clear()
{
    m_items.clear();
    m_currentIndex = -1;
}
