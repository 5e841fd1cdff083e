#pragma once
// Thread: GUI thread. Owns: nothing. Errors: a missing stamp worker makes redo do nothing.

#include "engine/tcmd.h"

// Asks a stamp node for a new snapshot; repeated requests fold into one.
class Stamp_Cmd : public TCmd
{
public:
    explicit Stamp_Cmd(unsigned int uid, const QString& text = QString(), QUndoCommand* parent = nullptr);

    void redo() override;
    bool mergeWith(const QUndoCommand* other) override;
};
