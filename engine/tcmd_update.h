#pragma once
// Thread: GUI thread. Owns: its tags. Errors: none (it only carries a render request).

#include "engine/tcmd.h"

// A render request for one output of the tree; the server sends it after redo.
class TCmd_Update : public TCmd
{
public:
    TCmd_Update(unsigned int uid, const QString& reqTag, const QString& fboId,
                const QString& text = QString(), QUndoCommand* parent = nullptr);

    QString reqTag() const { return m_reqTag; }
    QString fboId() const { return m_fboId; }

protected:
    // For the blocking variant, which differs only in type and flags.
    TCmd_Update(unsigned int uid, const QString& type, bool bUpdateEngine, const QString& reqTag,
                const QString& fboId, const QString& text, QUndoCommand* parent);

private:
    QString m_reqTag;
    QString m_fboId;
};
