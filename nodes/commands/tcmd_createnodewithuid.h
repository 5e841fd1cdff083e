#pragma once
// Thread: GUI thread. Owns: the class name and initial parameters.
// Errors: an unregistered class creates nothing.

#include "engine/tcmd.h"

#include <QVariantMap>

// Creates a node of a registered class under a chosen id when the queue reaches it, so
// parameter commands queued behind it for that id find their target.
class TCmd_CreateNodeWithUid : public TCmd
{
public:
    TCmd_CreateNodeWithUid(const QString& className, unsigned int uid, unsigned int parentUid,
                           const QString& text = QString(), QUndoCommand* parent = nullptr,
                           const QVariantMap& params = QVariantMap());

    void redo() override;
    QString className() const { return m_className; }
    unsigned int nodeUid() const { return m_nodeUid; }
    unsigned int parentUid() const { return m_parentUid; }

private:
    QString m_className;
    unsigned int m_nodeUid;
    unsigned int m_parentUid;
    QVariantMap m_params;
};
