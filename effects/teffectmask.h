#pragma once
// Thread: GUI thread; the worker reports the largest brush radius through a queued signal.
// Owns: the brushes set per mask id and the samples not yet sent (in its state, "points").
// Errors: samples without a brush are dropped with the message below; a redo onto an entry
//         that recorded no stroke logs "ERROR - TEffectMask::redo() - key maskUndoRedo not
//         found" and returns the entry unchanged.

#include "effects/teffect.h"

#include <QPointF>
#include <QSize>

// An effect laid over the unprocessed image through a selection: a spot, a colour range, a
// tone range or a mask painted with a brush, with its placement, blend mode and opacity.
// Brush samples collect in the state and travel with the next request, each exactly once;
// strokes recorded by a "snapshot" sample take part in the effect's undo history when an
// undo point is taken with "maskUndoTarget" set.
class TEffectMask : public TEffect
{
    Q_OBJECT
    Q_PROPERTY(float scale READ scale WRITE setScale NOTIFY scaleChanged)
    Q_PROPERTY(QPointF translate READ translate WRITE setTranslate NOTIFY translateChanged)
    Q_PROPERTY(float rotate READ rotate WRITE setRotate NOTIFY rotateChanged)
    Q_PROPERTY(float opacity READ opacity WRITE setOpacity NOTIFY opacityChanged)
    Q_PROPERTY(TEffectMask::BlendMode blendMode READ blendMode WRITE setBlendMode NOTIFY blendModeChanged)
    Q_PROPERTY(float selMin READ selMin WRITE setSelMin NOTIFY selMinChanged)
    Q_PROPERTY(TEffectMask::MaskType maskType READ maskType WRITE setMaskType NOTIFY maskTypeChanged)
    Q_PROPERTY(TEffectMask::SelType selType READ selType WRITE setSelType NOTIFY selTypeChanged)
    Q_PROPERTY(float selValueCOLOR READ selValueCOLOR WRITE setSelValueCOLOR NOTIFY selValueCOLORChanged)
    Q_PROPERTY(float selRangeCOLOR READ selRangeCOLOR WRITE setSelRangeCOLOR NOTIFY selRangeCOLORChanged)
    Q_PROPERTY(bool selInvertColor READ selInvertColor WRITE setSelInvertColor NOTIFY selInvertColorChanged)
    Q_PROPERTY(float selValueLUM READ selValueLUM WRITE setSelValueLUM NOTIFY selValueLUMChanged)
    Q_PROPERTY(float selRangeLUM READ selRangeLUM WRITE setSelRangeLUM NOTIFY selRangeLUMChanged)
    Q_PROPERTY(bool selInvertLUM READ selInvertLUM WRITE setSelInvertLUM NOTIFY selInvertLUMChanged)
    Q_PROPERTY(QPointF selPosition READ selPosition WRITE setSelPosition NOTIFY selPositionChanged)
    Q_PROPERTY(float selSize READ selSize WRITE setSelSize NOTIFY selSizeChanged)
    Q_PROPERTY(float selTransition READ selTransition WRITE setSelTransition NOTIFY selTransitionChanged)
    Q_PROPERTY(float selAspect READ selAspect WRITE setSelAspect NOTIFY selAspectChanged)
    Q_PROPERTY(float selRotate READ selRotate WRITE setSelRotate NOTIFY selRotateChanged)
    Q_PROPERTY(float selColorAware READ selColorAware WRITE setSelColorAware NOTIFY selColorAwareChanged)
    Q_PROPERTY(bool selInvert READ selInvert WRITE setSelInvert NOTIFY selInvertChanged)
    Q_PROPERTY(float selXScale READ selXScale WRITE setSelXScale NOTIFY selXScaleChanged)
    Q_PROPERTY(float selYScale READ selYScale WRITE setSelYScale NOTIFY selYScaleChanged)
    Q_PROPERTY(int maxBrushRadius READ maxBrushRadius NOTIFY maxBrushRadiusChanged)
    Q_PROPERTY(uint maskPreviewerUid READ maskPreviewerUid WRITE setMaskPreviewerUid NOTIFY maskPreviewerUidChanged)
    Q_PROPERTY(QSize maskThumbnailSize READ maskThumbnailSize WRITE setMaskThumbnailSize
                   NOTIFY maskThumbnailSizeChanged)
    Q_PROPERTY(QString maskUndoTarget READ maskUndoTarget WRITE setMaskUndoTarget NOTIFY maskUndoTargetChanged)
public:
    // The compositing blend modes, and NONE: the effect's result replaces the image.
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
    // The negative kinds are selections switched off: they blend without a mask, like NONE.
    enum MaskType { NONEBRUSH = -4, NONELUM = -3, NONECOLOR = -2, NONESPOT = -1, NONE = 0, SPOT = 1, COLOR = 2,
                    LUM = 3, BRUSH = 4 };
    Q_ENUM(MaskType)
    // Stored and sent; the mask is chosen by the mask type.
    enum SelType { cCOLOR = 0, cLUM = 1, cSPOT = 2, GRADIENT = 3 };
    Q_ENUM(SelType)

