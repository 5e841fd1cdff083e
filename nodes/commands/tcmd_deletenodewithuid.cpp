#include "nodes/commands/tcmd_deletenodewithuid.h"
#include "nodes/nodeslogging.h"

#include "nodes/tnode.h"


TCmd_DeleteNodeWithUid::TCmd_DeleteNodeWithUid(unsigned int nodeUid, const QString& text, QUndoCommand* parent)
    : TCmd(0, QStringLiteral("TCmd_DeleteNodeWithUid"), false, false, text, parent)
    , m_nodeUid(nodeUid)
{
}

void TCmd_DeleteNodeWithUid::redo()
{
    auto* node = qobject_cast<TNode*>(TImproc::ptr(m_nodeUid));
    if (!node)
        return;
    TNode* parentNode = node->parent();
    if (!parentNode) {
        delete node;
        return;
    }
    const int index = parentNode->indexOfChild(node);
    if (index < 0) {
        qCWarning(lcNodes) << "ERROR - TCmd_DeleteNodeWithUid::redo() - child not found" << node << parentNode;
        return;
    }
    parentNode->removeChildren(index, 1);
}
