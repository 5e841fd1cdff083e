#pragma once
// Thread: GUI thread. Owns: nothing. Errors: rows out of range move nothing.

#include "engine/tcmd.h"

// Moves a node among its siblings (rows are positions under its parent).
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
