#pragma once
// Thread: render thread (made, fed and deleted there), like every effect worker; the largest
//         brush radius goes to the GUI twin through a queued signal.
// Owns: the brush mask with its buffers and history, the masks and thumbnails of a request
//       while it runs.
// Errors: parameters that are not finite leave the image unprocessed, with a warning; a
//         brush mask that cannot be set up (no input) blends without a mask.

#include "effects/teffectworker.h"
#include "effects/tmask.h"
#include "gpu/glimfilter.h"
#include "gpu/glmaskblend.h"

// Render-thread twin of TEffectMask: measures the selection (spot, colour, tone) on the
// unprocessed image, or takes the painted brush mask, and blends the effect's result over
// the unprocessed image through it. Masks are measured at the destination's size and read
// in its coordinates, so a placed result moves the effect, never the mask.
class TEffectMaskWorker : public TEffectWorker
{
    Q_OBJECT
public:
    TEffectMaskWorker(const QString& className, unsigned int uid, unsigned int parentUid);

signals:
    void maxBrushRadius(int sz);

protected:
    QString postProc(const TSFbo& src, TSFbo& dst) override;
    // The placement, blend and selection keys: none of them changes the effect's own result.
    QStringList baseParamKeys() const override;

private:
    // Every request's samples reach the mask, whatever the blend does with it, so paint laid
    // down while the brush mask is off is there when it is switched on.
    void feedMask();
    bool setUpMask();
    // The brush mask, handed out inverted: painting removes the effect.
    TSFbo maskSelection();
    // A spot, colour or tone selection measured on `dst`, in GL_R8 of its size.
    TSFbo selectionMask(int maskType, const TSFbo& dst) const;
    void createMaskThumbnail(const TSFbo& maskImage);

    TMask mask;
    bool maskReady = false;
    GLMaskBlend maskBlend;
    uint maskInputUid = 0;
    GLImFilter thumbnailProg{QStringLiteral(":/korvane/glshaders/glcopy_1chto4ch.frag")};
};
