#pragma once
// Thread: GUI thread (a node of the host's tree); its worker renders on the render thread.
// Owns: nothing beyond its parameters.
// Errors: none of its own.

#include "nodes/tnode.h"

#include <QColor>

// A layer that paints a linear gradient from `color` to `color2` at `angle` degrees
// (0: left to right, 90: top to bottom); equal colours make a solid fill.
class FillLayer : public TNode
{
    Q_OBJECT
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)
    Q_PROPERTY(QColor color2 READ color2 WRITE setColor2 NOTIFY color2Changed)
    Q_PROPERTY(float angle READ angle WRITE setAngle NOTIFY angleChanged)
public:
    explicit FillLayer(TImproc* parent = nullptr, unsigned int uid = 0);

    QColor color() const { return m_params.value(QStringLiteral("color")).value<QColor>(); }
    QColor color2() const { return m_params.value(QStringLiteral("color2")).value<QColor>(); }
    float angle() const { return floatParam(QStringLiteral("angle")); }

signals:
    void colorChanged(QColor);
    void color2Changed(QColor);
    void angleChanged(float);

public slots:
    void setColor(const QColor& c) { setValue(QStringLiteral("color"), c, &FillLayer::colorChanged); }
    void setColor2(const QColor& c) { setValue(QStringLiteral("color2"), c, &FillLayer::color2Changed); }
    void setAngle(float v) { setFloat(QStringLiteral("angle"), v, &FillLayer::angleChanged); }
};
