#include "filllayerworker.h"

#include "gpu/glimfilter.h"

#include <QColor>
#include <QVector4D>
#include <QtMath>

namespace {
QVector4D rgba(const QVariant& v)
{
    const QColor c = v.value<QColor>();
    return QVector4D(float(c.redF()), float(c.greenF()), float(c.blueF()), float(c.alphaF()));
}
} // namespace

QString FillLayerWorker::doProc(TSFbo& io)
{
    GLImFilter gradient(QStringLiteral(":/examples/shaders/gradientfill.frag"));
    const double radians = qDegreesToRadians(double(paramFloat("angle")));
    gradient.setUniformValue(QStringLiteral("color0"), rgba(paramValue(QStringLiteral("color"))));
    gradient.setUniformValue(QStringLiteral("color1"), rgba(paramValue(QStringLiteral("color2"))));
    gradient.setUniformValue(QStringLiteral("direction"), QPointF(std::cos(radians), std::sin(radians)));
    const TSFbo painted = gradient.render(io.size(), TSFbo::workingFormat(), io.scale());
    if (painted.isEmpty())
        return QStringLiteral("ERROR!!! FillLayer: the gradient pass failed");
    io = painted;
    return QString();
}
