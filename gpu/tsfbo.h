#pragma once
// Thread: handles may be copied and destroyed on any thread; everything that touches pixels
//         (allocation, bind, transfers, blits, a copy-on-write detach) runs on the render
//         thread with the engine context current.
// Owns: a counted reference to a shared record, which owns one framebuffer; the last
//       handle hands the framebuffer to GLCache's pool, never deletes it.
// Errors: a failed allocation gives an empty TSFbo (isEmpty); refused transfers warn and
//         return false or an empty matrix; GL calls without a current context warn and do nothing.

#include "gpu/tuid.h"

#include <QMetaType>
#include <QOpenGLFramebufferObject>
#include <QRect>
#include <QSize>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <opencv2/core.hpp>

class TSFboData;
class TSMat;

// The engine's GPU image: a cheap-to-copy handle on an offscreen framebuffer with one 2D
// colour texture, carrying the image's uid, scale, name and properties. Copies share the
// record; whatever may change pixels or metadata through a shared handle first gives it a
// private GPU copy (one blit), so pixels seen through one handle never change behind it.
// `release()` after rendering and `dataFromMat` give the content a fresh uid.
class TSFbo
{
public:
    // Empty: no framebuffer, uid 0.
    TSFbo();
    // A w x h framebuffer, from the pool when one of that size and format is free. Sizes
    // below 1 give an empty TSFbo. Contents are undefined until rendered or uploaded.
    TSFbo(int w, int h, uint internalFormat = workingFormat(),
          QOpenGLFramebufferObject::Attachment attachment = QOpenGLFramebufferObject::NoAttachment);
    explicit TSFbo(const QSize& size, uint internalFormat = workingFormat(),
          QOpenGLFramebufferObject::Attachment attachment = QOpenGLFramebufferObject::NoAttachment);
    // Allocates cols x rows and uploads `m`; an empty matrix, or one whose type the format
    // does not take, gives an empty TSFbo.
    explicit TSFbo(const cv::Mat& m, uint internalFormat = workingFormat(), bool finish = false);
    // As above, then takes over the image's uid, scale, name and properties.
    explicit TSFbo(const TSMat& m, uint internalFormat = workingFormat(), bool finish = false);
    // Adopts `fbo` (the record owns it from now on) under `uid`.
    TSFbo(QOpenGLFramebufferObject* fbo, uint uid);
    TSFbo(const TSFbo& other);
    TSFbo(TSFbo&& other) noexcept;
    TSFbo& operator=(const TSFbo& other);
    TSFbo& operator=(TSFbo&& other) noexcept;
    virtual ~TSFbo();

    // The one engine-wide image format every stage renders its working images in.
    // GL_RGBA16F (default) keeps 8-bit levels exactly and is the fastest pass target here;
    // GL_R11F_G11F_B10F halves the memory. A host chooses before the server starts; any
    // other value is refused (false).
    static GLenum workingFormat();
    static bool setWorkingFormat(GLenum internalFormat);

    int width() const;
    int height() const;
    QSize size() const;
    // width / height, 1.0 when the height is 0.
    float aspect() const;
    bool isEmpty() const;
    uint internalFormat() const;
    int numChannels() const;
    // The colour texture's name; 0 when empty. Valid while this handle keeps the record.
    GLuint texture() const;
    // Non-const access detaches first (the caller may render into it).
    QOpenGLFramebufferObject* fbo();
    const QOpenGLFramebufferObject* fbo() const;

    uint uid() const;
    float scale() const;
    QString name() const;
    QVariantMap properties() const;
    QVariant property(const QString& key) const;
    // Setters detach only when the value really changes (scale compared fuzzily).
    void setUid(uint uid);
    void setScale(float scale);
    void setName(const QString& name);
    void setProperty(const QString& key, const QVariant& value);
    void setProperties(const QVariantMap& properties);

