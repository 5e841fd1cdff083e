#pragma once
// Thread: GUI thread. Owns: nothing. Errors: a node its parent does not list is not deleted.

#include "engine/tcmd.h"

// Deletes a node (and with it its subtree and their workers) when the queue reaches it.
class TCmd_DeleteNodeWithUid : public TCmd
{
public:
    explicit TCmd_DeleteNodeWithUid(unsigned int nodeUid, const QString& text = QString(),
                                    QUndoCommand* parent = nullptr);

    void redo() override;
    unsigned int nodeUid() const { return m_nodeUid; }

private:
    unsigned int m_nodeUid;
};