    // The id of the effect's own painted mask.
    static const QString kGlobalMaskId;

    explicit TEffectMask(QObject* parent = nullptr);

    float scale() const { return param("scale").toFloat(); }
    QPointF translate() const { return param("translate").toPointF(); }
    float rotate() const { return param("rotate").toFloat(); }
    float opacity() const { return param("opacity").toFloat(); }
    BlendMode blendMode() const { return param("blendMode").value<BlendMode>(); }
    float selMin() const { return param("selMin").toFloat(); }
    MaskType maskType() const { return param("maskType").value<MaskType>(); }
    SelType selType() const { return param("selType").value<SelType>(); }
    float selValueCOLOR() const { return param("selValueCOLOR").toFloat(); }
    float selRangeCOLOR() const { return param("selRangeCOLOR").toFloat(); }
    bool selInvertColor() const { return param("selInvertColor").toBool(); }
    float selValueLUM() const { return param("selValueLUM").toFloat(); }
    float selRangeLUM() const { return param("selRangeLUM").toFloat(); }
    bool selInvertLUM() const { return param("selInvertLUM").toBool(); }
    QPointF selPosition() const { return param("selPosition").toPointF(); }
    float selSize() const { return param("selSize").toFloat(); }
    float selTransition() const { return param("selTransition").toFloat(); }
    float selAspect() const { return param("selAspect").toFloat(); }
    float selRotate() const { return param("selRotate").toFloat(); }
    float selColorAware() const { return param("selColorAware").toFloat(); }
    bool selInvert() const { return param("selInvert").toBool(); }
    float selXScale() const { return param("selXScale").toFloat(); }
    float selYScale() const { return param("selYScale").toFloat(); }
    int maxBrushRadius() const { return m_maxBrushRadius; }
    uint maskPreviewerUid() const { return m_stateData.value(QStringLiteral("maskPreviewerUid")).toUInt(); }
    QSize maskThumbnailSize() const { return m_stateData.value(QStringLiteral("maskThumbnailSize")).toSize(); }
    QString maskUndoTarget() const { return m_stateData.value(QStringLiteral("maskUndoTarget")).toString(); }

