#pragma once
// An effect class the effect tests register: brightness and contrast around mid grey in one
// pass (CPU model: (c - 0.5) * contrast + brightness + 0.5, alpha kept), at version 102 with
// preset converters from 100 ("light") and 101 ("contrastPercent"). Its worker counts its
// doProc calls and can be told to fail after drawing, to cancel half-way or to report progress.

#include "effects/teffect.h"
#include "effects/teffectworker.h"

#include <atomic>

class TestBCEffect : public TEffect
{
    Q_OBJECT
    Q_PROPERTY(float brightness READ brightness WRITE setBrightness NOTIFY brightnessChanged)
    Q_PROPERTY(float contrast READ contrast WRITE setContrast NOTIFY contrastChanged)
    Q_PROPERTY(QString failWith READ failWith WRITE setFailWith NOTIFY failWithChanged)
    Q_PROPERTY(bool cancelHalfway READ cancelHalfway WRITE setCancelHalfway NOTIFY cancelHalfwayChanged)
public:
    static const char* const kClassName;
    explicit TestBCEffect(QObject* parent = nullptr);
    // Registers the class and its worker with TEFactory (once).
    static void registerClass();

    float brightness() const { return params().value("brightness").toFloat(); }
    float contrast() const { return params().value("contrast").toFloat(); }
    QString failWith() const { return params().value("failWith").toString(); }
    bool cancelHalfway() const { return params().value("cancelHalfway").toBool(); }
    void setBrightness(float v) { if (setParam("brightness", v)) emit brightnessChanged(v); }
    void setContrast(float v) { if (setParam("contrast", v)) emit contrastChanged(v); }
    void setFailWith(const QString& v) { if (setParam("failWith", v)) emit failWithChanged(v); }
    void setCancelHalfway(bool v) { if (setParam("cancelHalfway", v)) emit cancelHalfwayChanged(v); }

signals:
    void brightnessChanged(float);
    void contrastChanged(float);
    void failWithChanged(QString);
    void cancelHalfwayChanged(bool);
};

class TestBCEffectWorker : public TEffectWorker
{
    Q_OBJECT
public:
    using TEffectWorker::TEffectWorker;
    // doProc calls, process-wide.
    static std::atomic<int> s_doProcs;

protected:
    QString doProc(TSFbo& out) override;
};
