#include "gpu/estexture.h"
#include "gpu/gpulogging.h"

#include "gpu/ddsfile.h"
#include "gpu/glcontextinfo.h"
#include "gpu/glformatinfo.h"
#include "gpu/glmemorycounter.h"
#include "gpu/glpixeltransfer.h"
#include "gpu/gltextureutils.h"
#include "gpu/tsmat.h"

#include <QFileInfo>
#include <QImage>
#include <QMutex>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QVector>

#include <opencv2/core.hpp>

#include <atomic>
#include <iostream>
#include <memory>

class ESTextureData
{
public:
    std::atomic<int> ref{1};
    QOpenGLTexture* texture = nullptr;
    TUid uid;
    int kb = 0;
    int channels = 0;
};

namespace {

struct PendingTexture
{
    QOpenGLTexture* texture;
    int kb;
};

GLMemoryCounter s_memory;
std::atomic<int> s_liveTextures{0};
QMutex s_pendingMutex;
QVector<PendingTexture> s_pending;
QMutex s_readerMutex;
ESTexture::ImageReader s_reader;

int compressedBlockBytes(QOpenGLTexture::TextureFormat format)
{
    switch (format) {
    case QOpenGLTexture::RGBA_DXT1:
        return 8;
    case QOpenGLTexture::RGBA_DXT3:
    case QOpenGLTexture::RGBA_DXT5:
        return 16;
    default:
        return 0;
    }
}

// The bytes of every allocated level, as the driver stores them.
qint64 storageBytes(const QOpenGLTexture* texture)
{
    const int blockBytes = compressedBlockBytes(texture->format());
    int pixelBytes = GLFormatInfo::find(GLenum(texture->format())).accountingBytes();
    if (blockBytes == 0 && pixelBytes == 0) {
        qCWarning(lcGpu) << "ESTexture - unknown format" << int(texture->format()) << "counted as 4 bytes per pixel";
        pixelBytes = 4;
    }
    qint64 total = 0;
    for (int level = 0; level < std::max(1, texture->mipLevels()); ++level) {
        const qint64 w = std::max(1, texture->width() >> level);
        const qint64 h = std::max(1, texture->height() >> level);
        total += blockBytes ? ((w + 3) / 4) * ((h + 3) / 4) * blockBytes : w * h * pixelBytes;
    }
    return total;
}

int storageChannels(QOpenGLTexture::TextureFormat format)
{
    return compressedBlockBytes(format) ? 4 : GLFormatInfo::find(GLenum(format)).channels();
}

void freeTexture(const PendingTexture& p)
{
    delete p.texture;
    s_memory.subtract(p.kb);
    --s_liveTextures;
}

QOpenGLFunctions* currentFuncs(const char* caller)
{
    QOpenGLContext* context = QOpenGLContext::currentContext();
    if (!context)
        qCWarning(lcGpu) << caller << "- no current OpenGL context; the texture stays empty";
    return context ? context->functions() : nullptr;
}

int maxTextureSize(QOpenGLFunctions* f)
{
    GLint size = 0;
    f->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    return size;
}

// Storage whose layout matches the matrix, so the upload is a copy.
QOpenGLTexture::TextureFormat storageFor(int cvType)
{
    switch (cvType) {
    case CV_8UC3:
        return QOpenGLTexture::RGB8_UNorm;
    case CV_8UC4:
        return QOpenGLTexture::RGBA8_UNorm;
    case CV_16UC3:
        return QOpenGLTexture::RGB16_UNorm;
    case CV_16UC4:
        return QOpenGLTexture::RGBA16_UNorm;
    default:
        return QOpenGLTexture::NoFormat;
    }
}

QOpenGLTexture* uploadMatrix(const cv::Mat& m)
{
    QOpenGLFunctions* f = currentFuncs("ESTexture");
    if (!f)
        return nullptr;
    const QOpenGLTexture::TextureFormat format = storageFor(m.type());
    if (format == QOpenGLTexture::NoFormat) {
        qCWarning(lcGpu) << "ESTexture - matrices of OpenCV type" << m.type()
                         << "are not supported (8- or 16-bit, 3 or 4 channels)";
        return nullptr;
    }
    const int maxSide = maxTextureSize(f);
    if (m.cols > maxSide || m.rows > maxSide) {
        qCWarning(lcGpu) << "ESTexture -" << m.cols << "x" << m.rows << "exceeds the GL limit of" << maxSide;
        return nullptr;
    }
    auto texture = std::make_unique<QOpenGLTexture>(QOpenGLTexture::Target2D);
    texture->setFormat(format);
    texture->setSize(m.cols, m.rows);
    texture->setMipLevels(1);
    texture->allocateStorage();
    if (!texture->isStorageAllocated()
        || !GLPixelTransfer::uploadTexture(m, texture->textureId(), GLenum(format), QSize(m.cols, m.rows), false)) {
        GLContextInfo::discardErrors();
        qCWarning(lcGpu) << "ESTexture - could not upload a" << m.cols << "x" << m.rows << "matrix";
        return nullptr;
    }
    texture->setMinMagFilters(QOpenGLTexture::Linear, QOpenGLTexture::Linear);
    return texture.release();
}

void refuseCompressed(const QString& path, const QString& reason)
{
    std::cerr << "Could not load compressed texture " << path.toStdString() << ": " << reason.toStdString()
              << std::endl;
}

QOpenGLTexture* loadCompressed(const QString& path)
{
    QOpenGLFunctions* f = currentFuncs("ESTexture");
    if (!f)
        return nullptr;
    char* raw = nullptr;
    uint size = 0;
    if (!GLTextureUtils::load(path, &raw, size)) {
        refuseCompressed(path, QStringLiteral("the file cannot be read"));
        return nullptr;
    }
    const std::unique_ptr<char[]> buffer(raw);
    qCDebug(lcGpu) << "fileSize:" << size;
    const DdsFile dds = DdsFile::parse(buffer.get(), size, maxTextureSize(f));
    qCDebug(lcGpu) << "ddsHeader.mFourCC" << dds.fourCC().toHex();
    if (!dds.isValid()) {
        refuseCompressed(path, dds.error());
        return nullptr;
    }

    const int levels = dds.levels().size();
    GLContextInfo::discardErrors();
    auto texture = std::make_unique<QOpenGLTexture>(QOpenGLTexture::Target2D);
    texture->setFormat(QOpenGLTexture::TextureFormat(dds.internalFormat()));
    texture->setSize(dds.width(), dds.height());
    // Storage for every level: without it the levels above 0 are refused by the driver.
    texture->setMipLevels(levels);
    texture->allocateStorage();
    texture->setMipLevelRange(0, levels - 1);
    if (levels > 1)
        texture->setMinificationFilter(QOpenGLTexture::NearestMipMapLinear);
    // Straight to the driver: QOpenGLTexture::setCompressedData costs some 30 times more here.
    texture->bind();
    for (int i = 0; i < levels; ++i) {
        const DdsFile::Level& level = dds.levels().at(i);
        f->glCompressedTexSubImage2D(GL_TEXTURE_2D, i, 0, 0, level.width, level.height, dds.internalFormat(),
                                     GLsizei(level.size), buffer.get() + level.offset);
    }
    texture->release();
    const GLenum error = f->glGetError();
    if (!texture->isStorageAllocated() || error != GL_NO_ERROR) {
        GLContextInfo::discardErrors();
        refuseCompressed(path, QStringLiteral("the GL refused the data (error %1)").arg(error));
        return nullptr;
    }
    return texture.release();
}

QOpenGLTexture* loadImageFile(const QString& path)
{
    ESTexture::ImageReader reader;
    {
        QMutexLocker lock(&s_readerMutex);
        reader = s_reader;
    }
    if (!reader) {
        qCWarning(lcGpu) << "ESTexture - no image reader: the library is not set up, cannot read" << path;
        return nullptr;
    }
    QString error;
    const TSMat image = reader(path, &error);
    if (image.isEmpty()) {
        qCWarning(lcGpu) << "ESTexture - cannot read" << path << error;
        return nullptr;
    }
    // The reader widens 8-bit files by 257: dividing by 257 gives their bytes back exactly.
    cv::Mat bytes;
    image.mat().convertTo(bytes, CV_MAKETYPE(CV_8U, image.mat().channels()), 1.0 / 257.0);
    return uploadMatrix(bytes);
}

} // namespace

