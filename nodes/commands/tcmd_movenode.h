#pragma once
// Thread: GUI thread. Owns: nothing. Errors: rows out of range move nothing.

#include "engine/tcmd.h"

// Moves one of a node's children from one row to another among its children.
class TCmd_MoveNode : public TCmd
{
public:
    TCmd_MoveNode(unsigned int uid, unsigned int fromRow, unsigned int toRow, const QString& text = QString(),
                  QUndoCommand* parent = nullptr);
    void redo() override;

private:
    unsigned int m_fromRow;
    unsigned int m_toRow;
};
