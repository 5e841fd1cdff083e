#include "nodes/commands/tcmd_createnodewithuid.h"
#include "nodes/nodeslogging.h"

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
    // A parent deleted (or never made, for an unknown class) before this command ran: a node
    // made now would belong to no tree and live until shutdown.
    if (m_parentUid && !parentObject) {
        qCWarning(lcNodes).noquote() << "ERROR!!! no node" << m_parentUid << "to add a" << m_className << "to; it is not created";
        return;
    }
    TNode* node = TNodeFactory::create(m_className, parentObject, m_nodeUid);
    if (!node) {
        qCWarning(lcNodes).noquote() << "ERROR!!! no node class named" << m_className;
        return;
    }
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
