#pragma once
// Thread: GUI thread (an effect QML drives); its worker renders on the render thread.
// Owns: nothing beyond its parameters.
// Errors: none of its own.

#include "effects/teffectmask.h"

// Exposure in stops (a gain of 2^exposure), as an effect laid over the photo through a
// selection or a painted mask.
class LevelsEffect : public TEffectMask
{
    Q_OBJECT
    Q_PROPERTY(float exposure READ exposure WRITE setExposure NOTIFY exposureChanged)
public:
    explicit LevelsEffect(QObject* parent = nullptr);
    // Registers the effect and its worker with TEFactory, and the QML type, once.
    static void registerClass();

    float exposure() const { return params().value(QStringLiteral("exposure")).toFloat(); }
    void setExposure(float v)
    {
        if (setParam(QStringLiteral("exposure"), v))
            emit exposureChanged(v);
    }

signals:
    void exposureChanged(float);
};
