#pragma once
// Thread: GUI thread. Owns: the file name. Errors: none.

#include "engine/tcmd.h"

// Renders the thumbnail root and writes it to a file.
class TCmd_SaveThumbnail : public TCmd
{
public:
    TCmd_SaveThumbnail(unsigned int uid, const QString& fileName, const QString& text = QString(),
                       QUndoCommand* parent = nullptr);

    bool mergeWith(const QUndoCommand* other) override;
    QString fileName() const { return m_fileName; }

private:
    QString m_fileName;
};
