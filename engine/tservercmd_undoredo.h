#pragma once
// Thread: GUI thread. Owns: nothing. Errors: none.

#include "engine/tcmd.h"

class TUndoHistory;

// Undo or redo as a queued command: it waits for its turn like any edit, so it never
// overlaps a render, and it asks for a render so views show the restored state.
class TServerCmd_UndoRedo : public TCmd
{
public:
    TServerCmd_UndoRedo(unsigned int uid, bool isUndo, TUndoHistory* stack,
                        const QString& text = QString(), QUndoCommand* parent = nullptr);

    void redo() override;
    bool isUndo() const { return m_isUndo; }

private:
    bool m_isUndo;
    TUndoHistory* m_stack_p;
};
