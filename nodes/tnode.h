#pragma once
// Thread: GUI thread.
// Owns: its child nodes (QObject children; their order is the compositing order).
//       Its worker belongs to the render thread, which creates and deletes it on request.
// Errors: child operations return false for rows out of range; presets naming another
//         class are refused; unknown child classes are skipped with "fail to create: ".

#include "engine/timproc.h"

#include <QPointF>
#include <QUrl>
#include <QVariantList>
#include <algorithm>
#include <cmath>

// One element of the processing tree as QML edits it: parameters as properties, child
// management, presets. Its render-thread twin (TNodeWorker) renders.
class TNode : public TImproc
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged)
    Q_PROPERTY(int childCount READ childCount NOTIFY childCountChanged)
    Q_PROPERTY(bool serialInput READ serialInput WRITE setSerialInput NOTIFY serialInputChanged)
    Q_PROPERTY(float scale READ scale WRITE setScale NOTIFY scaleChanged)
    Q_PROPERTY(QPointF translate READ translate WRITE setTranslate NOTIFY translateChanged)
    Q_PROPERTY(float rotate READ rotate WRITE setRotate NOTIFY rotateChanged)
    Q_PROPERTY(BlendMode blendMode READ blendMode WRITE setBlendMode NOTIFY blendModeChanged)
    Q_PROPERTY(float opacity READ opacity WRITE setOpacity NOTIFY opacityChanged)
    Q_PROPERTY(SelType selType READ selType WRITE setSelType NOTIFY selTypeChanged)
    Q_PROPERTY(float selValueCOLOR READ selValueCOLOR WRITE setSelValueCOLOR NOTIFY selValueCOLORChanged)
    Q_PROPERTY(float selRangeCOLOR READ selRangeCOLOR WRITE setSelRangeCOLOR NOTIFY selRangeCOLORChanged)
    Q_PROPERTY(float selValueLUM READ selValueLUM WRITE setSelValueLUM NOTIFY selValueLUMChanged)
    Q_PROPERTY(float selRangeLUM READ selRangeLUM WRITE setSelRangeLUM NOTIFY selRangeLUMChanged)
    Q_PROPERTY(QPointF selPosition READ selPosition WRITE setSelPosition NOTIFY selPositionChanged)
    Q_PROPERTY(float selSize READ selSize WRITE setSelSize NOTIFY selSizeChanged)
    Q_PROPERTY(float selTransition READ selTransition WRITE setSelTransition NOTIFY selTransitionChanged)
    Q_PROPERTY(float selAspect READ selAspect WRITE setSelAspect NOTIFY selAspectChanged)
    Q_PROPERTY(float selRotate READ selRotate WRITE setSelRotate NOTIFY selRotateChanged)
    Q_PROPERTY(float selColorAware READ selColorAware WRITE setSelColorAware NOTIFY selColorAwareChanged)
    Q_PROPERTY(bool selInvert READ selInvert WRITE setSelInvert NOTIFY selInvertChanged)
    Q_PROPERTY(float selMin READ selMin WRITE setSelMin NOTIFY selMinChanged)
    Q_PROPERTY(QVariantList childrenList READ childrenList NOTIFY childrenListChanged)
