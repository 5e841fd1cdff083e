#include "gpu/glpixeltransfer.h"
#include "gpu/gpulogging.h"

#include "gpu/glformatinfo.h"
#include "gpu/glimfilter.h"
#include "gpu/glpixelconvert.h"
#include "gpu/glprog.h"

#include <QOpenGLFunctions_3_3_Core>

#include <algorithm>
#include <vector>

namespace {

// Staging bands of about this size keep the converted rows in cache-sized pieces.
constexpr size_t kStagingBytes = size_t(4) << 20;

void warnNotSupported(GLenum internalFormat, int cvType)
{
    qCWarning(lcGpu).noquote() << QStringLiteral("Not supported: internalformat= %1 matType= %2")
                                .arg(internalFormat)
                                .arg(cvType);
}

// The functions for a transfer between `internalFormat` storage and matrices of `cvType`,
// with tightly packed rows and unit 0 active; null, with a warning, when the pair is not
// supported or no context is current.
QOpenGLFunctions_3_3_Core* beginTransfer(const char* caller, GLenum internalFormat, int cvType,
                                         GLFormatInfo::Transfer& t)
{
    t = GLFormatInfo::transfer(internalFormat, cvType);
    if (!t.ok) {
        warnNotSupported(internalFormat, cvType);
        return nullptr;
    }
    QOpenGLFunctions_3_3_Core* f = GLProg::checkedFuncs(caller);
    if (!f)
        return nullptr;
    f->glPixelStorei(GL_PACK_ALIGNMENT, 1);
    f->glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    f->glActiveTexture(GL_TEXTURE0);
    return f;
}

int bandRows(int width, int bytesPerPixel)
{
    const size_t rowBytes = size_t(width) * size_t(bytesPerPixel);
    return int(std::clamp<size_t>(kStagingBytes / std::max<size_t>(rowBytes, 1), 1, GLPixelTransfer::kMaxTile));
}

// Row length in pixels for the driver, or -1 when the stride is not a whole number of pixels.
int rowLengthOf(const cv::Mat& m)
{
    const size_t elem = m.elemSize();
    return m.step[0] % elem == 0 ? int(m.step[0] / elem) : -1;
}

void uploadDirect(QOpenGLFunctions_3_3_Core* f, const cv::Mat& m, const GLFormatInfo::Transfer& t,
                  const QPoint& at = QPoint())
{
    const int rowLength = rowLengthOf(m);
    for (const QRect& tile : GLPixelTransfer::tiles(QSize(m.cols, m.rows))) {
        const cv::Mat part = m(cv::Rect(tile.x(), tile.y(), tile.width(), tile.height()));
        cv::Mat copy;
        if (rowLength < 0)
            copy = part.clone();
        const cv::Mat& src = rowLength < 0 ? copy : part;
        f->glPixelStorei(GL_UNPACK_ROW_LENGTH, rowLength < 0 ? 0 : rowLength);
        f->glTexSubImage2D(GL_TEXTURE_2D, 0, at.x() + tile.x(), at.y() + tile.y(), tile.width(), tile.height(),
                           t.format, t.type, src.data);
    }
}

void uploadStaged(QOpenGLFunctions_3_3_Core* f, const cv::Mat& m, const GLFormatInfo::Transfer& t, int storageChannels)
{
    const int bpp = t.stagingBytesPerPixel;
    const int band = bandRows(m.cols, bpp);
    std::vector<uint8_t> staging(size_t(band) * size_t(m.cols) * size_t(bpp));
    f->glPixelStorei(GL_UNPACK_ROW_LENGTH, m.cols);
    for (int y = 0; y < m.rows; y += band) {
        const int rows = std::min(band, m.rows - y);
        GLPixelConvert::encode(m, y, rows, t.staging, storageChannels, staging.data());
        for (int x = 0; x < m.cols; x += GLPixelTransfer::kMaxTile) {
            const int w = std::min(GLPixelTransfer::kMaxTile, m.cols - x);
            f->glTexSubImage2D(GL_TEXTURE_2D, 0, x, y, w, rows, t.format, t.type, staging.data() + size_t(x) * bpp);
        }
    }
}

void downloadDirect(QOpenGLFunctions_3_3_Core* f, GLuint texture, cv::Mat& m, const GLFormatInfo::Transfer& t)
{
    f->glBindTexture(GL_TEXTURE_2D, texture);
    const int rowLength = rowLengthOf(m);
    if (rowLength < 0) {
        cv::Mat tight(m.rows, m.cols, m.type());
        f->glPixelStorei(GL_PACK_ROW_LENGTH, 0);
        f->glGetTexImage(GL_TEXTURE_2D, 0, t.format, t.type, tight.data);
        tight.copyTo(m);
    } else {
        f->glPixelStorei(GL_PACK_ROW_LENGTH, rowLength);
        f->glGetTexImage(GL_TEXTURE_2D, 0, t.format, t.type, m.data);
    }
    f->glBindTexture(GL_TEXTURE_2D, 0);
}

void downloadStaged(QOpenGLFunctions_3_3_Core* f, GLuint framebuffer, cv::Mat& m, const GLFormatInfo::Transfer& t,
                    int storageChannels, bool clamp)
{
    GLint previous = 0;
    f->glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &previous);
    f->glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    const int bpp = t.stagingBytesPerPixel;
    const int band = bandRows(m.cols, bpp);
    std::vector<uint8_t> staging(size_t(band) * size_t(m.cols) * size_t(bpp));
    f->glPixelStorei(GL_PACK_ROW_LENGTH, m.cols);
    for (int y = 0; y < m.rows; y += band) {
        const int rows = std::min(band, m.rows - y);
        for (int x = 0; x < m.cols; x += GLPixelTransfer::kMaxTile) {
            const int w = std::min(GLPixelTransfer::kMaxTile, m.cols - x);
            f->glReadPixels(x, y, w, rows, t.format, t.type, staging.data() + size_t(x) * bpp);
        }
        GLPixelConvert::decode(staging.data(), y, rows, t.staging, storageChannels, m, clamp);
    }
    f->glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(previous));
}

} // namespace

