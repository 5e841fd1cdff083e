#pragma once
// Thread: GUI thread; the image reaches the render thread by a blocking call.
// Owns: a shared handle on the image. Errors: a missing root makes redo do nothing.

#include "engine/tcmd.h"
#include "gpu/tsmat.h"

// Hands a new input image to a root when the queue reaches it.
class TCmd_SetInput : public TCmd
{
public:
    TCmd_SetInput(unsigned int uid, const TSMat& image, const QString& text = QString(),
                  QUndoCommand* parent = nullptr);
    void redo() override;

private:
    TSMat m_image;
};
