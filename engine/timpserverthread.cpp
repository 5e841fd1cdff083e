#include "engine/timpserverthread.h"

#include "effects/tebaseworker.h"
#include "effects/tefactory.h"
#include "engine/tfboviewprovider.h"
#include "engine/timprocworker.h"
#include "engine/timpserver.h"
#include "gpu/glcache.h"
#include "gpu/glresources.h"
#include "gpu/glvertices.h"
#include "nodes/tnodefactory.h"
#include "nodes/tnoderootworker.h"

#include <QCoreApplication>
#include <QDebug>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLDebugLogger>
#include <QOpenGLFunctions_3_3_Core>
#include <algorithm>

TFboViewProvider* TImpServerThread::m_fboViewProvider_p = nullptr;
int TImpServerThread::m_maxPointSize = 0;

namespace {
constexpr GLenum kTextureFreeMemoryAti = 0x87FC;
constexpr GLenum kGpuMemoryCurrentAvailableNvx = 0x9049;
constexpr int kMaxDetectedWithoutVendorKB = 1536000;
constexpr int kVendorTrustThresholdKB = 256000;
constexpr int kSmallGpuCacheCapKB = 307200;
constexpr int kMinCacheKB = 204800;
constexpr int kMaxCacheKB = 2048000;
constexpr int kCacheMaxCount = 24;

// Releases the busy permit however the request ends.
class BusyScope
{
public:
    explicit BusyScope(QSemaphore& s) : m_s(s) { m_s.acquire(); }
    ~BusyScope() { m_s.release(); }
private:
    QSemaphore& m_s;
};
} // namespace

TGpuBudget TGpuBudget::compute(int ati, int nv, int detectMax, int ramKB)
{
    TGpuBudget b;
    const int ramThird = ramKB / 3;
    if (ati > 0 || nv > 0) {
        b.detectedKB = std::max(ati, nv);
        if (b.detectedKB < kVendorTrustThresholdKB)
            b.detectedKB = std::max(b.detectedKB, ramThird);
    } else {
        b.detectedKB = std::min(kMaxDetectedWithoutVendorKB, ramThird);
    }
    b.maxTextureSize = detectMax > 0 ? detectMax : 4096;
    int cache = int(b.detectedKB * 0.5);
    if (detectMax > 0 && detectMax < 8000)
        cache = std::min(cache, kSmallGpuCacheCapKB);
    b.cacheKB = std::clamp(cache, kMinCacheKB, kMaxCacheKB);
    return b;
}

int TImpServerThread::maxPointSizeFor(const QString& renderer, float upperBound)
{
    int size = std::max(1, int(upperBound));
    // These drivers under-report the point sizes they draw correctly.
    if (renderer.contains(QLatin1String("AMD"), Qt::CaseInsensitive)
        || renderer.contains(QLatin1String("ATI"), Qt::CaseInsensitive))
        size = std::max(size, 255);
    return size;
}

TImpServerThread::TImpServerThread()
{
    if (!m_fboViewProvider_p)
        m_fboViewProvider_p = new TFboViewProvider;
    m_fboViewProvider_p->moveToThread(this);
    moveToThread(this);
}

TImpServerThread::~TImpServerThread() = default;

bool TImpServerThread::isRenderThread()
{
    QThread* t = TImpServer::impThread();
    return t && QThread::currentThread() == t;
}

void TImpServerThread::attachContext(QOpenGLContext* context, QOffscreenSurface* surface)
{
    if (m_context_p || isShutDown()) {
        // One engine context per process: a later window's context is not needed, since
        // every context shares objects with the global share context.
        qDebug() << "TImpServerThread - a context is already attached; the new one is released";
        if (context)
            context->deleteLater();
        if (surface)
            surface->deleteLater();
        return;
    }
    m_context_p = context;
    m_surface_p = surface;
}

bool TImpServerThread::ensureGpu()
{
    setup();
    return m_setupDone && m_context_p && QOpenGLContext::currentContext() == m_context_p;
}

