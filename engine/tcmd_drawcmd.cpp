#include "engine/tcmd_drawcmd.h"

#include "engine/timprocworker.h"

TCmd_DrawCmd::TCmd_DrawCmd(unsigned int uid, const DrawPoint& point, const QString& text, QUndoCommand* parent)
    : TCmd(uid, QStringLiteral("TModuleCmd_DrawCmd"), false, true, text, parent)
    , m_points{point}
{
}

void TCmd_DrawCmd::redo()
{
    if (TImprocWorker* worker = TImprocWorker::ptr(uid()))
        worker->appendDrawCmds(m_points);
}

bool TCmd_DrawCmd::mergeWith(const QUndoCommand* other)
{
    auto* o = dynamic_cast<const TCmd_DrawCmd*>(other);
    if (!o || o->uid() != uid() || o->type() != type() || o->m_points.isEmpty() || m_points.isEmpty())
        return false;
    const DrawPoint& first = o->m_points.first();
    const DrawPoint& last = m_points.last();
    if (first.layerId != last.layerId || first.which != last.which)
        return false;
    if (last.isEnd && !last.isBegin)
        return false;
    m_points.append(o->m_points);
    return true;
}
