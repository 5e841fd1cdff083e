#pragma once
// Layer classes with known images for the node tests, registered by name as a host would:
// a fill, a stamp that keeps its snapshot as it is, and a layer that fails on request.

#include "nodes/tnode.h"
#include "nodes/tnodefactory.h"
#include "nodes/tnodestamp.h"
#include "nodes/tnodestampworker.h"

#include "gputest.h"

#include <QColor>
#include <QOpenGLFunctions_3_3_Core>

// Paints its whole image one colour, given as "fill".
class FillWorker : public TNodeWorker
{
    Q_OBJECT
public:
    using TNodeWorker::TNodeWorker;
    QString doProc(TSFbo& io) override
    {
        const QColor c = paramValue("fill").value<QColor>();
        TSFbo painted(io.size(), TSFbo::workingFormat());
        if (!painted.bind())
            return QStringLiteral("fill: no framebuffer");
        funcs()->glClearColor(float(c.redF()), float(c.greenF()), float(c.blueF()), 1.f);
        funcs()->glClear(GL_COLOR_BUFFER_BIT);
        painted.release();
        painted.setScale(io.scale());
        io = painted;
        return QString();
    }
};

class FillLayer : public TNode
{
    Q_OBJECT
    Q_PROPERTY(QColor fill READ fill WRITE setFill NOTIFY fillChanged)
public:
    explicit FillLayer(TImproc* parent = nullptr, unsigned int uid = 0)
        : TNode(parent, uid)
    {
        m_params.insert("fill", QColor(Qt::black));
        finalizeTNodeClass("FillLayer");
    }
    QColor fill() const { return m_params.value("fill").value<QColor>(); }

signals:
    void fillChanged(QColor);

public slots:
    void setFill(const QColor& c)
    {
        if (c == fill())
            return;
        m_params.insert("fill", c);
        enqueueAParam("fill", c);
        emit fillChanged(c);
    }
};

// Adds "shift" to red, green and blue of its image (alpha kept).
class ShiftWorker : public TNodeWorker
{
    Q_OBJECT
public:
    using TNodeWorker::TNodeWorker;
    QString doProc(TSFbo& io) override
    {
        io = GpuTest::brightnessContrast(io, paramValue("shift").toFloat());
        return io.isEmpty() ? QStringLiteral("shift: no framebuffer") : QString();
    }
};

class ShiftLayer : public TNode
{
    Q_OBJECT
    Q_PROPERTY(float shift READ shift WRITE setShift NOTIFY shiftChanged)
public:
    explicit ShiftLayer(TImproc* parent = nullptr, unsigned int uid = 0)
        : TNode(parent, uid)
    {
        m_params.insert("shift", 0.0f);
        finalizeTNodeClass("ShiftLayer");
    }
    float shift() const { return floatParam("shift"); }

signals:
    void shiftChanged(float);

public slots:
    void setShift(float v) { setFloat("shift", v, &ShiftLayer::shiftChanged); }
};

// Its own step leaves the image alone; "fail" true makes it report an error instead.
class FailWorker : public TNodeWorker
{
    Q_OBJECT
public:
    using TNodeWorker::TNodeWorker;
    QString doProc(TSFbo&) override
    {
        return paramValue("fail").toBool() ? QStringLiteral("ERROR - FailWorker - failing on request") : QString();
    }
};

class FailLayer : public TNode
{
    Q_OBJECT
public:
    explicit FailLayer(TImproc* parent = nullptr, unsigned int uid = 0)
        : TNode(parent, uid)
    {
        m_params.insert("fail", false);
        finalizeTNodeClass("FailLayer");
    }
};

// A stamp whose own step leaves the snapshot as it is.
class StampWorker : public TNodeStampWorker
{
    Q_OBJECT
public:
    using TNodeStampWorker::TNodeStampWorker;
    QString doProc(TSFbo&) override { return QString(); }
};

class StampLayer : public TNodeStamp
{
    Q_OBJECT
public:
    explicit StampLayer(TImproc* parent = nullptr, unsigned int uid = 0)
        : TNodeStamp(parent, uid)
    {
        finalizeTNodeClass("StampLayer");
    }
};

namespace TestLayers {
template <class Node, class Worker>
void registerLayer(const char* name)
{
    TNodeFactory::registerNodeClass(name, [](TImproc* parent, uint uid) -> TNode* { return new Node(parent, uid); },
                                    [](uint uid, uint parent) -> TNodeWorker* { return new Worker(uid, parent); });
}

// Registers the classes above once (later calls are refused by the registry and harmless).
inline void registerAll()
{
    registerLayer<FillLayer, FillWorker>("FillLayer");
    registerLayer<ShiftLayer, ShiftWorker>("ShiftLayer");
    registerLayer<FailLayer, FailWorker>("FailLayer");
    registerLayer<StampLayer, StampWorker>("StampLayer");
}
} // namespace TestLayers
