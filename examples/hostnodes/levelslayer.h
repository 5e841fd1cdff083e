#pragma once
// Thread: GUI thread (a node of the host's tree); its worker renders on the render thread.
// Owns: nothing beyond its parameters.
// Errors: none of its own.

#include "nodes/tnode.h"

// An adjustment layer: exposure in stops (a gain of 2^exposure on the working values), then
// levels (black and white points, 0 to 1) and a gamma.
class LevelsLayer : public TNode
{
    Q_OBJECT
    Q_PROPERTY(float exposure READ exposure WRITE setExposure NOTIFY exposureChanged)
    Q_PROPERTY(float black READ black WRITE setBlack NOTIFY blackChanged)
    Q_PROPERTY(float white READ white WRITE setWhite NOTIFY whiteChanged)
    Q_PROPERTY(float gamma READ gamma WRITE setGamma NOTIFY gammaChanged)
public:
    explicit LevelsLayer(TImproc* parent = nullptr, unsigned int uid = 0);

    float exposure() const { return floatParam(QStringLiteral("exposure")); }
    float black() const { return floatParam(QStringLiteral("black")); }
    float white() const { return floatParam(QStringLiteral("white")); }
    float gamma() const { return floatParam(QStringLiteral("gamma")); }

signals:
    void exposureChanged(float);
    void blackChanged(float);
    void whiteChanged(float);
    void gammaChanged(float);

public slots:
    void setExposure(float v) { setFloat(QStringLiteral("exposure"), v, &LevelsLayer::exposureChanged); }
    void setBlack(float v) { setFloat(QStringLiteral("black"), v, &LevelsLayer::blackChanged); }
    void setWhite(float v) { setFloat(QStringLiteral("white"), v, &LevelsLayer::whiteChanged); }
    void setGamma(float v) { setFloat(QStringLiteral("gamma"), v, &LevelsLayer::gammaChanged); }
};