public:
    enum BlendMode {
        BLENDMODE_NORMAL = 0, BLENDMODE_DISSOLVE, BLENDMODE_DARKEN, BLENDMODE_MULTIPLY,
        BLENDMODE_COLOR_BURN, BLENDMODE_LINEAR_BURN, BLENDMODE_DARKER_COLOR, BLENDMODE_LIGHTEN,
        BLENDMODE_SCREEN, BLENDMODE_COLOR_DODGE, BLENDMODE_LINEAR_DODGE, BLENDMODE_LIGHTER_COLOR,
        BLENDMODE_OVERLAY, BLENDMODE_SOFT_LIGHT, BLENDMODE_HARD_LIGHT, BLENDMODE_VIVID_LIGHT,
        BLENDMODE_LINEAR_LIGHT, BLENDMODE_PIN_LIGHT, BLENDMODE_HARD_MIX, BLENDMODE_DIFFERENCE,
        BLENDMODE_EXCLUSION, BLENDMODE_HUE, BLENDMODE_SATURATION, BLENDMODE_COLOR,
        BLENDMODE_LUMINOSITY, BLENDMODE_SUBTRACT, BLENDMODE_DIVISION, BLENDMODE_INVERSESCREEN
    };
    Q_ENUM(BlendMode)
    enum SelType { NONE = 0, COLOR = 1, LUM = 2, SPOT = 3, GRADIENT = 4 };
    Q_ENUM(SelType)

    explicit TNode(TImproc* parent = nullptr, unsigned int uid = 0);
    ~TNode() override;

    TImprocWorker* createImproc() override { return nullptr; }

    QString text() const { return m_params.value(QStringLiteral("text")).toString(); }
    bool serialInput() const { return m_params.value(QStringLiteral("serialInput")).toBool(); }
    float scale() const { return floatParam(QStringLiteral("scale")); }
    QPointF translate() const { return m_params.value(QStringLiteral("translate")).toPointF(); }
    float rotate() const { return floatParam(QStringLiteral("rotate")); }
    BlendMode blendMode() const { return BlendMode(m_params.value(QStringLiteral("blendMode")).toInt()); }
    float opacity() const { return floatParam(QStringLiteral("opacity")); }
    SelType selType() const { return SelType(m_params.value(QStringLiteral("selType")).toInt()); }
    float selValueCOLOR() const { return floatParam(QStringLiteral("selValueCOLOR")); }
    float selRangeCOLOR() const { return floatParam(QStringLiteral("selRangeCOLOR")); }
    float selValueLUM() const { return floatParam(QStringLiteral("selValueLUM")); }
    float selRangeLUM() const { return floatParam(QStringLiteral("selRangeLUM")); }
    QPointF selPosition() const { return m_params.value(QStringLiteral("selPosition")).toPointF(); }
    float selSize() const { return floatParam(QStringLiteral("selSize")); }
    float selTransition() const { return floatParam(QStringLiteral("selTransition")); }
    float selAspect() const { return floatParam(QStringLiteral("selAspect")); }
    float selRotate() const { return floatParam(QStringLiteral("selRotate")); }
    float selColorAware() const { return floatParam(QStringLiteral("selColorAware")); }
    bool selInvert() const { return m_params.value(QStringLiteral("selInvert")).toBool(); }
    float selMin() const { return floatParam(QStringLiteral("selMin")); }
    QVariantList childrenList();

    TNode* child(int position) const;
    int childCount() const { return children().size(); }
    TNode* parent() const { return qobject_cast<TNode*>(QObject::parent()); }
    int indexOfChild(TNode* node) const;
    bool isChild(const QObject* object) const;
    bool insertChild(int position, TNode* node);
    bool setChild(int position, TNode* node);
    bool removeChildren(int position, int count);
    int positionWithSibling() const;
    // Called at the end of a concrete class's constructor, once its defaults are in the map:
    // records the class name and has the render thread create the twin worker.
    void finalizeTNodeClass(const QString& className);
    void emitChildCountChanged(int count) { emit childCountChanged(count); }
    bool moveTo(int, TNode*, int, int) { return true; }

signals:
    void textChanged(QString);
    void childCountChanged(int);
    void serialInputChanged(bool);
    void scaleChanged(float);
    void translateChanged(QPointF);
    void rotateChanged(float);
    void blendModeChanged(TNode::BlendMode);
    void opacityChanged(float);
    void selTypeChanged(TNode::SelType);
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
    void selInvertChanged(bool);
    void selMinChanged(float);
    void childrenListChanged(QVariantList childrenList);
    void createNodeWorker(QString className, uint uid, uint uid_parent);
    void deleteNodeWorker(uint uid);
    // The moved worker goes before its sibling `beforeUid` (0: to the end).
    void moveChildNodeWorker(uint uid, uint beforeUid);

