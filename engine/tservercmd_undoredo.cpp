#include "engine/tservercmd_undoredo.h"

#include "engine/tundohistory.h"

TServerCmd_UndoRedo::TServerCmd_UndoRedo(unsigned int uid, bool isUndo, TUndoHistory* stack,
                                         const QString& text, QUndoCommand* parent)
    : TCmd(uid, QStringLiteral("TCmdServer_UndoRedo"), false, true, text, parent)
    , m_isUndo(isUndo)
    , m_stack_p(stack)
{
}

void TServerCmd_UndoRedo::redo()
{
    if (!m_stack_p)
        return;
    if (m_isUndo)
        m_stack_p->undo();
    else
        m_stack_p->redo();
}