    // Same uid and same size; pixels are never compared.
    bool operator==(const TSFbo& other) const;
    bool operator!=(const TSFbo& other) const { return !(*this == other); }

    // Detach, then bind as the draw target (bindViewport also sets the viewport to the
    // whole image). False when empty or without a current context.
    bool bind();
    bool bindViewport();
    // As bindViewport, but a shared image gets a fresh framebuffer without the old pixels
    // (no copy): for passes that write every pixel.
    bool bindViewportToOverwrite();
    // Detach, unbind, fresh uid: the end of rendering into this image.
    bool release();

    // Upload / download between a matrix and a framebuffer (see GLPixelTransfer). The
    // matrix of a download must already have the framebuffer's size and the wanted type.
    static bool matToFbo(const cv::Mat& m, QOpenGLFramebufferObject* fbo, bool finish);
    static bool fboToMat(const QOpenGLFramebufferObject* fbo, cv::Mat& m, bool finish, bool clamp);
    // Detach, upload into this framebuffer, fresh uid.
    bool dataFromMat(const cv::Mat& m, bool finish = false);
    // A new height x width matrix of `cvType` with the pixels; an empty TSFbo or a refused
    // type gives an empty matrix of that type.
    cv::Mat dataToMat(int cvType, bool finish = false, bool clamp = false) const;
    // dataToMat, carrying this image's uid, scale, name and properties.
    TSMat dataToTSMat(int cvType, bool finish = false, bool clamp = false) const;

    // An independent GPU copy with the same uid and metadata.
    TSFbo clone() const;
    // Resamples this image into dst's size: with n = int(log2(1 / r) + 0.25) for the larger
    // of the two size ratios r, a low-pass reduction by 2^n first when n >= 1 (dst at most
    // about 0.59 of the size), then a bilinear copy (alpha 1).
    void scaleTo(TSFbo& dst) const;
    // Blit the whole (or a rectangle) of src into dst; dst is detached first, its uid kept.
    static void blitFramebuffer(TSFbo* dst, const TSFbo* src, GLbitfield buffers = GL_COLOR_BUFFER_BIT,
                                GLenum filter = GL_NEAREST);
    static void blitFramebuffer(TSFbo* dst, const QRect& dstRect, const TSFbo* src, const QRect& srcRect,
                                GLbitfield buffers = GL_COLOR_BUFFER_BIT, GLenum filter = GL_NEAREST);
    // Debug aid: shows the clamped 8-bit pixels in an OpenCV window.
    void imshow(const QString& title) const;

    // Format table (GLFormatInfo): the matrix type a download yields by default.
    static int toCvType(uint internalFormat);
    // False, with the warning "Error!!! - unsupported format: <n>", for formats the engine
    // does not prefer.
    static bool isPreferedFormat(uint internalFormat);
    // Memory of the colour texture in KB; 0 for null or an empty size.
    static int textureSizeKB(const QOpenGLFramebufferObject* fbo);

    // Statistics over live records (atomic, any thread).
    static int totalKBytesUsed();
    static int maxKBytesUsed();
    static void resetMaxKBbytes();
    static int fboUsed();
    // Copy-on-write GPU copies made so far (detaches of shared records with a framebuffer).
    static int detachCopies();

    // Registers the "TSFbo" meta type and its uid getter. Any number of calls, any thread.
    static void registerMetaType();

private:
    explicit TSFbo(TSFboData* d);
    // Gives this handle a private record (a null handle gets a bare one). With `keepPixels`
    // false the new framebuffer's content is left undefined, for callers about to overwrite
    // all of it. False when no framebuffer could be had (the handle is then empty).
    bool detach(bool keepPixels = true);
    // A record of the same size and format with this image's uid and metadata, and with its
    // pixels when `keepPixels`; null when no framebuffer could be had.
    TSFboData* copyRecord(bool keepPixels) const;

    TSFboData* d = nullptr;
};

Q_DECLARE_METATYPE(TSFbo)
