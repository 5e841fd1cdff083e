#include "nodes/commands/tcmd_deletelastchild.h"
#include "nodes/nodeslogging.h"

#include "nodes/tnode.h"


TCmd_DeleteLastChild::TCmd_DeleteLastChild(unsigned int uid, unsigned int childUid, const QString& text,
                                           QUndoCommand* parent)
    : TCmd(uid, QStringLiteral("TCmd_DeleteLastChild"), false, false, text, parent)
    , m_childUid(childUid)
{
}

void TCmd_DeleteLastChild::redo()
{
    auto* node = qobject_cast<TNode*>(TImproc::ptr(uid()));
    if (!node)
        return;
    qCDebug(lcNodes) << "TCmd_DeleteLastChild::redo() - will delete last child";
    if (node->childCount() == 0)
        return;
    auto* last = qobject_cast<TNode*>(node->children().last());
    if (!last || unsigned(last->uid()) != m_childUid)
        return;
    qCDebug(lcNodes) << "TCmd_DeleteLastChild::redo() - uid confirmed to delete" << m_childUid;
    delete last;
    node->emitChildCountChanged(node->childCount());
}
