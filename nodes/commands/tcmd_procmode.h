#pragma once
// Thread: GUI thread. Owns: nothing. Errors: a missing root worker makes redo do nothing.

#include "engine/tcmd.h"
#include "engine/timproc.h"

// Resolution of the root's next renders (full, preview, thumbnail or none).
class TCmd_ProcMode : public TCmd
{
public:
    TCmd_ProcMode(unsigned int uid, TImproc::ProcMode mode, const QString& text = QString(),
                  QUndoCommand* parent = nullptr);
    void redo() override;

private:
    TImproc::ProcMode m_mode;
};
