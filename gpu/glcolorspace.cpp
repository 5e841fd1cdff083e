#include "gpu/glcolorspace.h"

#include "gpu/glprog.h"
#include "gpu/tsfbo.h"

#include <QOpenGLShaderProgram>

bool GlColorSpace::sRGB2Linear(const TSFbo& in, TSFbo& out)
{
    return convert("rgbs2linear.frag", "inputTexture0", in, nullptr, nullptr, out);
}

bool GlColorSpace::linear2SRGB(const TSFbo& in, TSFbo& out)
{
    return convert("rgblinear2s.frag", "inputTexture0", in, nullptr, nullptr, out);
}

bool GlColorSpace::RGB2YUV(const TSFbo& in, TSFbo& out)
{
    return convert("ccrgb2yuv.frag", "inputTexture0", in, nullptr, nullptr, out);
}

bool GlColorSpace::YUV2RGB(const TSFbo& in, TSFbo& out)
{
    return convert("ccyuv2rgb.frag", "inputTexture0", in, nullptr, nullptr, out);
}

bool GlColorSpace::RGB2Y(const TSFbo& in, TSFbo& out)
{
    return convert("ccrgb2y.frag", "inputTexture0", in, nullptr, nullptr, out);
}

bool GlColorSpace::RGB2UV(const TSFbo& in, TSFbo& out)
{
    return convert("ccrgb2uv.frag", "inputTexture0", in, nullptr, nullptr, out);
}

bool GlColorSpace::YUV2RGB(const TSFbo& y, const TSFbo& uv, TSFbo& out)
{
    return convert("ccy1uv2rgb.frag", "inputY", y, "inputUV", &uv, out);
}

bool GlColorSpace::YModifyRGB(const TSFbo& y, const TSFbo& rgb, TSFbo& out)
{
    return convert("ccy1rgb2rgb.frag", "inputY", y, "inputRGB", &rgb, out);
}

bool GlColorSpace::convert(const char* fragment, const char* sampler0, const TSFbo& in0, const char* sampler1,
                           const TSFbo* in1, TSFbo& out)
{
    if (in0.isEmpty() || out.isEmpty() || !GLProg::checkedFuncs("GlColorSpace"))
        return false;
    GLProg prog(QStringLiteral(":/korvane/glshaders/") + QLatin1String(fragment),
                QStringLiteral(":/korvane/glshaders/default.vert"));
    QOpenGLShaderProgram* p = prog.program();
    if (!p || !p->isLinked())
        return false;
    // Handles of our own keep an input that is also the output readable after out detaches.
    const TSFbo first = in0;
    const TSFbo second = in1 ? *in1 : TSFbo();
    // Output first: a detach or a fresh allocation would reset the texture bindings.
    if (!out.bind())
        return false;
    p->bind();
    prog.setTexture2D(sampler0, first.texture(), 0, GL_MIRRORED_REPEAT, GL_LINEAR);
    if (sampler1)
        prog.setTexture2D(sampler1, second.texture(), 1, GL_MIRRORED_REPEAT, GL_LINEAR);
    prog.drawFullFbo(out);
    p->release();
    return true;
}
