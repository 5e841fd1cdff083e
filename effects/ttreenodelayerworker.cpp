#include "effects/ttreenodelayerworker.h"

#include "effects/effectslogging.h"
#include "effects/ttreenodelayer.h"
#include "gpu/glblendmode.h"
#include "gpu/glmaskblend.h"
#include "gpu/tselection.h"

#include <cmath>

QString TTreeNodeLayerWorker::postProc(const TSFbo& source, TSFbo& destination)
{
    const QVariantMap p = params();
    const float opacity = p.value(QStringLiteral("opacity")).toFloat();
    if (opacity < GLBlendMode::minStrength() || source.isEmpty() || destination.isEmpty())
        return QString();
    const int mode = p.value(QStringLiteral("blendMode")).toInt();
    if (mode == TTreeNodeLayer::BLENDMODE_NONE) {
        destination = source;
        return QString();
    }
    const QPointF translate = p.value(QStringLiteral("translate")).toPointF();
    const float scale = p.value(QStringLiteral("scale")).toFloat();
    const float rotation = p.value(QStringLiteral("rotate")).toFloat() * 360.0f;
    if (!std::isfinite(translate.x()) || !std::isfinite(translate.y()) || !std::isfinite(scale)
        || !std::isfinite(rotation)) {
        qCWarning(lcEffects) << "ERROR!!! a layer placement that is not finite:" << className() << translate << scale
                             << rotation;
        return QString();
    }
    const std::optional<TSelection> selection = TSelection::ofLayer(p, QSizeF(destination.size()));
    // An image laid over itself, unmoved and unselected, is itself: no pass.
    const bool identity = translate.isNull() && scale == 1.0f && rotation == 0.0f;
    if (!selection && identity && mode == TTreeNodeLayer::BLENDMODE_NORMAL && source.uid() == destination.uid()
        && source.size() == destination.size())
        return QString();
    if (!selection) {
        GLBlendMode blend;
        blend.proc(source, translate, scale, rotation, mode, opacity, destination);
        return QString();
    }
    // A subclass's own floor ("minAlpha") wins over the layer's "selMin".
    const float minStrength = p.value(p.contains(QStringLiteral("minAlpha")) ? QStringLiteral("minAlpha")
                                                                               : QStringLiteral("selMin"))
                                  .toFloat();
    GLMaskBlend blend;
    blend.proc(destination, source, selection->mask(destination), mode, opacity, minStrength, translate, scale,
               rotation);
    return QString();
}
