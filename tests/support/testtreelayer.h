#pragma once
// A layer class the effect tests register: its own step is one pass with a one-line CPU
// model (rgb + "brightness", alpha kept), and it can be told to fail or to raise the
// cancel flag from inside that step.

#include "effects/ttreenodelayer.h"
#include "effects/ttreenodelayerworker.h"

#include <atomic>

class TestTreeLayer : public TTreeNodeLayer
{
    Q_OBJECT
    Q_PROPERTY(float brightness READ brightness WRITE setBrightness NOTIFY brightnessChanged)
    Q_PROPERTY(QString failWith READ failWith WRITE setFailWith NOTIFY failWithChanged)
    Q_PROPERTY(bool raiseCancel READ raiseCancel WRITE setRaiseCancel NOTIFY raiseCancelChanged)
public:
    static const char* const kClassName;
    explicit TestTreeLayer(QObject* parent = nullptr);
    // Registers the class and its worker with TEFactory (once).
    static void registerClass();

    float brightness() const { return params().value("brightness").toFloat(); }
    QString failWith() const { return params().value("failWith").toString(); }
    bool raiseCancel() const { return params().value("raiseCancel").toBool(); }
    void setBrightness(float v) { if (setParam("brightness", v)) emit brightnessChanged(v); }
    void setFailWith(const QString& v) { if (setParam("failWith", v)) emit failWithChanged(v); }
    void setRaiseCancel(bool v) { if (setParam("raiseCancel", v)) emit raiseCancelChanged(v); }

signals:
    void brightnessChanged(float);
    void failWithChanged(QString);
    void raiseCancelChanged(bool);
};

class TestTreeLayerWorker : public TTreeNodeLayerWorker
{
    Q_OBJECT
public:
    using TTreeNodeLayerWorker::TTreeNodeLayerWorker;
    // Own steps run, process-wide; and the flag a "raiseCancel" layer sets.
    static std::atomic<int> s_procs;
    static bool* s_cancelFlag;

protected:
    QString doProc(TSFbo& io) override;
};
