#pragma once
// Thread: GUI thread.
// Owns: nothing beyond its node.
// Errors: values outside a parameter's type are refused by the property writer, as for any node.

#include "effects/ttreenode.h"

#include <QPointF>

// A layer of an effect's tree: its result is laid over what lies below it with placement,
// opacity, blend mode and a selection measured on what lies below.
class TTreeNodeLayer : public TTreeNode
{
    Q_OBJECT
    Q_PROPERTY(float scale READ scale WRITE setscale NOTIFY scaleChanged)
    Q_PROPERTY(QPointF translate READ translate WRITE settranslate NOTIFY translateChanged)
    Q_PROPERTY(float rotate READ rotate WRITE setrotate NOTIFY rotateChanged)
    Q_PROPERTY(float opacity READ opacity WRITE setopacity NOTIFY opacityChanged)
    Q_PROPERTY(TTreeNodeLayer::BlendMode blendMode READ blendMode WRITE setBlendMode NOTIFY blendModeChanged)
    Q_PROPERTY(TTreeNodeLayer::SelType selType READ selType WRITE setSelType NOTIFY selTypeChanged)
    Q_PROPERTY(bool selInvert READ selInvert WRITE setselInvert NOTIFY selInvertChanged)
    Q_PROPERTY(float selMin READ selMin WRITE setselMin NOTIFY selMinChanged)
    Q_PROPERTY(float selValueCOLOR READ selValueCOLOR WRITE setselValueCOLOR NOTIFY selValueCOLORChanged)
    Q_PROPERTY(float selRangeCOLOR READ selRangeCOLOR WRITE setselRangeCOLOR NOTIFY selRangeCOLORChanged)
    Q_PROPERTY(float selValueLUM READ selValueLUM WRITE setselValueLUM NOTIFY selValueLUMChanged)
    Q_PROPERTY(float selRangeLUM READ selRangeLUM WRITE setselRangeLUM NOTIFY selRangeLUMChanged)
    Q_PROPERTY(QPointF selPosition READ selPosition WRITE setselPosition NOTIFY selPositionChanged)
    Q_PROPERTY(float selSize READ selSize WRITE setselSize NOTIFY selSizeChanged)
    Q_PROPERTY(float selTransition READ selTransition WRITE setselTransition NOTIFY selTransitionChanged)
    Q_PROPERTY(float selAspect READ selAspect WRITE setselAspect NOTIFY selAspectChanged)
    Q_PROPERTY(float selRotate READ selRotate WRITE setselRotate NOTIFY selRotateChanged)
    Q_PROPERTY(float selColorAware READ selColorAware WRITE setselColorAware NOTIFY selColorAwareChanged)
    Q_PROPERTY(uint maskThumbnailViewerUid READ maskThumbnailViewerUid WRITE setMaskThumbnailViewerUid
                   NOTIFY maskThumbnailViewerUidChanged)
public:
    // The blend modes of the compositing passes, and NONE: the layer replaces what lies below.
    enum BlendMode {
        BLENDMODE_NORMAL = 0, BLENDMODE_DISSOLVE, BLENDMODE_DARKEN, BLENDMODE_MULTIPLY,
        BLENDMODE_COLOR_BURN, BLENDMODE_LINEAR_BURN, BLENDMODE_DARKER_COLOR, BLENDMODE_LIGHTEN,
        BLENDMODE_SCREEN, BLENDMODE_COLOR_DODGE, BLENDMODE_LINEAR_DODGE, BLENDMODE_LIGHTER_COLOR,
        BLENDMODE_OVERLAY, BLENDMODE_SOFT_LIGHT, BLENDMODE_HARD_LIGHT, BLENDMODE_VIVID_LIGHT,
        BLENDMODE_LINEAR_LIGHT, BLENDMODE_PIN_LIGHT, BLENDMODE_HARD_MIX, BLENDMODE_DIFFERENCE,
        BLENDMODE_EXCLUSION, BLENDMODE_HUE, BLENDMODE_SATURATION, BLENDMODE_COLOR,
        BLENDMODE_LUMINOSITY, BLENDMODE_SUBTRACT, BLENDMODE_DIVISION, BLENDMODE_INVERSESCREEN,
        BLENDMODE_NONE
    };
    Q_ENUM(BlendMode)
    enum SelType { NONE = 0, COLOR = 1, LUM = 2, SPOT = 3, GRADIENT = 4 };
    Q_ENUM(SelType)

