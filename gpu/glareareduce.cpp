#include "gpu/glareareduce.h"

GLAreaReduce::GLAreaReduce()
    : GLImFilter(QStringLiteral(":/korvane/glshaders/areareduce.frag"))
{
}

TSFbo GLAreaReduce::reduce(const TSFbo& in, const QSize& size, uint internalFormat)
{
    if (in.isEmpty() || size.isEmpty() || size.width() > in.width() || size.height() > in.height())
        return TSFbo();
    setTexture(QStringLiteral("inputTexture0"), in, GL_NEAREST, GL_CLAMP_TO_EDGE);
    setUniformValue(QStringLiteral("outSize"), QSizeF(size));
    TSFbo out = render(size, internalFormat, in.scale());
    setTexture(QStringLiteral("inputTexture0"), TSFbo()); // the input is not held past the pass
    return out;
}
