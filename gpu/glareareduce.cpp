#include "gpu/glareareduce.h"

GLAreaReduce::GLAreaReduce()
    : GLImFilter(QStringLiteral(":/korvane/glshaders/areareduce.frag"))
{
}

TSFbo GLAreaReduce::reduce(const TSFbo& in, const QSize& size, uint internalFormat)
{
    if (in.isEmpty() || size.isEmpty() || size.width() > in.width() || size.height() > in.height())
        return TSFbo();
    TSFbo out(size, internalFormat);
    out.setScale(in.scale());
    return reduce(in, QRect(QPoint(), in.size()), out) ? out : TSFbo();
}

bool GLAreaReduce::reduce(const TSFbo& in, const QRectF& source, TSFbo& out)
{
    if (in.isEmpty() || out.isEmpty() || source.width() < out.width() || source.height() < out.height()
        || !QRectF(QPointF(), QSizeF(in.size())).contains(source))
        return false;
    setUniformValue(QStringLiteral("outSize"), QSizeF(out.size()));
    setUniformValue(QStringLiteral("srcOrigin"), source.topLeft());
    setUniformValue(QStringLiteral("srcExtent"), source.size());
    const bool done = proc(in, out);
    setTexture(QStringLiteral("inputTexture0"), TSFbo()); // the input is not held past the pass
    return done;
}
