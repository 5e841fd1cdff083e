#pragma once
// Thread: GUI thread. Owns: its tags. Errors: none.

#include "engine/tcmd_update.h"

// A render request during which the GUI thread waits for the render thread.
class TCmd_BlockAndUpdate : public TCmd_Update
{
public:
    TCmd_BlockAndUpdate(unsigned int uid, const QString& reqTag, const QString& fboId,
                        const QString& text = QString(), QUndoCommand* parent = nullptr);
};
