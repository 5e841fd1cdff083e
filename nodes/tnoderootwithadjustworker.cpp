#include "nodes/tnoderootwithadjustworker.h"

#include "engine/timproc.h"
#include "gpu/glimfilter.h"

#include <QOpenGLFunctions_3_3_Core>

TNodeRootWithAdjustWorker::TNodeRootWithAdjustWorker(unsigned int uid, unsigned int parentUid)
    : TNodeRootWorker(uid, parentUid)
{
}

QString TNodeRootWithAdjustWorker::prepareChildrenInput(const TSFbo& placed, TSFbo& childrenInput)
{
    // Without an input image the loaded image is empty, and so is childrenInput here.
    if (childrenInput.isEmpty())
        return QStringLiteral("ERROR - TNodeRootWithAdjustWorker::procBasicAdjust - Empty buffer!!!");
    return procBasicAdjust(placed, childrenInput);
}

QString TNodeRootWithAdjustWorker::procBasicAdjust(const TSFbo& in, TSFbo& out)
{
    if (in.isEmpty() || out.isEmpty())
        return QStringLiteral("ERROR - TNodeRootWithAdjustWorker::procBasicAdjust - Empty buffer!!!");
    const float brightness = paramFloat("brightness");
    float contrast = paramFloat("contrast");
    // At 0 and 0 the pass is the identity: skip it.
    if (TImproc::floatValuesEqual(brightness, 0.f) && TImproc::floatValuesEqual(contrast, 0.f)) {
        out = in;
        return QString();
    }
    if (contrast >= 0.f)
        contrast *= 5.f;
    contrast += 1.f;
    GLImFilter adjust(QStringLiteral(":/korvane/glshaders/testbc.frag"));
    adjust.setUniformValue(QStringLiteral("brightness"), brightness);
    adjust.setUniformValue(QStringLiteral("contrast"), contrast);
    // A 1:1 pass: nearest sampling reads each source pixel exactly (bilinear sampling at
    // pixel centres moved 16-bit inputs by up to a half-float unit here).
    adjust.setTexture(QStringLiteral("inputTexture0"), in, GL_NEAREST, GL_MIRRORED_REPEAT);
    out = adjust.render(in.size(), in.internalFormat(), in.scale());
    return out.isEmpty() ? QStringLiteral("ERROR - TNodeRootWithAdjustWorker::procBasicAdjust - Empty buffer!!!") : QString();
}
