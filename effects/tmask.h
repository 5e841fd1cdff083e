#pragma once
// Thread: render thread, with the engine context current (the owning effect worker's thread).
// Owns: the mask framebuffer it hands out (copies are shared handles: a later stroke copies
//       it before drawing, so a handed-out mask never changes), the reduced colour
//       source, the painter with its history, and the state of the stroke in progress.
// Errors: setup returns false for an empty image and changes nothing; samples before a
//         successful setup are left in the caller's map ("TMask::procCmds - Mask Buffer is
//         empty"); samples with numbers that are not finite, and unknown commands, are dropped.

#include "effects/brushpoint.h"
#include "effects/maskdab.h"
#include "effects/maskpainter.h"
#include "gpu/tsfbo.h"

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QVariantMap>
#include <QVector>

#include <array>
#include <cfloat>
#include <vector>

// A brush-painted mask at reduced resolution (about 1500 pixels on the longer side). Brush
// samples become dabs one spacing (half the radius) apart along the stroke, straight or
// smoothed through the midpoints of the samples; the painter draws them and records strokes
// for undo. The mask is handed out inverted when asked: painting removes the effect there.
class TMask
{
public:
    explicit TMask(const QString& maskId);

    // Prepares a cleared mask for `image` (called for every new input image; the painted
    // mask and its history are discarded). False, changing nothing, for an empty image;
    // false too when no framebuffer could be had (samples then wait, as before a set-up).
    bool setup(const TSFbo& image);
    // The largest brush radius in full-resolution image pixels.
    int maxBrushRadius() const;
    // Takes this mask's samples out of `cmds` (other ids stay for other masks), turns them
    // into dabs and renders them. Returns `cmds`.
    BrushPointsByMask& procCmds(BrushPointsByMask& cmds);
    // The mask in GL_R8 (0 unpainted); with `invert` a new framebuffer holding 1 - value.
    TSFbo getMask(bool invert) const;
    QString maskId() const { return m_maskId; }

    // Turns samples into dabs for a mask of `maskSize` (CPU only; they wait in dabs()).
    void procDrawCmds(const QList<BrushPoint>& samples, const QSize& maskSize);
    const QVector<MaskDab>& dabs() const { return m_dabs; }

    QSize maskSize() const { return m_maskSize; }
    QSize imageSize() const { return m_imageSize; }
    int downscale() const { return m_downscale; }
    int dabRadiusScale() const { return m_dabRadiusScale; }
    MaskPainter& painter() { return m_painter; }

private:
    static constexpr int kColorSourceTile = 1600;

    QList<BrushPoint> takeDrawCmds(BrushPointsByMask& cmds) const;
    void initMaskBuffer(const QSize& size);
    void drawColorSource(const TSFbo& image);
    void doProcMask(const QVector<MaskDab>& dabs);

    void command(const QString& name);
    void beginStroke(const QVariantMap& settings, const QPointF& at);
    void endStroke();
    void continueStroke(const QPointF& at);
    // Places dabs one spacing apart along the polyline of `count` points from `path`, which
    // starts at lastDabPos.
    void placeDabsAlong(const QPointF* path, size_t count, double spacing);
    void drawDab();
    // Grows `area` (minX, minY, maxX, maxY) by the disc, within the mask.
    void extendByDisc(std::array<float, 4>& area, const QPointF& center, double r) const;

    QString m_maskId;
    MaskPainter m_painter;
    TSFbo m_maskBuffer;
    TSFbo m_colorSource;
    int m_maxTileSize = 0;
    int m_downscale = 1;
    QSize m_maskSize{-1, -1};
    MaskDab m_currentDab; // the brush of the stroke in progress; radius in mask pixels
    QVector<MaskDab> m_dabs;
    std::vector<QPointF> m_strokePoints;
    std::array<float, 4> m_dirtyRect{}; // minX, minY, maxX, maxY in mask pixels
    QPointF m_lastDabPos;
    QSize m_imageSize{-1, -1};
    int m_dabRadiusScale = 0;

    bool m_strokeInProgress = false;
    QVariantMap m_lastBrushSettings; // the last settings map found to hold no command
    // The area the painter's open operation changes, for its history entry: every stroke
    // since the last snapshot, or the whole mask after a reset or an inversion.
    std::array<float, 4> m_operationArea{FLT_MAX, FLT_MAX, -FLT_MAX, -FLT_MAX};
    bool m_operationCoversMask = false;
};
