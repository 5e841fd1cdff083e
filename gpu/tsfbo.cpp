#include "gpu/tsfbo.h"
#include "gpu/gpulogging.h"

#include "gpu/glcache.h"
#include "gpu/glcontextinfo.h"
#include "gpu/glformatinfo.h"
#include "gpu/glimfilter.h"
#include "gpu/glmemorycounter.h"
#include "gpu/gllowpassfast.h"
#include "gpu/glpixeltransfer.h"
#include "gpu/glprog.h"
#include "gpu/tsmat.h"

#include <QOpenGLFunctions_3_3_Core>

#include <opencv2/highgui.hpp>
#include <opencv2/imgproc.hpp>

#include <atomic>
#include <cmath>

namespace {
std::atomic<GLenum> s_workingFormat{GL_RGBA16F};
GLMemoryCounter s_memory;
std::atomic<int> s_liveRecords{0};
std::atomic<int> s_detachCopies{0};

} // namespace

// The record shared by every copy of a TSFbo until one of them writes.
class TSFboData
{
public:
    TSFboData() { s_liveRecords.fetch_add(1); }
    ~TSFboData()
    {
        if (fbo) {
            s_memory.subtract(kb);
            GLCache::insert(fbo);
        }
        if (s_liveRecords.fetch_sub(1) == 1)
            qCDebug(lcGpu, "all deleted!!");
    }
    TSFboData(const TSFboData&) = delete;
    TSFboData& operator=(const TSFboData&) = delete;

    // Takes ownership of `f` and counts its memory.
    void adopt(QOpenGLFramebufferObject* f)
    {
        fbo = f;
        texture = f ? f->texture() : 0;
        kb = TSFbo::textureSizeKB(f);
        s_memory.add(kb);
    }

    // A framebuffer from the pool, else a new one; when creating fails the whole GPU cache
    // is freed and creation tried once more. Null when that fails too.
    static QOpenGLFramebufferObject* newFramebuffer(const QSize& size, GLenum internalFormat,
                                                    QOpenGLFramebufferObject::Attachment attachment)
    {
        QOpenGLFunctions_3_3_Core* f = GLProg::checkedFuncs("TSFbo allocation");
        if (!f || size.width() < 1 || size.height() < 1)
            return nullptr;
        if (QOpenGLFramebufferObject* pooled = GLCache::takeBuffer(size, internalFormat, attachment)) {
            if (pooled->isValid())
                return pooled;
            delete pooled;
        }
        QOpenGLFramebufferObject* created = create(f, size, internalFormat, attachment);
        if (!created) {
            GLCache::clearAll(false);
            created = create(f, size, internalFormat, attachment);
        }
        return created;
    }

    std::atomic<int> ref{1};
    QOpenGLFramebufferObject* fbo = nullptr;
    TUid uid;
    float scale = 1.f;
    QString name;
    QVariantMap properties;
    GLuint texture = 0;
    int kb = 0;

private:
    static QOpenGLFramebufferObject* create(QOpenGLFunctions_3_3_Core* f, const QSize& size, GLenum internalFormat,
                                            QOpenGLFramebufferObject::Attachment attachment)
    {
        QOpenGLFramebufferObjectFormat format;
        format.setAttachment(attachment);
        format.setInternalTextureFormat(internalFormat);
        format.setMipmap(false);
        format.setSamples(0);
        format.setTextureTarget(GL_TEXTURE_2D);
        auto* fbo = new QOpenGLFramebufferObject(size, format);
        if (fbo->isValid())
            return fbo;
        delete fbo;
        GLContextInfo::discardErrors();
        return nullptr;
    }
};