QVector<QRect> GLPixelTransfer::tiles(const QSize& size, int maxW, int maxH)
{
    QVector<QRect> result;
    if (maxW < 1 || maxH < 1)
        return result;
    for (int y = 0; y < size.height(); y += maxH) {
        for (int x = 0; x < size.width(); x += maxW)
            result.append(QRect(x, y, std::min(maxW, size.width() - x), std::min(maxH, size.height() - y)));
    }
    return result;
}

bool GLPixelTransfer::upload(const cv::Mat& m, QOpenGLFramebufferObject* fbo, bool finish)
{
    return fbo && uploadTexture(m, fbo->texture(), fbo->format().internalTextureFormat(), fbo->size(), finish);
}

bool GLPixelTransfer::uploadTexture(const cv::Mat& m, GLuint texture, GLenum internalFormat,
                                    const QSize& textureSize, bool finish)
{
    if (texture == 0 || m.empty())
        return false;
    if (m.cols > textureSize.width() || m.rows > textureSize.height()) {
        qCWarning(lcGpu) << "GLPixelTransfer::upload - matrix" << m.cols << "x" << m.rows << "larger than the texture"
                   << textureSize;
        return false;
    }
    GLFormatInfo::Transfer t;
    QOpenGLFunctions_3_3_Core* f = beginTransfer("GLPixelTransfer::upload", internalFormat, m.type(), t);
    if (!f)
        return false;
    f->glBindTexture(GL_TEXTURE_2D, texture);
    if (t.staging == GLFormatInfo::Staging::Direct)
        uploadDirect(f, m, t);
    else
        uploadStaged(f, m, t, GLFormatInfo::find(internalFormat).channels());
    f->glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    f->glBindTexture(GL_TEXTURE_2D, 0);
    if (finish)
        f->glFinish();
    return true;
}