    explicit TTreeNodeLayer(QObject* parent = nullptr);

    float scale() const { return params().value(QStringLiteral("scale")).toFloat(); }
    QPointF translate() const { return params().value(QStringLiteral("translate")).toPointF(); }
    float rotate() const { return params().value(QStringLiteral("rotate")).toFloat(); }
    float opacity() const { return params().value(QStringLiteral("opacity")).toFloat(); }
    TTreeNodeLayer::BlendMode blendMode() const { return params().value(QStringLiteral("blendMode")).value<BlendMode>(); }
    TTreeNodeLayer::SelType selType() const { return params().value(QStringLiteral("selType")).value<SelType>(); }
    bool selInvert() const { return params().value(QStringLiteral("selInvert")).toBool(); }
    float selMin() const { return params().value(QStringLiteral("selMin")).toFloat(); }
    float selValueCOLOR() const { return params().value(QStringLiteral("selValueCOLOR")).toFloat(); }
    float selRangeCOLOR() const { return params().value(QStringLiteral("selRangeCOLOR")).toFloat(); }
    float selValueLUM() const { return params().value(QStringLiteral("selValueLUM")).toFloat(); }
    float selRangeLUM() const { return params().value(QStringLiteral("selRangeLUM")).toFloat(); }
    QPointF selPosition() const { return params().value(QStringLiteral("selPosition")).toPointF(); }
    float selSize() const { return params().value(QStringLiteral("selSize")).toFloat(); }
    float selTransition() const { return params().value(QStringLiteral("selTransition")).toFloat(); }
    float selAspect() const { return params().value(QStringLiteral("selAspect")).toFloat(); }
    float selRotate() const { return params().value(QStringLiteral("selRotate")).toFloat(); }
    float selColorAware() const { return params().value(QStringLiteral("selColorAware")).toFloat(); }
    uint maskThumbnailViewerUid() const { return m_stateData.value(QStringLiteral("maskThumbnailViewerUid")).toUInt(); }

    void setscale(float v);
    void settranslate(const QPointF& v);
    void setrotate(float v);
    void setopacity(float v);
    void setBlendMode(TTreeNodeLayer::BlendMode v);
    void setSelType(TTreeNodeLayer::SelType v);
    void setselInvert(bool v);
    void setselMin(float v);
    void setselValueCOLOR(float v);
    void setselRangeCOLOR(float v);
    void setselValueLUM(float v);
    void setselRangeLUM(float v);
    void setselPosition(const QPointF& v);
    void setselSize(float v);
    void setselTransition(float v);
    void setselAspect(float v);
    void setselRotate(float v);
    void setselColorAware(float v);
    void setMaskThumbnailViewerUid(uint uid);

signals:
    void scaleChanged(float);
    void translateChanged(QPointF);
    void rotateChanged(float);
    void opacityChanged(float);
    void blendModeChanged(TTreeNodeLayer::BlendMode);
    void selTypeChanged(TTreeNodeLayer::SelType);
    void selInvertChanged(bool);
    void selMinChanged(float);
    void selValueCOLORChanged(float);
    void selRangeCOLORChanged(float);
    void selValueLUMChanged(float);
    void selRangeLUMChanged(float);
    void selPositionChanged(QPointF);
    void selSizeChanged(float);
    void selTransitionChanged(float);
    void selAspectChanged(float);
    void selRotateChanged(float);
    void selColorAwareChanged(float);
    void maskThumbnailViewerUidChanged(uint);
};
