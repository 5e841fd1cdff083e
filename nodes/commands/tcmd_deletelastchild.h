#pragma once
// Thread: GUI thread. Owns: nothing. Errors: a last child with another id is not deleted.

#include "engine/tcmd.h"

// Deletes a node's last child, but only when it is the one named: a preset removed
// after other children were added must not take another node with it.
class TCmd_DeleteLastChild : public TCmd
{
public:
    TCmd_DeleteLastChild(unsigned int uid, unsigned int childUid, const QString& text = QString(),
                         QUndoCommand* parent = nullptr);
    void redo() override;

private:
    unsigned int m_childUid;
};
