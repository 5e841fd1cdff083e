#pragma once
// Node classes a test host registers: a root worker that counts the renders reaching it,
// and a plain layer node with one parameter of its own.

#include "nodes/tnode.h"
#include "nodes/tnoderootwithadjustworker.h"

#include <QAtomicInt>

class HostRootWorker : public TNodeRootWithAdjustWorker
{
    Q_OBJECT
public:
    HostRootWorker(unsigned int uid, unsigned int parentUid);
    ~HostRootWorker() override;

    // Renders that reached this worker, and the tag of the last (read once it is idle).
    int renders = 0;
    QString lastTag;
    // Renders that reached a root worker, process-wide (read from any thread).
    static QAtomicInt s_renders;
    // Set by test commands while their redo runs; a render must never see it set.
    static QAtomicInt s_commandRunning;
    static QAtomicInt s_overlaps;
};

// A layer whose own step leaves the image as it is.
class IdentityWorker : public TNodeWorker
{
    Q_OBJECT
public:
    using TNodeWorker::TNodeWorker;
    QString doProc(TSFbo&) override { return QString(); }
};

class HostLayer : public TNode
{
    Q_OBJECT
    Q_PROPERTY(float amount READ amount WRITE setAmount NOTIFY amountChanged)
public:
    explicit HostLayer(TImproc* parent = nullptr, unsigned int uid = 0);
    float amount() const { return floatParam(QStringLiteral("amount")); }

signals:
    void amountChanged(float);

public slots:
    void setAmount(float v) { setFloat(QStringLiteral("amount"), v, &HostLayer::amountChanged); }
};
