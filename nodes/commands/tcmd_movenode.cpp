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
    auto* node = qobject_cast<TNode*>(TImproc::ptr(uid()));
    if (TNode* parentNode = node ? node->parent() : nullptr)
        parentNode->moveChildNode(m_fromRow, m_toRow);
}
