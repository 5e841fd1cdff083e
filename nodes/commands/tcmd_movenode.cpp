#include "nodes/commands/tcmd_movenode.h"

#include "nodes/tnode.h"

TCmd_MoveNode::TCmd_MoveNode(unsigned int uid, unsigned int fromRow, unsigned int toRow, const QString& text,
                             QUndoCommand* parent)
    : TCmd(uid, QStringLiteral("TCmd_MoveNode"), false, true, text, parent)
    , m_fromRow(fromRow)
    , m_toRow(toRow)
{
}

void TCmd_MoveNode::redo()
{
    // The rows are the node's own children (the root's layers, for the root).
    if (auto* node = qobject_cast<TNode*>(TImproc::ptr(uid())))
        node->moveChildNode(m_fromRow, m_toRow);
}
