#include "engine/tcmd_undogroup.h"

#include "engine/timpserver.h"

#include "engine/tundohistory.h"

namespace {
// Groups opened and not yet closed (GUI thread only, like the stack).
int s_openGroups = 0;
}

TCmd_UndoGroup::TCmd_UndoGroup(Edge edge, const QString& text)
    : TCmd(0, QStringLiteral("TCmd_UndoGroup"), false, false, text)
    , m_edge(edge)
{
}

void TCmd_UndoGroup::redo()
{
    TUndoHistory* stack = TImpServer::undoStack();
    if (!stack)
        return;
    if (m_edge == Begin) {
        ++s_openGroups;
        stack->beginGroup();
    } else if (s_openGroups > 0) {
        --s_openGroups;
        stack->endGroup();
    }
}
