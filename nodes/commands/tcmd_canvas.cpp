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
    apply(m_new, m_redoneOnce);
    m_redoneOnce = true;
}

void TCmd_Canvas::undo()
{
    apply(m_old, true);
}

void TCmd_Canvas::apply(const Canvas& c, bool showOnGui) const
{
    auto* root = qobject_cast<TNodeRootWorker*>(TImprocWorker::ptr(uid()));
    if (!root)
        return;
    root->setCanvas(c.size, c.color, c.lowrezScale, c.thumbnailScale);
    if (!showOnGui)
        return;
    if (auto* gui = qobject_cast<TNodeRoot*>(TImproc::ptr(uid())))
        QMetaObject::invokeMethod(gui, "showCanvas", Qt::QueuedConnection, Q_ARG(QSize, c.size),
                                  Q_ARG(QColor, c.color), Q_ARG(float, c.lowrezScale), Q_ARG(float, c.thumbnailScale));
}
