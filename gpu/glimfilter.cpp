#include "gpu/glimfilter.h"

#include "gpu/glvertices.h"

#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLShaderProgram>

struct GLImFilter::Uniforms
{
    QMap<QString, TextureBinding> textures;
    QMap<QString, float> floats;
    QMap<QString, int> ints;
    QMap<QString, QSizeF> sizes;
    QMap<QString, QPointF> points;
    QMap<QString, QTransform> transforms;
    QMap<QString, QVector4D> vectors;
    QMap<QString, QVector<float>> arrays;
    // Looked up once per name; valid for the program cache generation it was made in.
    QMap<QString, int> locations;
    int locationsGeneration = -1;
};

namespace {
QString inputName(int i)
{
    return QStringLiteral("inputTexture%1").arg(i);
}
} // namespace

GLImFilter::GLImFilter(const QString& fragFile, const QString& vertFile)
    : GLProg(fragFile, vertFile)
    , m_uniforms(std::make_shared<Uniforms>())
{
}

GLImFilter::~GLImFilter() = default;

void GLImFilter::setUniformValue(const QString& name, int value)
{
    m_uniforms->ints.insert(name, value);
}

void GLImFilter::setUniformValue(const QString& name, float value)
{
    m_uniforms->floats.insert(name, value);
}

void GLImFilter::setUniformValue(const QString& name, const QPointF& value)
{
    m_uniforms->points.insert(name, value);
}

void GLImFilter::setUniformValue(const QString& name, const QSizeF& value)
{
    m_uniforms->sizes.insert(name, value);
}

void GLImFilter::setUniformValue(const QString& name, const QTransform& value)
{
    m_uniforms->transforms.insert(name, value);
}

void GLImFilter::setUniformValue(const QString& name, const QVector4D& value)
{
    m_uniforms->vectors.insert(name, value);
}

void GLImFilter::setUniformValueArray(const QString& name, const QVector<float>& values)
{
    m_uniforms->arrays.insert(name, values);
}

void GLImFilter::setTexture(const QString& uniform, int texture, const QString& target, int filter, int wrap)
{
    TextureBinding b;
    b.texture = GLuint(texture);
    b.target = target;
    b.filter = GLenum(filter);
    b.wrap = GLenum(wrap);
    m_uniforms->textures.insert(uniform, b);
}

void GLImFilter::setTexture(const QString& uniform, const TSFbo& image, int filter, int wrap)
{
    TextureBinding b;
    b.image = image;
    b.filter = GLenum(filter);
    b.wrap = GLenum(wrap);
    m_uniforms->textures.insert(uniform, b);
}

GLImFilter::TextureBinding GLImFilter::texture(const QString& uniform) const
{
    return m_uniforms->textures.value(uniform);
}

bool GLImFilter::proc(const TSFbo& in, TSFbo& out)
{
    return procInputs({&in}, out);
}

bool GLImFilter::proc(const TSFbo& in0, const TSFbo& in1, TSFbo& out)
{
    return procInputs({&in0, &in1}, out);
}

bool GLImFilter::proc(const TSFbo& in0, const TSFbo& in1, const TSFbo& in2, TSFbo& out)
{
    return procInputs({&in0, &in1, &in2}, out);
}

bool GLImFilter::procRegion(const TSFbo& in, TSFbo& out, const QRect& region)
{
    return region.isValid() && procInputs({&in}, out, region);
}

bool GLImFilter::proc(float opacity, const TSFbo& in, TSFbo& out)
{
    setUniformValue(QStringLiteral("opacity"), opacity);
    if (in.isEmpty())
        return false;
    enableOverBlending();
    const bool done = proc(in, out);
    disableGlBlending();
    return done;
}

bool GLImFilter::proc(float opacity, const TSFbo& in0, const TSFbo& in1, TSFbo& out)
{
    Q_UNUSED(opacity);
    if (in0.isEmpty() || in1.isEmpty())
        return false;
    enableOverBlending();
    const bool done = proc(in0, in1, out);
    disableGlBlending();
    return done;
}

bool GLImFilter::procInputs(std::initializer_list<const TSFbo*> inputs, TSFbo& out, const QRect& region)
{
    const TSFbo& first = **inputs.begin();
    if (first.isEmpty() || out.isEmpty())
        return false;
    const float scale = first.scale();
    // Registered before out is bound: the registry's handles then share any input that is
    // also the output, so binding out detaches it and the pass reads the old pixels.
    int i = 0;
    for (const TSFbo* in : inputs)
        setTexture(inputName(i++), *in, GL_LINEAR, GL_MIRRORED_REPEAT);
    if (!pass(out, region))
        return false;
    out.setScale(scale);
    return true;
}

TSFbo GLImFilter::render(const QSize& size, uint internalFormat, float scale)
{
    if (size.width() < 1 || size.height() < 1)
        return TSFbo();
    TSFbo out(size, internalFormat, QOpenGLFramebufferObject::NoAttachment);
    if (out.isEmpty() || !pass(out))
        return TSFbo();
    out.setScale(scale);
    return out;
}

