#pragma once
// Thread: textures are made, bound and freed on the render thread with the engine context
//         current. Handles may be copied and dropped on any thread: a record whose last handle
//         dies elsewhere is queued and its texture freed by the render thread's next GPU call
//         (deletePending). The byte total is atomic.
// Owns: through a shared record, one QOpenGLTexture.
// Errors: whatever cannot be made (a tiny image, an unsupported matrix, a missing, unreadable
//         or malformed file) gives an empty texture and a warning; a refused DDS file writes
//         "Could not load compressed texture <path>: <reason>" to the standard error stream.

#include "gpu/tuid.h"

#include <QOpenGLTexture>
#include <QSize>
#include <QString>

#include <functional>

class QImage;
class TSMat;
class ESTextureData;

// A cheap-to-copy handle on a texture that is only sampled, never rendered into (brush tips,
// overlays, lookup images). Copies share one record, uid included: setUid through one handle
// is seen by all. Textures count their real bytes, all mip levels and compressed blocks
// included, in one process-wide total that the GPU cache subtracts from its budget.
class ESTexture
{
public:
    // Reads a non-DDS image file as CV_16UC4 (the file layer registers it); empty on failure,
    // with the reason in `error`.
    using ImageReader = std::function<TSMat(const QString& path, QString* error)>;

    // Adopts `texture` (null gives an empty texture with uid 0) with a fresh uid.
    ESTexture(QOpenGLTexture* texture = nullptr);
    // An RGBA8 texture of the image; empty below 3 pixels.
    ESTexture(const QImage& image, bool generateMipMaps, QOpenGLTexture::WrapMode wrap, bool finish);
    // CV_8UC3/4 and CV_16UC3/4 pixels in storage of the same layout (RGB8, RGBA8, RGB16,
    // RGBA16), so the upload is a copy; other types give an empty texture. One level.
    ESTexture(const TSMat& mat, bool generateMipMaps, QOpenGLTexture::WrapMode wrap, bool finish);
    // A block-compressed DDS file (suffix "dds", compared case-sensitively) with its levels,
    // or any image file through the registered reader, as RGBA8 with the file's own bytes.
    ESTexture(const QString& path, bool generateMipMaps, QOpenGLTexture::WrapMode wrap);
    ESTexture(const ESTexture& other);
    ESTexture& operator=(const ESTexture& other);
    virtual ~ESTexture();

    QOpenGLTexture* texture() const;
    GLuint textureId() const;
    int width() const;
    int height() const;
    QSize size() const;
    // width / height; 1 when empty.
    float aspect() const;
    bool isEmpty() const;
    // The storage format's channels; 0 when empty.
    int numChannels() const;
    // Bytes of every level of the storage, in KB (rounded down).
    int textureSizeKB() const;
    void bind() const;
    void release() const;
    static void glFinish();
    unsigned int uid() const;
    void setUid(unsigned int uid);

    static int totalKBytesUsed();
    // Records holding a texture, queued ones included.
    static int liveTextures();
    // Render thread with the context current: frees the textures whose last handle died
    // elsewhere. Called by the GPU layer's own calls; harmless anywhere else (does nothing).
    static void deletePending();
    static void setImageReader(ImageReader reader);

private:
    void adopt(QOpenGLTexture* texture);
    void detach();

    ESTextureData* d = nullptr;
};
