#include "nodes/commands/tcmd_setinput.h"

#include "engine/timpserver.h"
#include "nodes/tnoderoot.h"

TCmd_SetInput::TCmd_SetInput(unsigned int uid, const TSMat& image, const QString& text, QUndoCommand* parent)
    : TCmd(uid, QStringLiteral("TCmd_SetInput"), false, false, text, parent)
    , m_image(image)
{
}

void TCmd_SetInput::redo()
{
    auto* root = qobject_cast<TNodeRoot*>(TImproc::ptr(uid()));
    if (root && !TImpServer::isStopped())
        emit root->inputChanged(m_image, uid());
}
