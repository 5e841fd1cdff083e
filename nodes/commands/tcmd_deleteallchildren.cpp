#include "nodes/commands/tcmd_deleteallchildren.h"
#include "nodes/nodeslogging.h"

#include "nodes/tnode.h"


TCmd_DeleteAllChildren::TCmd_DeleteAllChildren(unsigned int uid, const QString& text, QUndoCommand* parent)
    : TCmd(uid, QStringLiteral("TCmd_DeleteAllChildren"), false, false, text, parent)
{
}

void TCmd_DeleteAllChildren::redo()
{
    auto* node = qobject_cast<TNode*>(TImproc::ptr(uid()));
    if (!node)
        return;
    qCDebug(lcNodes) << "TCmd_DeleteChildrenNodes::redo() - will delete all children";
    while (node->childCount() > 0)
        delete node->children().last();
    node->emitChildCountChanged(node->childCount());
}
