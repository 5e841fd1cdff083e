#pragma once
// Thread: render thread, with the engine context current; not locked (one owner, one thread).
// Owns: two one-channel float framebuffers of the mask size, the dab program with its vertex
//       array, and the stroke history's CPU images.
// Errors: without buffers (before reset, or when none could be had) dabs are dropped and
//         nothing is drawn; commands that do not apply in the current state do nothing.

#include "effects/maskdab.h"
#include "effects/maskhistory.h"
#include "effects/teffectmaskdrawtriangle.h"
#include "gpu/tsfbo.h"

#include <QRect>
#include <QVector>

// Renders the dabs of a brush mask and keeps its undo history. An operation (a stroke, a
// reset or an inversion) opens with "start", "reset" or "invert", closes with "snapshot",
// and is recorded at the next render as the area it changed, before and after. Buffers are
// GL_R32F: low-flow dabs keep adding where an 8-bit target would stall after rounding.
class MaskPainter
{
public:
    // New cleared buffers of `size` and an empty history; false when none could be had.
    bool reset(const QSize& size);
    QSize size() const { return m_mask0.size(); }
    // Takes the dabs in order and renders them; colour-aware dabs sample `colorSource`.
    // A finished operation is rendered and recorded before the next dab that opens one or
    // moves in the history, so every stroke of a batch is drawn. Returns the area of the
    // live mask that may have changed.
    QRect process(const QVector<MaskDab>& dabs, const TSFbo& colorSource);
    // The live mask, in the red channel.
    const TSFbo& mask() const { return m_mask0; }
    MaskHistory& history() { return m_history; }
    bool isOperationOpen() const { return m_operationOpen; }

private:
    void takeDab(const MaskDab& dab);
    void open(bool takesDabs);
    void queueDab(const MaskDab& dab);
    void restore(const MaskHistory::Entry* entry, bool after);
    void render(const TSFbo& colorSource);
    void recordOperation();
    // The snapshot's area with a pixel of margin, or the whole mask when it is missing or
    // smaller than 3 pixels.
    QRect operationArea(const QRectF& area) const;
    static void clear(TSFbo& target);

    TSFbo m_mask0; // "mask0": the live mask, where dabs land
    TSFbo m_mask1; // "mask1": the mask before the open operation; equal to mask0 otherwise
    MaskHistory m_history;
    TEffectMaskDrawTriangle m_drawTriangle;

    bool m_resetPending = false;
    bool m_operationOpen = false;
    bool m_operationFinished = false;
    QRect m_operationArea;
    bool m_takingDabs = false;
    bool m_invertPending = false;
    QRect m_changed; // of the live mask, during process
};