void TImpServerThread::setup()
{
    if (m_setupDone || !m_context_p || !m_surface_p || isShutDown())
        return;
    if (!m_context_p->makeCurrent(m_surface_p)) {
        qWarning() << "TImpServerThread - cannot make the engine context current";
        return;
    }
    setPriority(QThread::LowPriority);
    m_funcs_p = m_context_p->versionFunctions<QOpenGLFunctions_3_3_Core>();
    if (!m_funcs_p || !m_funcs_p->initializeOpenGLFunctions()) {
        qWarning() << "TImpServerThread - the engine context offers no OpenGL 3.3 core functions";
        m_funcs_p = nullptr;
        return;
    }
    QOpenGLFunctions_3_3_Core* f = m_funcs_p;

    if (const GLubyte* r = f->glGetString(GL_RENDERER)) {
        m_gpuRenderer = QString::fromLatin1(reinterpret_cast<const char*>(r));
        emit gpuRendererChanged(m_gpuRenderer);
    }
    GLfloat pointRange[2] = {0.f, 0.f};
    f->glGetFloatv(GL_POINT_SIZE_RANGE, pointRange);
    m_maxPointSize = maxPointSizeFor(m_gpuRenderer, pointRange[1]);
    emit maxPointSizeChanged(m_maxPointSize);

    GLVertices::stdRect();

    // Vendor memory queries exist only on some drivers; asking elsewhere raises
    // GL_INVALID_ENUM, so ask only when advertised and drain any error left behind.
    GLint ati[4] = {0, 0, 0, 0};
    GLint nv = 0;
    if (m_context_p->hasExtension(QByteArrayLiteral("GL_ATI_meminfo")))
        f->glGetIntegerv(kTextureFreeMemoryAti, ati);
    if (m_context_p->hasExtension(QByteArrayLiteral("GL_NVX_gpu_memory_info")))
        f->glGetIntegerv(kGpuMemoryCurrentAvailableNvx, &nv);
    for (int i = 0; i < 16 && f->glGetError() != GL_NO_ERROR; ++i) {
    }

    GLint detectMax = 0;
    f->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &detectMax);
    const int ramKB = TImpServer::cpuRamKB();
    const TGpuBudget budget = TGpuBudget::compute(ati[0], nv, detectMax, ramKB);
    m_glRAMSizeKB = budget.detectedKB;
    m_glMaxTextureSize = budget.maxTextureSize;
    emit glMaxTextureSizeChanged(m_glMaxTextureSize);

    qDebug().nospace() << "GPU available mem: (cachesize, detected, ati,nv, maxTxr,detectMax, RAM) "
                       << budget.cacheKB << ", " << budget.detectedKB << ", " << ati[0] << ", " << nv << ", "
                       << m_glMaxTextureSize << ", " << detectMax << ", " << ramKB;
    GLCache::setMax(budget.cacheKB, kCacheMaxCount);
    m_setupDone = true;
}

void TImpServerThread::debugGlLog(const QString& tag)
{
    if (!m_glLogger_p)
        return;
    const QList<QOpenGLDebugMessage> messages = m_glLogger_p->loggedMessages();
    if (messages.isEmpty())
        return;
    for (const QOpenGLDebugMessage& m : messages)
        qWarning() << "------- OpenGL logger message: " + tag + "-------" << m.message();
    qWarning() << "------- OpenGL logger message end   -------";
}

void TImpServerThread::clearFboCache()
{
    GLCache::clearAll(true);
}

void TImpServerThread::setRootUid(uint uid, uint thumbUid)
{
    m_rootUid = uid;
    m_thumbRootUid = thumbUid;
}

void TImpServerThread::createNodeWorker(QString className, uint uid, uint uid_parent)
{
    setup();
    delete TImprocWorker::ptr(uid);
    TNodeFactory::createNodeWorker(className, uid, uid_parent);
}

void TImpServerThread::deleteNodeWorker(uint uid)
{
    delete TImprocWorker::ptr(uid);
}

void TImpServerThread::createTEWorker(QString className, uint uid, uint parentUid)
{
    if (TEBaseWorker* old = TEBaseWorker::ptr(uid)) {
        qWarning() << "ERROR!!! still exits: " << className << uid << parentUid;
        delete old;
    }
    TEFactory::createWorker(className, uid, parentUid);
}

void TImpServerThread::deleteTEWorker(uint uid)
{
    TEBaseWorker* worker = TEBaseWorker::ptr(uid);
    qDebug() << "---------------deleteTEWorker " << uid << worker;
    delete worker;
}

void TImpServerThread::reParentTEWorker(uint uid, uint parentUid)
{
    TEBaseWorker* worker = TEBaseWorker::ptr(uid);
    if (!worker) {
        qWarning() << "reParentTEWorker() failed, not exist: " << uid;
        return;
    }
    worker->setParent(TEBaseWorker::ptr(parentUid));
}

