#pragma once
// Thread: GUI thread. Owns: nothing. Errors: an end without a begin does nothing.

#include "engine/tcmd.h"

// Opens or closes a group on the server's undo stack: the undoable commands that run between
// the two are one undo step (a whole preset, for instance). Neither is an undo step itself
// nor asks for a render.
class TCmd_UndoGroup : public TCmd
{
public:
    enum Edge { Begin, End };
    explicit TCmd_UndoGroup(Edge edge, const QString& text = QString());

    void redo() override;

private:
    Edge m_edge;
};
