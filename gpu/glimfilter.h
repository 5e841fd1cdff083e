#pragma once
// Thread: render thread, with the engine context current.
// Owns: a registry of uniform values and input textures, shared by copies of the filter;
//       registered images are held as TSFbo handles, so their textures stay alive and their
//       pixels unchanged while registered. Raw texture names (setTexture with an int)
//       remain the caller's.
// Errors: passes with an empty first input or output, an invalid program or no context do
//         nothing and return false; render/filter then return an empty TSFbo.

#include "gpu/glprog.h"
#include "gpu/tsfbo.h"

#include <QMap>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QTransform>
#include <QVector4D>
#include <QVector>

#include <memory>

// A full-screen pass: GLProg plus named uniforms and input textures that persist from pass
// to pass until overwritten. Textures are bound to units in the alphabetical order of their
// uniform names ("inputTexture0" unit 0, "inputTexture1" unit 1, "mask" after them).
// Every pass binds (and if need be allocates) its output before binding any input texture.
class GLImFilter : public GLProg
{
public:
    struct TextureBinding
    {
        TSFbo image;         // a registered image (keeps its texture alive)
        GLuint texture = 0;  // a caller-owned texture, used when image is empty
        QString target = QStringLiteral("2D"); // "1D", "2D", "3D" or "2D_ARRAY"
        GLenum filter = GL_LINEAR;
        GLenum wrap = GL_MIRRORED_REPEAT;

        GLuint name() const { return image.isEmpty() ? texture : image.texture(); }
    };

    explicit GLImFilter(const QString& fragFile = QStringLiteral(":/korvane/glshaders/copy.frag"),
                        const QString& vertFile = QStringLiteral(":/korvane/glshaders/default.vert"));
    ~GLImFilter() override;

    void setUniformValue(const QString& name, int value);
    void setUniformValue(const QString& name, float value);
    void setUniformValue(const QString& name, double value) { setUniformValue(name, float(value)); }
    void setUniformValue(const QString& name, const QPointF& value);
    void setUniformValue(const QString& name, const QSizeF& value);
    void setUniformValue(const QString& name, const QTransform& value);
    void setUniformValue(const QString& name, const QVector4D& value);
    void setUniformValueArray(const QString& name, const QVector<float>& values);
    // A texture the caller owns, by name.
    void setTexture(const QString& uniform, int texture, const QString& target = QStringLiteral("2D"),
                    int filter = GL_LINEAR, int wrap = GL_MIRRORED_REPEAT);
    // An image, held by handle until overwritten.
    void setTexture(const QString& uniform, const TSFbo& image, int filter = GL_LINEAR,
                    int wrap = GL_MIRRORED_REPEAT);
    // The registered texture binding, for inspection.
    TextureBinding texture(const QString& uniform) const;

    // Inputs "inputTexture0" ... (bilinear, mirrored repeat) into `out`, which gets a fresh
    // uid and in0's scale. Only in0 and out are checked for emptiness. proc(x, x) reads the
    // old pixels of x: the write detaches x from the registered input.
    bool proc(const TSFbo& in, TSFbo& out);
    bool proc(const TSFbo& in0, const TSFbo& in1, TSFbo& out);
    bool proc(const TSFbo& in0, const TSFbo& in1, const TSFbo& in2, TSFbo& out);
    // As proc(in, out), writing only the pixels of `region`; the rest of out keeps its pixels.
    bool procRegion(const TSFbo& in, TSFbo& out, const QRect& region);
    // The same drawn straight-alpha over out's content (see GLProg::enableOverBlending).
    // The one-input form also sets the float "opacity".
    bool proc(float opacity, const TSFbo& in, TSFbo& out);
    bool proc(float opacity, const TSFbo& in0, const TSFbo& in1, TSFbo& out);

    // Draws the registered state into a new framebuffer.
    TSFbo render(const QSize& size, uint internalFormat = TSFbo::workingFormat(), float scale = 1.f);
    // Registers the non-empty inputs and renders a framebuffer like in0.
    TSFbo filter(const TSFbo& in0, const TSFbo& in1 = TSFbo(), const TSFbo& in2 = TSFbo(),
                 const TSFbo& in3 = TSFbo());

private:
    struct Uniforms;

    bool procInputs(std::initializer_list<const TSFbo*> inputs, TSFbo& out, const QRect& region = QRect());
    // Binds out, the program, the uniforms and the textures, draws (within `region` when it
    // is valid), releases out.
    bool pass(TSFbo& out, const QRect& region = QRect());
    void initProgViewPort(const QRect& r);
    void setupUniforms(QOpenGLShaderProgram* p);
    int setTextureUniforms(QOpenGLShaderProgram* p);
    int location(QOpenGLShaderProgram* p, const QString& name);

    std::shared_ptr<Uniforms> m_uniforms;
};
