#pragma once
// Thread: GUI thread. Owns: its points. Errors: a missing worker makes redo do nothing.

#include "engine/tcmd.h"
#include "engine/tdrawpoint.h"

#include <QList>

// Brush or drawing input for one worker. Consecutive points of one stroke on one
// layer fold into a single command while they wait in the queue.
class TCmd_DrawCmd : public TCmd
{
public:
    using DrawPoint = TDrawPoint;

    TCmd_DrawCmd(unsigned int uid, const DrawPoint& point, const QString& text = QString(),
                 QUndoCommand* parent = nullptr);

    void redo() override;
    bool mergeWith(const QUndoCommand* other) override;

    QList<DrawPoint> points() const { return m_points; }

private:
    QList<DrawPoint> m_points;
};
