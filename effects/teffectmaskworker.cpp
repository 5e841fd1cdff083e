#include "effects/teffectmaskworker.h"

#include "effects/effectslogging.h"
#include "effects/teffectmask.h"
#include "effects/teffectrequestqueue.h"
#include "gpu/glblendmode.h"
#include "gpu/tengineenums.h"
#include "gpu/tselection.h"

#include <QOpenGLFunctions_3_3_Core>

#include <cmath>

namespace {

const QStringList kBaseParamKeys = {
    "scale", "translate", "rotate", "opacity", "blendMode", "selMin", "maskType", "selType",
    "selValueCOLOR", "selRangeCOLOR", "selInvertColor", "selValueLUM", "selRangeLUM", "selInvertLUM",
    "selPosition", "selSize", "selTransition", "selAspect", "selRotate", "selColorAware", "selInvert",
    "selXScale", "selYScale"};

bool allFinite(const QVariantMap& params)
{
    for (const QString& key : kBaseParamKeys) {
        const QVariant v = params.value(key);
        if (v.userType() == QMetaType::QPointF) {
            if (!std::isfinite(v.toPointF().x()) || !std::isfinite(v.toPointF().y()))
                return false;
        } else if (v.userType() == QMetaType::Float || v.userType() == QMetaType::Double) {
            if (!std::isfinite(v.toDouble()))
                return false;
        }
    }
    return true;
}

BrushPointsByMask samplesOf(const QVariantMap& points)
{
    BrushPointsByMask byMask;
    for (auto it = points.cbegin(); it != points.cend(); ++it) {
        QList<BrushPoint>& list = byMask[it.key()];
        for (const QVariant& v : it.value().toList())
            list.append(v.value<BrushPoint>());
    }
    return byMask;
}

} // namespace

TEffectMaskWorker::TEffectMaskWorker(const QString& className, unsigned int uid, unsigned int parentUid)
    : TEffectWorker(className, uid, parentUid)
    , mask(TEffectMask::kGlobalMaskId)
{
    if (auto* twin = qobject_cast<TEffectMask*>(TEBase::ptr(uid)))
        connect(this, &TEffectMaskWorker::maxBrushRadius, twin, &TEffectMask::updateMaxBrushRadius, Qt::QueuedConnection);
}

QStringList TEffectMaskWorker::baseParamKeys() const
{
    return kBaseParamKeys;
}

QString TEffectMaskWorker::postProc(const TSFbo& src, TSFbo& dst)
{
    const bool preset = procMode() == QLatin1String("PRESET");
    if (!preset)
        feedMask();
    const QVariantMap p = params();
    if (!allFinite(p)) {
        qCWarning(lcEffects) << "TEffectMaskWorker - a blend or selection parameter is not a finite number; the"
                                " image is left unprocessed";
        return QString();
    }
    const float opacity = p.value(QStringLiteral("opacity")).toFloat();
    const int mode = TEngineEnums::value(p.value(QStringLiteral("blendMode")));
    const int maskType = TEngineEnums::value(p.value(QStringLiteral("maskType")));
    if (opacity < GLBlendMode::minStrength() || src.isEmpty())
        return QString();
    if (mode == TEffectMask::BLENDMODE_NONE
        || (maskType < TEffectMask::SPOT && opacity > 0.995f && mode == TEffectMask::BLENDMODE_NORMAL)) {
        dst = src;
        return QString();
    }
    const float scale = p.value(QStringLiteral("scale")).toFloat();
    const QPointF translate = p.value(QStringLiteral("translate")).toPointF();
    const float degrees = p.value(QStringLiteral("rotate")).toFloat() * 360.f;
    // Switched-off selections (the negative types) and preset thumbnails blend without a mask;
    // an empty mask means none.
    TSFbo weights;
    if (maskType == TEffectMask::BRUSH && !preset) {
        weights = maskSelection();
    } else if (maskType >= TEffectMask::SPOT && maskType < TEffectMask::BRUSH && !preset) {
        weights = selectionMask(maskType, dst);
        createMaskThumbnail(weights);
    }
    maskBlend.proc(dst, src, weights, mode, opacity, p.value(QStringLiteral("selMin")).toFloat(), translate, scale,
                   degrees);
    return QString();
}

void TEffectMaskWorker::feedMask()
{
    BrushPointsByMask samples = samplesOf(stateData().value(TEffectRequestQueue::kPointsKey).toMap());
    const bool brush = TEngineEnums::value(paramValue(QStringLiteral("maskType"))) == TEffectMask::BRUSH;
    if (samples.value(mask.maskId()).isEmpty() && !brush)
        return;
    // Without an input to set the mask up from, the samples are dropped (procCmds says so).
    setUpMask();
    mask.procCmds(samples);
}

bool TEffectMaskWorker::setUpMask()
{
    const uint inputUid = input(1).uid();
    if (maskReady && inputUid == maskInputUid)
        return true;
    maskReady = false;
    const TSFbo full = inputFbo(1, false, TSFbo::workingFormat());
    if (!full.isEmpty())
        maskReady = mask.setup(full);
    if (maskReady) {
        maskInputUid = inputUid;
        emit maxBrushRadius(mask.maxBrushRadius());
    }
    return maskReady;
}

TSFbo TEffectMaskWorker::maskSelection()
{
    const TSFbo painted = mask.getMask(true);
    createMaskThumbnail(painted);
    return painted;
}

TSFbo TEffectMaskWorker::selectionMask(int maskType, const TSFbo& dst) const
{
    const QVariantMap p = params();
    const auto number = [&](const char* key) { return p.value(QLatin1String(key)).toDouble(); };
    const auto flag = [&](const char* key) { return p.value(QLatin1String(key)).toBool(); };
    switch (maskType) {
    case TEffectMask::COLOR:
        return TSelection::color(TSelection::effectMaskHue(number("selValueCOLOR")), number("selRangeCOLOR"),
                                 flag("selInvertColor"))
            .mask(dst);
    case TEffectMask::LUM:
        return TSelection::lum(number("selValueLUM"), number("selRangeLUM"), flag("selInvertLUM")).mask(dst);
    default: {
        TSelection::SpotParams spot;
        spot.imageSize = QSizeF(dst.size());
        spot.position = p.value(QStringLiteral("selPosition")).toPointF();
        spot.sizeX = number("selXScale") * number("selSize");
        spot.sizeY = number("selYScale") * number("selSize");
        spot.transition = number("selTransition");
        spot.aspect = number("selAspect");
        spot.rotation = number("selRotate");
        spot.colorAware = number("selColorAware");
        spot.invert = flag("selInvert");
        return TSelection::spot(spot).mask(dst);
    }
    }
}

void TEffectMaskWorker::createMaskThumbnail(const TSFbo& maskImage)
{
    if (maskImage.isEmpty() || stateData().value(QStringLiteral("maskPreviewerUid")).toUInt() == 0)
        return;
    const QSize wanted = stateData().value(QStringLiteral("maskThumbnailSize")).toSize();
    const int w = maskImage.width();
    const int h = maskImage.height();
    const double f = wanted.width() < 1 || wanted.height() < 1
        ? double(std::max(1, std::min(w, h) / 100))
        : std::max(double(w) / wanted.width(), double(h) / wanted.height());
    TSFbo thumbnail(int(w / f), int(h / f), TSFbo::workingFormat());
    if (!thumbnailProg.proc(maskImage, thumbnail))
        return;
    GLProg::funcs()->glFlush();
    drawToTGLImageView(thumbnail, QStringLiteral("maskPreviewerUid"));
}
