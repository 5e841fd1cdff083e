#pragma once
// An effect with a mask the effect tests register: its own result is the input brightened
// by "brightness" (CPU model: c + brightness, alpha kept); everything else is the masked
// blend of TEffectMask. Its worker makes postProc callable by the tests.

#include "effects/teffectmask.h"
#include "effects/teffectmaskworker.h"

class TestMaskEffect : public TEffectMask
{
    Q_OBJECT
    Q_PROPERTY(float brightness READ brightness WRITE setBrightness NOTIFY brightnessChanged)
public:
    static const char* const kClassName;
    explicit TestMaskEffect(QObject* parent = nullptr);
    static void registerClass();

    float brightness() const { return params().value("brightness").toFloat(); }
    void setBrightness(float v)
    {
        if (setParam("brightness", v))
            emit brightnessChanged(v);
    }

signals:
    void brightnessChanged(float);
};

class TestMaskEffectWorker : public TEffectMaskWorker
{
    Q_OBJECT
public:
    using TEffectMaskWorker::TEffectMaskWorker;
    using TEffectMaskWorker::postProc;
    using TEffectMaskWorker::setStateData;

protected:
    QString doProc(TSFbo& out) override;
};