ESTexture::ESTexture(QOpenGLTexture* texture)
    : d(new ESTextureData)
{
    if (texture)
        adopt(texture);
    else
        d->uid.set(0);
}

ESTexture::ESTexture(const QImage& image, bool generateMipMaps, QOpenGLTexture::WrapMode wrap, bool finish)
    : d(new ESTextureData)
{
    d->uid.set(0);
    if (image.isNull() || qint64(image.width()) * image.height() < 3 || !currentFuncs("ESTexture"))
        return;
    auto texture = std::make_unique<QOpenGLTexture>(
        image, generateMipMaps ? QOpenGLTexture::GenerateMipMaps : QOpenGLTexture::DontGenerateMipMaps);
    if (!texture->isCreated() || !texture->isStorageAllocated()) {
        qCWarning(lcGpu) << "ESTexture - could not make a texture of a" << image.size() << "image";
        return;
    }
    texture->setWrapMode(wrap);
    adopt(texture.release());
    if (finish)
        glFinish();
}

ESTexture::ESTexture(const TSMat& mat, bool, QOpenGLTexture::WrapMode wrap, bool finish)
    : d(new ESTextureData)
{
    d->uid.set(0);
    if (mat.isEmpty())
        return;
    if (QOpenGLTexture* texture = uploadMatrix(mat.mat())) {
        texture->setWrapMode(wrap);
        adopt(texture);
        if (finish)
            glFinish();
    }
}

