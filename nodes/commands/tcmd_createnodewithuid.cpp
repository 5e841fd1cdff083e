#include "nodes/commands/tcmd_createnodewithuid.h"

#include "nodes/tnode.h"
#include "nodes/tnodefactory.h"

TCmd_CreateNodeWithUid::TCmd_CreateNodeWithUid(const QString& className, unsigned int uid, unsigned int parentUid,
                                               const QString& text, QUndoCommand* parent, const QVariantMap& params)
    : TCmd(0, QStringLiteral("TCmd_CreateNodeWithUid"), false, false, text, parent)
    , m_className(className)
    , m_nodeUid(uid)
    , m_parentUid(parentUid)
    , m_params(params)
{
}

void TCmd_CreateNodeWithUid::redo()
{
    TImproc* parentObject = m_parentUid ? TImproc::ptr(m_parentUid) : nullptr;
    TNode* node = TNodeFactory::create(m_className, parentObject, m_nodeUid);
    if (!node)
        return;
    // The GUI shows the initial values at once; the worker receives them from the
    // parameters-only command queued behind this one. Neither becomes an undo step:
    // creating a node from a preset is not an edit. Children arrive as commands of their own.
    QVariantMap own = m_params;
    own.remove(QStringLiteral("_children_"));
    if (!own.isEmpty())
        node->updateParamsFromWorker(own);
    if (auto* parentNode = qobject_cast<TNode*>(parentObject))
        parentNode->emitChildCountChanged(parentNode->childCount());
}
