#include "blurlayerworker.h"

#include "gpu/gllowpassfast.h"

QString BlurLayerWorker::doProc(TSFbo& io)
{
    const float halfRadius = 0.5f * paramFloat("radius") * io.scale();
    if (halfRadius < 0.25f)
        return QString();
    GLLowpassFast box;
    const TSFbo blurred = box.filter(box.filter(io, halfRadius), halfRadius);
    if (blurred.isEmpty())
        return QStringLiteral("ERROR!!! BlurLayer: the blur pass failed");
    io = blurred;
    return QString();
}