bool GLPixelTransfer::download(const QOpenGLFramebufferObject* fbo, cv::Mat& m, bool finish, bool clamp)
{
    if (!fbo)
        return false;
    if (m.cols != fbo->width() || m.rows != fbo->height()) {
        qCWarning(lcGpu) << "GLPixelTransfer::download - matrix" << m.cols << "x" << m.rows << "differs from the texture"
                   << fbo->size();
        return false;
    }
    const GLenum internalFormat = fbo->format().internalTextureFormat();
    GLFormatInfo::Transfer t;
    QOpenGLFunctions_3_3_Core* f = beginTransfer("GLPixelTransfer::download", internalFormat, m.type(), t);
    if (!f)
        return false;
    const GLFormatInfo info = GLFormatInfo::find(internalFormat);
    if (t.staging == GLFormatInfo::Staging::Direct) {
        // Integer matrices and normalised storage are within [0, 1] already; only float from
        // float storage needs the clamping pass.
        TSFbo clamped;
        GLuint texture = fbo->texture();
        if (clamp && m.depth() == CV_32F && !info.isNormalized()) {
            GLImFilter clamping(QStringLiteral(":/korvane/glshaders/clamping.frag"));
            clamping.setTexture(QStringLiteral("inputTexture0"), int(texture), QStringLiteral("2D"), GL_NEAREST,
                                GL_CLAMP_TO_EDGE);
            clamped = clamping.render(fbo->size(), internalFormat, 1.f);
            if (clamped.isEmpty())
                return false;
            texture = clamped.texture();
        }
        downloadDirect(f, texture, m, t);
    } else {
        downloadStaged(f, fbo->handle(), m, t, info.channels(), clamp);
    }
    f->glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    if (finish)
        f->glFinish();
    return true;
}

namespace {

// The transfer of a region: a direct pair, a region inside the texture and a matrix of its size.
QOpenGLFunctions_3_3_Core* beginRegion(const char* caller, const QOpenGLFramebufferObject* fbo, const QRect& region,
                                       const cv::Mat& m, GLFormatInfo::Transfer& t)
{
    if (!fbo || m.empty() || region.isEmpty() || !QRect(QPoint(), fbo->size()).contains(region)
        || m.cols != region.width() || m.rows != region.height()) {
        qCWarning(lcGpu) << caller << "- region" << region << "and matrix" << m.cols << "x" << m.rows
                         << "do not fit the texture" << (fbo ? fbo->size() : QSize());
        return nullptr;
    }
    QOpenGLFunctions_3_3_Core* f =
        beginTransfer(caller, fbo->format().internalTextureFormat(), m.type(), t);
    if (f && t.staging != GLFormatInfo::Staging::Direct) {
        warnNotSupported(fbo->format().internalTextureFormat(), m.type());
        return nullptr;
    }
    return f;
}

} // namespace

bool GLPixelTransfer::downloadRegion(const QOpenGLFramebufferObject* fbo, const QRect& region, cv::Mat& m)
{
    GLFormatInfo::Transfer t;
    QOpenGLFunctions_3_3_Core* f = beginRegion("GLPixelTransfer::downloadRegion", fbo, region, m, t);
    if (!f)
        return false;
    GLint previous = 0;
    f->glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &previous);
    f->glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo->handle());
    const int rowLength = rowLengthOf(m);
    cv::Mat tight;
    if (rowLength < 0)
        tight.create(m.rows, m.cols, m.type());
    cv::Mat& dst = rowLength < 0 ? tight : m;
    f->glPixelStorei(GL_PACK_ROW_LENGTH, rowLength < 0 ? 0 : rowLength);
    f->glReadPixels(region.x(), region.y(), region.width(), region.height(), t.format, t.type, dst.data);
    f->glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    f->glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(previous));
    if (rowLength < 0)
        tight.copyTo(m);
    return true;
}

bool GLPixelTransfer::uploadRegion(const cv::Mat& m, QOpenGLFramebufferObject* fbo, const QPoint& at)
{
    GLFormatInfo::Transfer t;
    QOpenGLFunctions_3_3_Core* f =
        beginRegion("GLPixelTransfer::uploadRegion", fbo, QRect(at, QSize(m.cols, m.rows)), m, t);
    if (!f)
        return false;
    f->glBindTexture(GL_TEXTURE_2D, fbo->texture());
    uploadDirect(f, m, t, at);
    f->glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    f->glBindTexture(GL_TEXTURE_2D, 0);
    return true;
}
