#include "nodes/commands/stamp_cmd.h"

#include "nodes/tnodestampworker.h"

Stamp_Cmd::Stamp_Cmd(unsigned int uid, const QString& text, QUndoCommand* parent)
    : TCmd(uid, QStringLiteral("stamp"), false, true, text, parent)
{
}

void Stamp_Cmd::redo()
{
    // The render that follows this command takes the new snapshot.
    if (auto* worker = qobject_cast<TNodeStampWorker*>(TImprocWorker::ptr(uid())))
        worker->setStampFlag(true);
}

bool Stamp_Cmd::mergeWith(const QUndoCommand* other)
{
    auto* o = dynamic_cast<const Stamp_Cmd*>(other);
    return o && o->uid() == uid() && o->type() == type();
}