namespace {

void retain(TSFboData* d)
{
    if (d)
        d->ref.fetch_add(1, std::memory_order_relaxed);
}

// acq_rel so the thread deleting the record sees every write made through other handles.
void releaseRef(TSFboData* d)
{
    if (d && d->ref.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete d;
}

TSFboData* allocateRecord(const QSize& size, GLenum internalFormat, QOpenGLFramebufferObject::Attachment attachment)
{
    QOpenGLFramebufferObject* fbo = TSFboData::newFramebuffer(size, internalFormat, attachment);
    if (!fbo)
        return nullptr;
    auto* d = new TSFboData;
    d->adopt(fbo);
    return d;
}

bool fuzzyEqual(float a, float b)
{
    return std::fabs(a - b) * 100000.f <= std::min(std::fabs(a), std::fabs(b));
}

} // namespace

// ---- construction ------------------------------------------------------------------

TSFbo::TSFbo()
{
    registerMetaType();
}

TSFbo::TSFbo(TSFboData* data)
    : d(data)
{
    registerMetaType();
}

TSFbo::TSFbo(int w, int h, uint internalFormat, QOpenGLFramebufferObject::Attachment attachment)
    : TSFbo(QSize(w, h), internalFormat, attachment)
{
}

TSFbo::TSFbo(const QSize& size, uint internalFormat, QOpenGLFramebufferObject::Attachment attachment)
    : TSFbo()
{
    if (size.width() >= 1 && size.height() >= 1)
        d = allocateRecord(size, internalFormat, attachment);
}

TSFbo::TSFbo(const cv::Mat& m, uint internalFormat, bool finish)
    : TSFbo()
{
    if (m.empty())
        return;
    if (!GLFormatInfo::transfer(internalFormat, m.type()).ok) {
        // Checked before allocating, so a refused type never yields an image of garbage.
        qCWarning(lcGpu).noquote() << QStringLiteral("Not supported: internalformat= %1 matType= %2")
                                    .arg(internalFormat)
                                    .arg(m.type());
        return;
    }
    d = allocateRecord(QSize(m.cols, m.rows), internalFormat, QOpenGLFramebufferObject::NoAttachment);
    if (d && !GLPixelTransfer::upload(m, d->fbo, finish)) {
        releaseRef(d);
        d = nullptr;
    }
}

TSFbo::TSFbo(const TSMat& m, uint internalFormat, bool finish)
    : TSFbo(m.mat(), internalFormat, finish)
{
    if (!d)
        return;
    d->uid.set(m.uid());
    d->scale = m.scale();
    d->name = m.name();
    d->properties = m.properties();
}

TSFbo::TSFbo(QOpenGLFramebufferObject* fbo, uint uid)
    : TSFbo()
{
    if (!fbo)
        return;
    d = new TSFboData;
    d->adopt(fbo);
    d->uid.set(uid);
}

TSFbo::TSFbo(const TSFbo& other)
    : d(other.d)
{
    retain(d);
}

TSFbo::TSFbo(TSFbo&& other) noexcept
    : d(other.d)
{
    other.d = nullptr;
}

TSFbo& TSFbo::operator=(const TSFbo& other)
{
    if (d != other.d) {
        retain(other.d);
        releaseRef(d);
        d = other.d;
    }
    return *this;
}

TSFbo& TSFbo::operator=(TSFbo&& other) noexcept
{
    if (this != &other) {
        releaseRef(d);
        d = other.d;
        other.d = nullptr;
    }
    return *this;
}

TSFbo::~TSFbo()
{
    releaseRef(d);
}

// ---- working format ----------------------------------------------------------------

GLenum TSFbo::workingFormat()
{
    return s_workingFormat.load(std::memory_order_relaxed);
}

bool TSFbo::setWorkingFormat(GLenum internalFormat)
{
    if (internalFormat != GL_RGBA16F && internalFormat != GL_R11F_G11F_B10F) {
        qCWarning(lcGpu) << "TSFbo::setWorkingFormat - not a working format:" << internalFormat;
        return false;
    }
    s_workingFormat.store(internalFormat, std::memory_order_relaxed);
    return true;
}

// ---- queries ------------------------------------------------------------------------

int TSFbo::width() const
{
    return d && d->fbo ? d->fbo->width() : 0;
}

int TSFbo::height() const
{
    return d && d->fbo ? d->fbo->height() : 0;
}

QSize TSFbo::size() const
{
    return QSize(width(), height());
}

float TSFbo::aspect() const
{
    return height() == 0 ? 1.f : float(width()) / float(height());
}

bool TSFbo::isEmpty() const
{
    return width() < 1 || height() < 1;
}

uint TSFbo::internalFormat() const
{
    return d && d->fbo ? d->fbo->format().internalTextureFormat() : 0;
}

int TSFbo::numChannels() const
{
    return d && d->fbo ? GLFormatInfo::find(internalFormat()).channels() : 0;
}

GLuint TSFbo::texture() const
{
    return d ? d->texture : 0;
}

QOpenGLFramebufferObject* TSFbo::fbo()
{
    if (!d)
        return nullptr;
    detach();
    return d ? d->fbo : nullptr;
}

const QOpenGLFramebufferObject* TSFbo::fbo() const
{
    return d ? d->fbo : nullptr;
}

uint TSFbo::uid() const
{
    return d ? d->uid.uid() : 0;
}

float TSFbo::scale() const
{
    return d ? d->scale : 1.f;
}

QString TSFbo::name() const
{
    return d ? d->name : QString();
}

QVariantMap TSFbo::properties() const
{
    return d ? d->properties : QVariantMap();
}

QVariant TSFbo::property(const QString& key) const
{
    return d ? d->properties.value(key) : QVariant();
}

void TSFbo::setUid(uint uid)
{
    if (this->uid() != uid && detach())
        d->uid.set(uid);
}

void TSFbo::setScale(float scale)
{
    if (!fuzzyEqual(this->scale(), scale) && detach())
        d->scale = scale;
}

void TSFbo::setName(const QString& name)
{
    if (this->name() != name && detach())
        d->name = name;
}

void TSFbo::setProperty(const QString& key, const QVariant& value)
{
    if (property(key) != value && detach())
        d->properties.insert(key, value);
}

void TSFbo::setProperties(const QVariantMap& properties)
{
    if (detach())
        d->properties = properties;
}

bool TSFbo::operator==(const TSFbo& other) const
{
    return uid() == other.uid() && size() == other.size();
}

// ---- copy-on-write ------------------------------------------------------------------

TSFboData* TSFbo::copyRecord(bool keepPixels) const
{
    auto* copy = new TSFboData;
    if (!d) {
        copy->uid.set(0); // still no image
        return copy;
    }
    copy->scale = d->scale;
    copy->name = d->name;
    copy->properties = d->properties;
    copy->uid = d->uid;
    if (!d->fbo)
        return copy;
    QOpenGLFramebufferObject* fbo =
        TSFboData::newFramebuffer(d->fbo->size(), d->fbo->format().internalTextureFormat(), d->fbo->attachment());
    if (!fbo) {
        delete copy;
        return nullptr;
    }
    copy->adopt(fbo);
    if (keepPixels) {
        QOpenGLFramebufferObject::blitFramebuffer(fbo, d->fbo, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        s_detachCopies.fetch_add(1);
    }
    return copy;
}

bool TSFbo::detach(bool keepPixels)
{
    if (d && d->ref.load(std::memory_order_acquire) == 1)
        return true;
    TSFboData* copy = copyRecord(keepPixels);
    releaseRef(d);
    d = copy;
    if (!d)
        qCWarning(lcGpu) << "TSFbo - no framebuffer for a private copy; the image is now empty";
    return d != nullptr;
}

// ---- rendering ----------------------------------------------------------------------

bool TSFbo::bind()
{
    if (isEmpty() || !GLProg::checkedFuncs("TSFbo::bind") || !detach())
        return false;
    return d->fbo->bind();
}

bool TSFbo::bindViewport()
{
    if (!bind())
        return false;
    GLProg::funcs()->glViewport(0, 0, width(), height());
    return true;
}

bool TSFbo::bindViewportToOverwrite()
{
    if (isEmpty() || !GLProg::checkedFuncs("TSFbo::bindViewportToOverwrite") || !detach(false) || !d->fbo->bind())
        return false;
    GLProg::funcs()->glViewport(0, 0, width(), height());
    return true;
}

bool TSFbo::release()
{
    if (isEmpty() || !GLProg::checkedFuncs("TSFbo::release") || !detach())
        return false;
    const bool released = d->fbo->release();
    d->uid.update();
    return released;
}

// ---- transfers ----------------------------------------------------------------------

bool TSFbo::matToFbo(const cv::Mat& m, QOpenGLFramebufferObject* fbo, bool finish)
{
    return GLPixelTransfer::upload(m, fbo, finish);
}

bool TSFbo::fboToMat(const QOpenGLFramebufferObject* fbo, cv::Mat& m, bool finish, bool clamp)
{
    return GLPixelTransfer::download(fbo, m, finish, clamp);
}

bool TSFbo::dataFromMat(const cv::Mat& m, bool finish)
{
    if (isEmpty() || m.empty())
        return false;
    // A matrix covering the whole image overwrites every pixel: no need to copy them first.
    const bool whole = m.cols == width() && m.rows == height();
    if (!detach(!whole) || !GLPixelTransfer::upload(m, d->fbo, finish))
        return false;
    d->uid.update();
    return true;
}

cv::Mat TSFbo::dataToMat(int cvType, bool finish, bool clamp) const
{
    if (isEmpty())
        return cv::Mat(0, 0, cvType);
    cv::Mat m(height(), width(), cvType);
    if (!GLPixelTransfer::download(d->fbo, m, finish, clamp))
        return cv::Mat(0, 0, cvType);
    return m;
}

TSMat TSFbo::dataToTSMat(int cvType, bool finish, bool clamp) const
{
    TSMat m(dataToMat(cvType, finish, clamp));
    m.setUid(uid());
    m.setScale(scale());
    m.setName(name());
    m.setProperties(properties());
    return m;
}

// ---- copies and resampling ------------------------------------------------------------

TSFbo TSFbo::clone() const
{
    if (!d)
        return TSFbo();
    return TSFbo(copyRecord(true));
}

void TSFbo::scaleTo(TSFbo& dst) const
{
    if (isEmpty() || dst.isEmpty())
        return;
    const float rx = float(dst.width()) / float(width());
    const float ry = float(dst.height()) / float(height());
    const float r = std::max(rx, ry);
    const int n = int(std::log2(1.f / r) + 0.25f);
    TSFbo source = *this;
    if (n >= 1) {
        // Low-pass by powers of two first, so the final bilinear copy does not alias.
        const TSFbo reduced = GLLowpassFast().log2Dec(*this, n);
        if (!reduced.isEmpty())
            source = reduced;
    }
    GLImFilter().proc(source, dst);
}

void TSFbo::blitFramebuffer(TSFbo* dst, const TSFbo* src, GLbitfield buffers, GLenum filter)
{
    if (!dst || !src || dst->isEmpty() || src->isEmpty() || !GLProg::checkedFuncs("TSFbo::blitFramebuffer"))
        return;
    // The whole image is overwritten: the private copy needs no pixels.
    if (!dst->detach(false))
        return;
    QOpenGLFramebufferObject::blitFramebuffer(dst->d->fbo, src->d->fbo, buffers, filter);
}

void TSFbo::blitFramebuffer(TSFbo* dst, const QRect& dstRect, const TSFbo* src, const QRect& srcRect,
                            GLbitfield buffers, GLenum filter)
{
    if (!dst || !src || dst->isEmpty() || src->isEmpty() || !GLProg::checkedFuncs("TSFbo::blitFramebuffer"))
        return;
    if (!dst->detach())
        return;
    QOpenGLFramebufferObject::blitFramebuffer(dst->d->fbo, dstRect, src->d->fbo, srcRect, buffers, filter);
}

void TSFbo::imshow(const QString& title) const
{
    const int channels = numChannels();
    if (channels < 1)
        return;
    // Two channels show as red and green.
    const int type = CV_MAKETYPE(CV_8U, channels);
    cv::Mat m = dataToMat(type, true, true);
    if (m.empty())
        return;
    if (channels == 2) {
        cv::Mat zero = cv::Mat::zeros(m.size(), CV_8UC1);
        std::vector<cv::Mat> planes;
        cv::split(m, planes);
        cv::merge(std::vector<cv::Mat>{zero, planes[1], planes[0]}, m);
    } else if (channels == 3) {
        cv::cvtColor(m, m, cv::COLOR_RGB2BGR);
    } else if (channels == 4) {
        cv::cvtColor(m, m, cv::COLOR_RGBA2BGRA);
    }
    cv::imshow(title.toStdString(), m);
    cv::waitKey(1);
}

// ---- formats and statistics -------------------------------------------------------------

int TSFbo::toCvType(uint internalFormat)
{
    return GLFormatInfo::find(internalFormat).downloadType();
}

bool TSFbo::isPreferedFormat(uint internalFormat)
{
    if (GLFormatInfo::find(internalFormat).isPreferred())
        return true;
    qCWarning(lcGpu).noquote() << "Error!!! - unsupported format: " + QString::number(internalFormat);
    return false;
}

int TSFbo::textureSizeKB(const QOpenGLFramebufferObject* fbo)
{
    if (!fbo)
        return 0;
    const qint64 pixels = qint64(fbo->width()) * fbo->height();
    if (pixels < 1)
        return 0;
    const GLenum internalFormat = fbo->format().internalTextureFormat();
    int bytes = GLFormatInfo::find(internalFormat).accountingBytes();
    if (bytes == 0) {
        qCWarning(lcGpu).noquote() << "TSFbo::textureSize() - unknown format, please Add" << internalFormat;
        bytes = 4;
    }
    return int(pixels * bytes / 1024);
}

int TSFbo::totalKBytesUsed()
{
    return s_memory.total();
}

int TSFbo::maxKBytesUsed()
{
    return s_memory.peak();
}

void TSFbo::resetMaxKBbytes()
{
    s_memory.resetPeak();
}

int TSFbo::fboUsed()
{
    return s_liveRecords.load();
}

int TSFbo::detachCopies()
{
    return s_detachCopies.load();
}

void TSFbo::registerMetaType()
{
    static const int typeId = [] {
        const int id = qRegisterMetaType<TSFbo>("TSFbo");
        TUid::registerUidGetter(id, [](const QVariant& v) { return v.value<TSFbo>().uid(); });
        return id;
    }();
    Q_UNUSED(typeId);
}