public slots:
    void setText(const QString& v);
    void setSerialInput(bool v);
    void setScale(float v) { setFloat(QStringLiteral("scale"), v, &TNode::scaleChanged); }
    void setTranslate(const QPointF& v) { setPoint(QStringLiteral("translate"), v, &TNode::translateChanged); }
    void setRotate(float v) { setFloat(QStringLiteral("rotate"), v, &TNode::rotateChanged); }
    void setBlendMode(TNode::BlendMode v);
    // Opacity is a fraction: values outside 0 to 1 are clamped (a non-finite one is refused).
    void setOpacity(float v) { setFloat(QStringLiteral("opacity"), std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : v, &TNode::opacityChanged); }
    void setSelType(TNode::SelType v);
    void setSelValueCOLOR(float v) { setFloat(QStringLiteral("selValueCOLOR"), v, &TNode::selValueCOLORChanged); }
    void setSelRangeCOLOR(float v) { setFloat(QStringLiteral("selRangeCOLOR"), v, &TNode::selRangeCOLORChanged); }
    void setSelValueLUM(float v) { setFloat(QStringLiteral("selValueLUM"), v, &TNode::selValueLUMChanged); }
    void setSelRangeLUM(float v) { setFloat(QStringLiteral("selRangeLUM"), v, &TNode::selRangeLUMChanged); }
    void setSelPosition(const QPointF& v) { setPoint(QStringLiteral("selPosition"), v, &TNode::selPositionChanged); }
    void setSelSize(float v) { setFloat(QStringLiteral("selSize"), v, &TNode::selSizeChanged); }
    void setSelTransition(float v) { setFloat(QStringLiteral("selTransition"), v, &TNode::selTransitionChanged); }
    void setSelAspect(float v) { setFloat(QStringLiteral("selAspect"), v, &TNode::selAspectChanged); }
    void setSelRotate(float v) { setFloat(QStringLiteral("selRotate"), v, &TNode::selRotateChanged); }
    void setSelColorAware(float v) { setFloat(QStringLiteral("selColorAware"), v, &TNode::selColorAwareChanged); }
    void setSelInvert(bool v);
    void setSelMin(float v) { setFloat(QStringLiteral("selMin"), v, &TNode::selMinChanged); }

    virtual QVariantMap preset(bool bChildrenOnly = false);
    virtual bool setPreset(QVariantMap value, bool bChildrenOnly = false);
    virtual bool computePreset(QVariantMap value, bool bChildrenOnly = false, uint uid = 0);
    virtual bool saveOutputToFile(QUrl fileName, QVariantMap fileParams);
    // Moves the child at row `fromRow` to row `toRow` through the queue.
    void move(uint fromRow, uint toRow);

protected:
    // True when `value` is a preset of this node's class.
    bool presetFits(const QVariantMap& value) const;
    // While the outermost one lives, the edits a preset makes are queued as one undo step.
    class PresetUndoGroup
    {
    public:
        explicit PresetUndoGroup(TNode* node);
        ~PresetUndoGroup();
        PresetUndoGroup(const PresetUndoGroup&) = delete;
        PresetUndoGroup& operator=(const PresetUndoGroup&) = delete;

    private:
        TNode* m_node;
        static int s_depth; // GUI thread only
    };

    float floatParam(const QString& key) const { return m_params.value(key).toFloat(); }
    // Setter helpers: store, forward to the worker side and notify only on a real change.
    template <typename Owner>
    void setFloat(const QString& key, float v, void (Owner::*changed)(float))
    {
        if (setParamValue(key, v))
            emit (static_cast<Owner*>(this)->*changed)(v);
    }
    template <typename Owner>
    void setPoint(const QString& key, const QPointF& v, void (Owner::*changed)(QPointF))
    {
        if (!acceptsValue(key, v) || samePoint(m_params.value(key).toPointF(), v))
            return;
        m_params.insert(key, v);
        enqueueAParam(key, v);
        emit (static_cast<Owner*>(this)->*changed)(v);
    }
    static bool samePoint(const QPointF& a, const QPointF& b);
    // For values compared with == (colours, texts, file names).
    template <typename Owner, typename T>
    void setValue(const QString& key, const T& v, void (Owner::*changed)(T))
    {
        if (m_params.contains(key) && m_params.value(key).template value<T>() == v)
            return;
        m_params.insert(key, QVariant::fromValue(v));
        enqueueAParam(key, QVariant::fromValue(v));
        emit (static_cast<Owner*>(this)->*changed)(v);
    }

private:
    friend class TCmd_MoveNode;
    bool moveChildNode(uint fromRow, uint toRow);
    // Re-attaches `nodes` in order after the children before them.
    void reattach(const QList<TNode*>& nodes);
    bool engineRunning() const;

    QVariantList m_childrenList;
};
