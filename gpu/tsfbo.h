#pragma once
// Thread: handles may be copied on any thread; GL work happens on the render thread.
// Owns: a shared reference to a framebuffer record.
// Errors: a null handle reports no texture and an empty size.

#include "engine/tuid.h"

#include <QMetaType>
#include <QSharedPointer>
#include <QSize>

// GPU-side image value: a shared handle on a framebuffer object with an identity (uid)
// that changes whenever its content changes.
class TSFbo
{
public:
    TSFbo() = default;
    virtual ~TSFbo() = default;

    bool isNull() const { return !m_data; }
    unsigned int uid() const { return m_data ? m_data->uid.uid() : 0; }
    QSize size() const { return m_data ? m_data->size : QSize(); }
    unsigned int texture() const { return m_data ? m_data->texture : 0; }

private:
    struct Data
    {
        TUid uid;
        QSize size;
        unsigned int texture = 0;
    };
    QSharedPointer<Data> m_data;
};
Q_DECLARE_METATYPE(TSFbo)