ESTexture::ESTexture(const QString& path, bool, QOpenGLTexture::WrapMode wrap)
    : d(new ESTextureData)
{
    d->uid.set(0);
    const QFileInfo file(path);
    if (!file.exists()) {
        qCWarning(lcGpu) << "ESTexture - no file" << path;
        return;
    }
    qCDebug(lcGpu) << "Before Parsing DDS";
    const bool compressed = file.suffix() == QLatin1String("dds");
    QOpenGLTexture* texture = compressed ? loadCompressed(path) : loadImageFile(path);
    if (!texture)
        return;
    texture->setWrapMode(wrap);
    adopt(texture);
    if (!compressed)
        glFinish();
}

ESTexture::ESTexture(const ESTexture& other)
    : d(other.d)
{
    ++d->ref;
}

ESTexture& ESTexture::operator=(const ESTexture& other)
{
    if (d != other.d) {
        ++other.d->ref;
        detach();
        d = other.d;
    }
    return *this;
}

ESTexture::~ESTexture()
{
    detach();
}

void ESTexture::adopt(QOpenGLTexture* texture)
{
    deletePending();
    d->texture = texture;
    d->kb = int(storageBytes(texture) / 1024);
    d->channels = storageChannels(texture->format());
    s_memory.add(d->kb);
    ++s_liveTextures;
}

void ESTexture::detach()
{
    if (--d->ref > 0)
        return;
    if (d->texture) {
        const PendingTexture texture{d->texture, d->kb};
        if (GLContextInfo::canFreeGlObjectsHere()) {
            freeTexture(texture);
        } else {
            QMutexLocker lock(&s_pendingMutex);
            s_pending.append(texture);
        }
    }
    delete d;
    d = nullptr;
}

QOpenGLTexture* ESTexture::texture() const
{
    return d->texture;
}

GLuint ESTexture::textureId() const
{
    return d->texture ? d->texture->textureId() : 0;
}

int ESTexture::width() const
{
    return d->texture ? d->texture->width() : 0;
}

int ESTexture::height() const
{
    return d->texture ? d->texture->height() : 0;
}

QSize ESTexture::size() const
{
    return QSize(width(), height());
}

float ESTexture::aspect() const
{
    return height() > 0 ? float(width()) / float(height()) : 1.0f;
}

bool ESTexture::isEmpty() const
{
    return qint64(width()) * height() == 0;
}

int ESTexture::numChannels() const
{
    return d->texture ? d->channels : 0;
}

int ESTexture::textureSizeKB() const
{
    return d->texture ? d->kb : 0;
}

void ESTexture::bind() const
{
    if (d->texture)
        d->texture->bind();
}

void ESTexture::release() const
{
    if (d->texture)
        d->texture->release();
}

void ESTexture::glFinish()
{
    if (QOpenGLContext* context = QOpenGLContext::currentContext())
        context->functions()->glFinish();
}

unsigned int ESTexture::uid() const
{
    return d->uid.uid();
}

void ESTexture::setUid(unsigned int uid)
{
    d->uid.set(uid);
}

int ESTexture::totalKBytesUsed()
{
    return s_memory.total();
}

int ESTexture::liveTextures()
{
    return s_liveTextures.load();
}

void ESTexture::deletePending()
{
    if (!GLContextInfo::canFreeGlObjectsHere())
        return;
    QVector<PendingTexture> pending;
    {
        QMutexLocker lock(&s_pendingMutex);
        pending.swap(s_pending);
    }
    for (const PendingTexture& texture : pending)
        freeTexture(texture);
}

void ESTexture::setImageReader(ImageReader reader)
{
    QMutexLocker lock(&s_readerMutex);
    s_reader = std::move(reader);
}
