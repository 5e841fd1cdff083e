#include "nodes/commands/tcmd_procmode.h"

#include "nodes/tnoderootworker.h"

TCmd_ProcMode::TCmd_ProcMode(unsigned int uid, TImproc::ProcMode mode, const QString& text, QUndoCommand* parent)
    : TCmd(uid, QStringLiteral("TCmd_ProcMode"), false, false, text, parent)
    , m_mode(mode)
{
}

void TCmd_ProcMode::redo()
{
    if (auto* root = qobject_cast<TNodeRootWorker*>(TImprocWorker::ptr(uid())))
        root->setProcMode(m_mode);
}
