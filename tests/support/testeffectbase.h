#pragma once
// An effect class the effect tests register: one parameter of every kind a setter stores
// (an enum of its own and another class's included), one kept out of presets, preset
// converters over four version ranges, and a worker that opens its bookkeeping to tests.

#include "effects/tebase.h"
#include "effects/tebaseworker.h"
#include "nodes/tnode.h"

class TestEffectBase : public TEBase
{
    Q_OBJECT
    Q_PROPERTY(float amount READ amount WRITE setAmount NOTIFY amountChanged)
    Q_PROPERTY(QPointF center READ center WRITE setCenter NOTIFY centerChanged)
    Q_PROPERTY(QString label READ label WRITE setLabel NOTIFY labelChanged)
    Q_PROPERTY(bool enabled READ enabled WRITE setEnabled NOTIFY enabledChanged)
    Q_PROPERTY(int count READ count WRITE setCount NOTIFY countChanged)
    Q_PROPERTY(uint seed READ seed WRITE setSeed NOTIFY seedChanged)
    Q_PROPERTY(TestEffectBase::Mode mode READ mode WRITE setMode NOTIFY modeChanged)
    Q_PROPERTY(TNode::BlendMode blend READ blend WRITE setBlend NOTIFY blendChanged)
    Q_PROPERTY(uint viewer READ viewer WRITE setViewer NOTIFY viewerChanged)
public:
    enum Mode { Soft = 0, Hard = 1, Linear = 2 };
    Q_ENUM(Mode)
    static const char* const kClassName;

    explicit TestEffectBase(QObject* parent = nullptr);
    // Registers the class and its worker with TEFactory (once; later calls change nothing).
    static void registerClass();

    float amount() const { return params().value("amount").toFloat(); }
    QPointF center() const { return params().value("center").toPointF(); }
    QString label() const { return params().value("label").toString(); }
    bool enabled() const { return params().value("enabled").toBool(); }
    int count() const { return params().value("count").toInt(); }
    uint seed() const { return params().value("seed").toUInt(); }
    Mode mode() const { return params().value("mode").value<Mode>(); }
    TNode::BlendMode blend() const { return params().value("blend").value<TNode::BlendMode>(); }
    uint viewer() const { return params().value("viewer").toUInt(); }
    void setAmount(float v) { if (setParam("amount", v)) emit amountChanged(v); }
    void setCenter(QPointF v) { if (setParam("center", v)) emit centerChanged(v); }
    void setLabel(const QString& v) { if (setParam("label", v)) emit labelChanged(v); }
    void setEnabled(bool v) { if (setParam("enabled", v)) emit enabledChanged(v); }
    void setCount(int v) { if (setParam("count", v)) emit countChanged(v); }
    void setSeed(uint v) { if (setParam("seed", v)) emit seedChanged(v); }
    void setMode(TestEffectBase::Mode v) { if (setParam("mode", v)) emit modeChanged(v); }
    void setBlend(TNode::BlendMode v) { if (setParam("blend", v)) emit blendChanged(v); }
    void setViewer(uint v) { if (setParam("viewer", v)) emit viewerChanged(v); }

    using TEBase::presetToParams;
    using TEBase::setEmitParamChangeSignals;
    int parentChanges = 0;

signals:
    void amountChanged(float);
    void centerChanged(QPointF);
    void labelChanged(QString);
    void enabledChanged(bool);
    void countChanged(int);
    void seedChanged(uint);
    void modeChanged(TestEffectBase::Mode);
    void blendChanged(TNode::BlendMode);
    void viewerChanged(uint);

protected:
    void onParentChanged() override { ++parentChanges; }
};

class TestEffectBaseWorker : public TEBaseWorker
{
    Q_OBJECT
public:
    using TEBaseWorker::TEBaseWorker;
    using TEBaseWorker::clearParamsChanges;
    using TEBaseWorker::setStateData;
    using TEBaseWorker::stateData;
};
