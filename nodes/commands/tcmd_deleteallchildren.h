#pragma once
// Thread: GUI thread. Owns: nothing. Errors: a missing node makes redo do nothing.

#include "engine/tcmd.h"

// Deletes every child of a node, last first.
class TCmd_DeleteAllChildren : public TCmd
{
public:
    explicit TCmd_DeleteAllChildren(unsigned int uid, const QString& text = QString(), QUndoCommand* parent = nullptr);
    void redo() override;
};
