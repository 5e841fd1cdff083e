#include "nodes/commands/tcmd_canvas.h"

#include "nodes/tnoderoot.h"
#include "nodes/tnoderootworker.h"

TCmd_Canvas::TCmd_Canvas(unsigned int uid, const QSize& canvasSize, const QColor& canvasColor, float lowrezScale,
                         float thumbnailScale, bool canUndoRedo, const QString& text, QUndoCommand* parent)
    : TCmd(uid, QStringLiteral("TCmd_Canvas"), canUndoRedo, true, text, parent)
    , m_new{canvasSize, canvasColor, lowrezScale, thumbnailScale}
{
}

void TCmd_Canvas::redo()
{
    auto* root = qobject_cast<TNodeRootWorker*>(TImprocWorker::ptr(uid()));
    if (!root)
        return;
    m_old = Canvas{root->canvasSize(), root->canvasColor(), root->lowrezScale(), root->thumbnailScale()};
    apply(m_new);
}

void TCmd_Canvas::undo()
{
    apply(m_old);
}

void TCmd_Canvas::apply(const Canvas& c) const
{
    auto* root = qobject_cast<TNodeRootWorker*>(TImprocWorker::ptr(uid()));
    if (!root)
        return;
    root->setCanvas(c.size, c.color, c.lowrezScale, c.thumbnailScale);
    // At once, as parameter commands do: a queued update would land after the next edit.
    if (auto* gui = qobject_cast<TNodeRoot*>(TImproc::ptr(uid())))
        gui->showCanvas(c.size, c.color, c.lowrezScale, c.thumbnailScale);
}
