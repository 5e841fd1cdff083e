#pragma once
// Thread: GUI thread; writes the root worker's canvas while no render runs.
// Owns: the new and the previous canvas values.
// Errors: a missing root worker makes redo/undo do nothing.

#include "engine/tcmd.h"

#include <QColor>
#include <QSize>

// Canvas size, colour and the two preview scales of a root. Undoable when the user
// changed them; not when they follow an image load, so undo never blanks or stretches
// a newly loaded image.
class TCmd_Canvas : public TCmd
{
public:
    TCmd_Canvas(unsigned int uid, const QSize& canvasSize, const QColor& canvasColor, float lowrezScale,
                float thumbnailScale, bool canUndoRedo = true, const QString& text = QString(),
                QUndoCommand* parent = nullptr);

    void redo() override;
    void undo() override;

private:
    struct Canvas
    {
        QSize size;
        QColor color;
        float lowrezScale;
        float thumbnailScale;
    };
    // Applies `c` to the worker and shows it on the GUI root, the first redo included: an
    // undo run between the edit and its first redo has shown the GUI an older canvas.
    void apply(const Canvas& c) const;

    Canvas m_new;
    Canvas m_old{QSize(-1, -1), QColor(), 1.0f, 1.0f};
};