    void setScale(float v) { set("scale", v, &TEffectMask::scaleChanged); }
    void setTranslate(const QPointF& v) { set("translate", v, &TEffectMask::translateChanged); }
    void setRotate(float v) { set("rotate", v, &TEffectMask::rotateChanged); }
    void setOpacity(float v) { set("opacity", v, &TEffectMask::opacityChanged); }
    void setBlendMode(TEffectMask::BlendMode v) { set("blendMode", v, &TEffectMask::blendModeChanged); }
    void setSelMin(float v) { set("selMin", v, &TEffectMask::selMinChanged); }
    void setMaskType(TEffectMask::MaskType v) { set("maskType", v, &TEffectMask::maskTypeChanged); }
    void setSelType(TEffectMask::SelType v) { set("selType", v, &TEffectMask::selTypeChanged); }
    void setSelValueCOLOR(float v) { set("selValueCOLOR", v, &TEffectMask::selValueCOLORChanged); }
    void setSelRangeCOLOR(float v) { set("selRangeCOLOR", v, &TEffectMask::selRangeCOLORChanged); }
    void setSelInvertColor(bool v) { set("selInvertColor", v, &TEffectMask::selInvertColorChanged); }
    void setSelValueLUM(float v) { set("selValueLUM", v, &TEffectMask::selValueLUMChanged); }
    void setSelRangeLUM(float v) { set("selRangeLUM", v, &TEffectMask::selRangeLUMChanged); }
    void setSelInvertLUM(bool v) { set("selInvertLUM", v, &TEffectMask::selInvertLUMChanged); }
    void setSelPosition(const QPointF& v) { set("selPosition", v, &TEffectMask::selPositionChanged); }
    void setSelSize(float v) { set("selSize", v, &TEffectMask::selSizeChanged); }
    void setSelTransition(float v) { set("selTransition", v, &TEffectMask::selTransitionChanged); }
    void setSelAspect(float v) { set("selAspect", v, &TEffectMask::selAspectChanged); }
    void setSelRotate(float v) { set("selRotate", v, &TEffectMask::selRotateChanged); }
    void setSelColorAware(float v) { set("selColorAware", v, &TEffectMask::selColorAwareChanged); }
    void setSelInvert(bool v) { set("selInvert", v, &TEffectMask::selInvertChanged); }
    void setSelXScale(float v) { set("selXScale", v, &TEffectMask::selXScaleChanged); }
    void setSelYScale(float v) { set("selYScale", v, &TEffectMask::selYScaleChanged); }
    void setMaskPreviewerUid(uint uid);
    void setMaskThumbnailSize(const QSize& size);
    void setMaskUndoTarget(const QString& maskId);

public slots:
    QVariantMap undo() override;
    QVariantMap redo() override;
    // A brush sample for `maskId` at `normalizedXY` (0..1 of the image); `extra`, when not
    // empty, replaces the brush (a command such as "type" = "snapshot").
    virtual void drawPoint(const QString& maskId, const QPointF& normalizedXY, bool isBegin, bool isEnd,
                           const QVariantMap& extra = QVariantMap());
    // "radius" is a fraction of the largest brush (see maxBrushRadius).
    virtual void setBrush(const QString& maskId, float radius, float strength, float hardness, float flow,
                          float colorAwareness);
    void updateMaxBrushRadius(int sz);

signals:
    void scaleChanged(float);
    void translateChanged(QPointF);
    void rotateChanged(float);
    void opacityChanged(float);
    void blendModeChanged(TEffectMask::BlendMode);
    void selMinChanged(float);
    void maskTypeChanged(TEffectMask::MaskType);
    void selTypeChanged(TEffectMask::SelType);
    void selValueCOLORChanged(float);
    void selRangeCOLORChanged(float);
    void selInvertColorChanged(bool);
    void selValueLUMChanged(float);
    void selRangeLUMChanged(float);
    void selInvertLUMChanged(bool);
    void selPositionChanged(QPointF);
    void selSizeChanged(float);
    void selTransitionChanged(float);
    void selAspectChanged(float);
    void selRotateChanged(float);
    void selColorAwareChanged(float);
    void selInvertChanged(bool);
    void selXScaleChanged(float);
    void selYScaleChanged(float);
    void maxBrushRadiusChanged(int);
    void maskPreviewerUidChanged(uint);
    void maskThumbnailSizeChanged(QSize);
    void maskUndoTargetChanged(QString);

protected:
    void clearStateValue() override;
    void setUndoPointImp(const QVariantMap& extra) override;

private:
    QVariant param(const char* key) const { return params().value(QLatin1String(key)); }
    template <typename T>
    void set(const char* key, const T& value, void (TEffectMask::*changed)(T))
    {
        if (setParam(QLatin1String(key), value))
            emit(this->*changed)(value);
    }
    // Queues a mask command ("undo" or "redo") behind the samples not yet sent.
    void sendMaskCommand(const QString& maskId, const QString& command);

    QMap<QString, QVariantMap> m_brushes;
    int m_maxBrushRadius = 0;
};
