#pragma once
// Thread: GUI thread (a node of the host's tree); its worker renders on the render thread.
// Owns: nothing beyond its parameters.
// Errors: none of its own.

#include "nodes/tnode.h"

// A blur of `radius` pixels of the full-resolution image (previews blur proportionally less,
// so they look like the saved file).
class BlurLayer : public TNode
{
    Q_OBJECT
    Q_PROPERTY(float radius READ radius WRITE setRadius NOTIFY radiusChanged)
public:
    explicit BlurLayer(TImproc* parent = nullptr, unsigned int uid = 0);

    float radius() const { return floatParam(QStringLiteral("radius")); }

signals:
    void radiusChanged(float);

public slots:
    void setRadius(float v) { setFloat(QStringLiteral("radius"), v, &BlurLayer::radiusChanged); }
};
