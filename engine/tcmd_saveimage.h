#pragma once
// Thread: GUI thread. Owns: the file name and options. Errors: none (the render thread reports).

#include "engine/tcmd.h"

#include <QUrl>
#include <QVariantMap>

// Renders the root at full resolution and writes it to a file (or, for an empty URL,
// delivers it in memory). Only an identical save folds into a queued one.
class TCmd_SaveImage : public TCmd
{
public:
    TCmd_SaveImage(unsigned int uid, const QUrl& fileName, const QVariantMap& fileParams,
                   const QString& text = QString(), QUndoCommand* parent = nullptr);

    bool mergeWith(const QUndoCommand* other) override;
    QUrl fileName() const { return m_fileName; }
    QVariantMap fileParams() const { return m_fileParams; }

private:
    QUrl m_fileName;
    QVariantMap m_fileParams;
};