bool TImpServerThread::moveChildNodeWorker(uint uid, uint beforeUid)
{
    TImprocWorker* moved = TImprocWorker::ptr(uid);
    if (!moved) {
        qDebug() << "ERROR - TImpServerThread::moveChildWorkerNode - No worker with uid" << uid;
        return false;
    }
    TImprocWorker* parentWorker = moved->parent();
    if (!parentWorker || beforeUid == uid)
        return false;

    QList<TImprocWorker*> order;
    for (QObject* child : parentWorker->children()) {
        if (auto* w = qobject_cast<TImprocWorker*>(child); w && w != moved)
            order.append(w);
    }
    int insertAt = order.size();
    if (beforeUid != 0) {
        auto it = std::find_if(order.begin(), order.end(), [beforeUid](TImprocWorker* w) { return w->uid() == beforeUid; });
        if (it == order.end())
            return false;
        insertAt = int(it - order.begin());
    }
    order.insert(insertAt, moved);
    // Re-attaching appends, so detaching and re-attaching every worker child in the new
    // order leaves them in that order (other children keep their relative order in front).
    for (TImprocWorker* w : order) {
        w->setParent(nullptr);
        w->setParent(parentWorker);
    }
    return true;
}

void TImpServerThread::setRootNodeInput(TSMat input, uint uid)
{
    setup();
    unsigned int target = 0;
    if (uid == m_rootUid)
        target = m_rootUid;
    else if (uid == m_thumbRootUid)
        target = m_thumbRootUid;
    auto* root = qobject_cast<TNodeRootWorker*>(TImprocWorker::ptr(target));
    if (root && !input.isEmpty())
        root->prepareInput(input);
}

void TImpServerThread::runImproc(uint uid, QString reqTag, QString fboId)
{
    {
        BusyScope busy(m_busy);
        if (uid != 0) {
            if (auto* root = qobject_cast<TNodeRootWorker*>(TImprocWorker::ptr(m_rootUid))) {
                setup();
                root->emitUpdateReq(root, reqTag, fboId);
            }
        }
    }
    emitDone();
}

void TImpServerThread::emitDone()
{
    // Released before the answer leaves, so whoever reacts to it never sees a stale busy state.
    emit doneImproc(QString());
}

void TImpServerThread::runImproc(uint uid, QString reqTag)
{
    runImproc(uid, reqTag, QString());
}

void TImpServerThread::runImproc(uint uid)
{
    runImproc(uid, QString(), QString());
}

void TImpServerThread::saveImage(uint uid, QUrl fileName, QVariantMap fileParams)
{
    {
        BusyScope busy(m_busy);
        auto* node = qobject_cast<TNodeWorker*>(TImprocWorker::ptr(uid ? uid : m_rootUid));
        // The node's own root renders the walk; a node outside any tree has nothing to save.
        TNodeRootWorker* root = nullptr;
        for (QObject* o = node; o && !root; o = o->parent())
            root = qobject_cast<TNodeRootWorker*>(o);
        if (root) {
            setup();
            root->procSaveOutputReq(node, fileName, fileParams);
        } else if (auto* editedRoot = qobject_cast<TNodeRootWorker*>(TImprocWorker::ptr(m_rootUid))) {
            editedRoot->reportSaveFailure(fileName, QStringLiteral("ERROR!!! no node with uid %1 to save").arg(uid));
        }
    }
    emitDone();
}

void TImpServerThread::saveThumbnail(QString fileName)
{
    {
        BusyScope busy(m_busy);
        if (auto* root = qobject_cast<TNodeRootWorker*>(TImprocWorker::ptr(m_thumbRootUid))) {
            setup();
            if (!fileName.isEmpty())
                root->procSaveQImage(root, fileName);
        }
    }
    emitDone();
}

void TImpServerThread::shutDown()
{
    if (m_shutDown.exchange(true))
        return;
    const bool current = m_context_p && m_surface_p && m_context_p->makeCurrent(m_surface_p);
    if (!current)
        qWarning() << "TImpServerThread::shutDown - no current context; GPU objects are forgotten, not freed";

    delete m_fboViewProvider_p;
    m_fboViewProvider_p = nullptr;
    delete m_glLogger_p;
    m_glLogger_p = nullptr;
    TImprocWorker::clearWorkers();
    TEBaseWorker::clear();
    GLResources::teardown();

    m_funcs_p = nullptr;
    if (m_context_p) {
        m_context_p->doneCurrent();
        delete m_context_p;
        m_context_p = nullptr;
    }
    if (m_surface_p) {
        m_surface_p->deleteLater();
        m_surface_p = nullptr;
    }
    exit(0);
    moveToThread(QCoreApplication::instance()->thread());
    qDebug() << "finished";
}
