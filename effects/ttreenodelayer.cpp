#include "effects/ttreenodelayer.h"

namespace {
// Known by name from the start, so JSON's wrapped form reads back as the enum in any process.
const bool s_enumsRegistered = [] {
    qMetaTypeId<TTreeNodeLayer::BlendMode>();
    qMetaTypeId<TTreeNodeLayer::SelType>();
    return true;
}();
} // namespace

TTreeNodeLayer::TTreeNodeLayer(QObject* parent)
    : TTreeNode(parent)
{
    registerParam(QStringLiteral("scale"), 1.0f);
    registerParam(QStringLiteral("translate"), QPointF(0, 0));
    registerParam(QStringLiteral("rotate"), 0.0f);
    registerParam(QStringLiteral("opacity"), 1.0f);
    registerParam(QStringLiteral("blendMode"), BLENDMODE_NORMAL);
    registerParam(QStringLiteral("selType"), NONE);
    registerParam(QStringLiteral("selInvert"), false);
    registerParam(QStringLiteral("selMin"), 0.0f);
    registerParam(QStringLiteral("selValueCOLOR"), 0.2f);
    registerParam(QStringLiteral("selRangeCOLOR"), 0.4f);
    registerParam(QStringLiteral("selValueLUM"), 0.2f);
    registerParam(QStringLiteral("selRangeLUM"), 0.4f);
    registerParam(QStringLiteral("selPosition"), QPointF(0.5, 0.5));
    registerParam(QStringLiteral("selSize"), 0.33f);
    registerParam(QStringLiteral("selTransition"), 0.0f);
    registerParam(QStringLiteral("selAspect"), 0.0f);
    registerParam(QStringLiteral("selRotate"), 0.0f);
    registerParam(QStringLiteral("selColorAware"), 0.5f);
    m_stateData.insert(QStringLiteral("maskThumbnailViewerUid"), 0u);
    finalizeConstructor(QStringLiteral("TTreeNodeLayer"), ver(1, 0));
}

void TTreeNodeLayer::setMaskThumbnailViewerUid(uint uid)
{
    if (maskThumbnailViewerUid() == uid)
        return;
    m_stateData.insert(QStringLiteral("maskThumbnailViewerUid"), uid);
    emit maskThumbnailViewerUidChanged(uid);
}

void TTreeNodeLayer::setscale(float v)
{
    if (setParam(QStringLiteral("scale"), v))
        emit scaleChanged(v);
}

void TTreeNodeLayer::settranslate(const QPointF& v)
{
    if (setParam(QStringLiteral("translate"), v))
        emit translateChanged(v);
}

void TTreeNodeLayer::setrotate(float v)
{
    if (setParam(QStringLiteral("rotate"), v))
        emit rotateChanged(v);
}

void TTreeNodeLayer::setopacity(float v)
{
    if (setParam(QStringLiteral("opacity"), v))
        emit opacityChanged(v);
}

void TTreeNodeLayer::setBlendMode(TTreeNodeLayer::BlendMode v)
{
    if (setParam(QStringLiteral("blendMode"), v))
        emit blendModeChanged(v);
}

void TTreeNodeLayer::setSelType(TTreeNodeLayer::SelType v)
{
    if (setParam(QStringLiteral("selType"), v))
        emit selTypeChanged(v);
}

void TTreeNodeLayer::setselInvert(bool v)
{
    if (setParam(QStringLiteral("selInvert"), v))
        emit selInvertChanged(v);
}

void TTreeNodeLayer::setselMin(float v)
{
    if (setParam(QStringLiteral("selMin"), v))
        emit selMinChanged(v);
}

void TTreeNodeLayer::setselValueCOLOR(float v)
{
    if (setParam(QStringLiteral("selValueCOLOR"), v))
        emit selValueCOLORChanged(v);
}

void TTreeNodeLayer::setselRangeCOLOR(float v)
{
    if (setParam(QStringLiteral("selRangeCOLOR"), v))
        emit selRangeCOLORChanged(v);
}

void TTreeNodeLayer::setselValueLUM(float v)
{
    if (setParam(QStringLiteral("selValueLUM"), v))
        emit selValueLUMChanged(v);
}

void TTreeNodeLayer::setselRangeLUM(float v)
{
    if (setParam(QStringLiteral("selRangeLUM"), v))
        emit selRangeLUMChanged(v);
}

void TTreeNodeLayer::setselPosition(const QPointF& v)
{
    if (setParam(QStringLiteral("selPosition"), v))
        emit selPositionChanged(v);
}

void TTreeNodeLayer::setselSize(float v)
{
    if (setParam(QStringLiteral("selSize"), v))
        emit selSizeChanged(v);
}

void TTreeNodeLayer::setselTransition(float v)
{
    if (setParam(QStringLiteral("selTransition"), v))
        emit selTransitionChanged(v);
}

void TTreeNodeLayer::setselAspect(float v)
{
    if (setParam(QStringLiteral("selAspect"), v))
        emit selAspectChanged(v);
}

void TTreeNodeLayer::setselRotate(float v)
{
    if (setParam(QStringLiteral("selRotate"), v))
        emit selRotateChanged(v);
}

void TTreeNodeLayer::setselColorAware(float v)
{
    if (setParam(QStringLiteral("selColorAware"), v))
        emit selColorAwareChanged(v);
}