TSFbo GLImFilter::filter(const TSFbo& in0, const TSFbo& in1, const TSFbo& in2, const TSFbo& in3)
{
    if (in0.isEmpty())
        return TSFbo();
    const TSFbo* inputs[] = {&in0, &in1, &in2, &in3};
    for (int i = 0; i < 4; ++i) {
        if (!inputs[i]->isEmpty())
            setTexture(inputName(i), *inputs[i], GL_LINEAR, GL_MIRRORED_REPEAT);
    }
    return render(in0.size(), in0.internalFormat(), in0.scale());
}

bool GLImFilter::pass(TSFbo& out, const QRect& region)
{
    QOpenGLShaderProgram* p = program();
    if (!p || !p->isLinked() || !checkedFuncs("GLImFilter::pass"))
        return false;
    // Output first: allocating a framebuffer (a pool miss, or detaching a shared out)
    // resets the active unit's texture binding.
    if (!out.bind())
        return false;
    initProgViewPort(QRect(0, 0, out.width(), out.height()));
    setupUniforms(p);
    setTextureUniforms(p);
    // The scissor comes after the bind: a detach copies out's pixels with a blit, which the
    // scissor would clip.
    if (region.isValid()) {
        funcs()->glEnable(GL_SCISSOR_TEST);
        funcs()->glScissor(region.x(), region.y(), region.width(), region.height());
    }
    GLVertices::stdRect().draw();
    if (region.isValid())
        funcs()->glDisable(GL_SCISSOR_TEST);
    p->release();
    out.release();
    return true;
}

void GLImFilter::initProgViewPort(const QRect& r)
{
    funcs()->glViewport(r.x(), r.y(), r.width(), r.height());
    program()->bind();
}

int GLImFilter::location(QOpenGLShaderProgram* p, const QString& name)
{
    Uniforms& u = *m_uniforms;
    if (u.locationsGeneration != cacheGeneration()) {
        u.locations.clear();
        u.locationsGeneration = cacheGeneration();
    }
    auto it = u.locations.constFind(name);
    if (it == u.locations.constEnd())
        it = u.locations.insert(name, p->uniformLocation(name));
    return it.value();
}

void GLImFilter::setupUniforms(QOpenGLShaderProgram* p)
{
    const Uniforms& u = *m_uniforms;
    for (auto it = u.floats.cbegin(); it != u.floats.cend(); ++it)
        p->setUniformValue(location(p, it.key()), it.value());
    for (auto it = u.ints.cbegin(); it != u.ints.cend(); ++it)
        p->setUniformValue(location(p, it.key()), GLint(it.value()));
    for (auto it = u.sizes.cbegin(); it != u.sizes.cend(); ++it)
        p->setUniformValue(location(p, it.key()), it.value());
    for (auto it = u.points.cbegin(); it != u.points.cend(); ++it)
        p->setUniformValue(location(p, it.key()), it.value());
    for (auto it = u.transforms.cbegin(); it != u.transforms.cend(); ++it)
        p->setUniformValue(location(p, it.key()), it.value());
    for (auto it = u.vectors.cbegin(); it != u.vectors.cend(); ++it)
        p->setUniformValue(location(p, it.key()), it.value());
    for (auto it = u.arrays.cbegin(); it != u.arrays.cend(); ++it)
        p->setUniformValueArray(location(p, it.key()), it.value().constData(), it.value().size(), 1);
}

int GLImFilter::setTextureUniforms(QOpenGLShaderProgram* p)
{
    QOpenGLFunctions_3_3_Core* f = funcs();
    int unit = 0;
    for (auto it = m_uniforms->textures.cbegin(); it != m_uniforms->textures.cend(); ++it, ++unit) {
        const TextureBinding& b = it.value();
        f->glActiveTexture(GLenum(GL_TEXTURE0 + unit));
        GLenum target = GL_TEXTURE_2D;
        int wrapAxes = 2;
        if (b.target == QLatin1String("1D")) {
            target = GL_TEXTURE_1D;
            wrapAxes = 1;
        } else if (b.target == QLatin1String("3D")) {
            target = GL_TEXTURE_3D;
            wrapAxes = 3;
        } else if (b.target == QLatin1String("2D_ARRAY")) {
            target = GL_TEXTURE_2D_ARRAY;
            wrapAxes = 0;
        }
        f->glBindTexture(target, b.name());
        if (b.target != QLatin1String("2D_ARRAY")) {
            f->glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GLint(b.filter));
            f->glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GLint(b.filter));
        }
        const GLenum axes[] = {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T, GL_TEXTURE_WRAP_R};
        for (int a = 0; a < wrapAxes; ++a)
            f->glTexParameteri(target, axes[a], GLint(b.wrap));
        p->setUniformValue(location(p, it.key()), GLint(unit));
    }
    f->glActiveTexture(GL_TEXTURE0);
    return unit;
}
