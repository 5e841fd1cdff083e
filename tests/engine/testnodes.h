#pragma once
// Small processing-object classes shared by the engine tests.

#include "engine/tcmd.h"
#include "engine/timproc.h"
#include "nodes/tnodeworker.h"

#include <QList>
#include <memory>
#include <vector>

// A GUI object with a double, an enum and a string property, recording the commands it
// would send to the server instead of queueing them.
class RecordingImproc : public TImproc
{
    Q_OBJECT
    Q_PROPERTY(double amount READ amount WRITE setAmount NOTIFY amountChanged)
    Q_PROPERTY(TImproc::ProcMode mode READ mode WRITE setMode NOTIFY modeChanged)
    Q_PROPERTY(QString label READ label WRITE setLabel NOTIFY labelChanged)
public:
    explicit RecordingImproc(QObject* parent = nullptr, unsigned int uid = 0)
        : TImproc(parent, uid)
    {
        m_params.insert("amount", 0.0);
        m_params.insert("mode", QVariant::fromValue(TImproc::FULL));
        m_params.insert("label", QString());
        m_params.insert("className", QStringLiteral("RecordingImproc"));
        m_params.insert("version", 1);
    }

    double amount() const { return m_params.value("amount").toDouble(); }
    TImproc::ProcMode mode() const { return m_params.value("mode").value<TImproc::ProcMode>(); }
    QString label() const { return m_params.value("label").toString(); }

    void setAmount(double v)
    {
        if (setParamValue(QStringLiteral("amount"), v))
            emit amountChanged(v);
    }
    void setMode(TImproc::ProcMode m)
    {
        if (mode() == m)
            return;
        m_params.insert("mode", QVariant::fromValue(m));
        enqueueAParam(QStringLiteral("mode"), QVariant::fromValue(m));
        emit modeChanged(m);
    }
    void setLabel(const QString& s)
    {
        if (label() == s)
            return;
        m_params.insert("label", s);
        enqueueAParam(QStringLiteral("label"), s);
        emit labelChanged(s);
    }

    void enqueueReq(TCmd* req_p) override { commands.emplace_back(req_p); }

    std::vector<std::unique_ptr<TCmd>> commands;

signals:
    void amountChanged(double);
    void modeChanged(TImproc::ProcMode);
    void labelChanged(QString);
};
