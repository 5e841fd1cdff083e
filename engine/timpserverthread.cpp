#include "engine/timpserverthread.h"
#include "engine/enginelogging.h"

#include "engine/tfboviewprovider.h"
#include "engine/timprocworker.h"
#include "engine/timpserver.h"
#include "engine/trootworker.h"
#include "engine/tworkerfactory.h"
#include "gpu/glcache.h"
#include "gpu/glcontextinfo.h"
#include "gpu/glresources.h"
#include "gpu/glvertices.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLDebugLogger>
#include <QOpenGLFunctions_3_3_Core>
#include <algorithm>

#include <sys/syscall.h>
#include <unistd.h>

TFboViewProvider* TImpServerThread::m_fboViewProvider_p = nullptr;
int TImpServerThread::m_maxPointSize = 0;
TWorkerFactory* TImpServerThread::s_workerFactories[2] = {nullptr, nullptr};

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
    GLContextInfo::setRenderThread(this);
    GLContextInfo::setDebugMessageLogger([this](const QString& tag) { debugGlLog(tag); });
}

void TImpServerThread::registerWorkerFactory(WorkerFamily family, TWorkerFactory* factory)
{
    s_workerFactories[int(family)] = factory;
}

TRootWorker* TImpServerThread::rootWorker(unsigned int uid) const
{
    return dynamic_cast<TRootWorker*>(TImprocWorker::ptr(uid));
}

TImpServerThread::~TImpServerThread()
{
    GLContextInfo::setDebugMessageLogger(nullptr);
    GLContextInfo::setRenderThread(nullptr);
}

bool TImpServerThread::isRenderThread()
{
    return GLContextInfo::isRenderThread();
}

bool TImpServerThread::attachContext(QOpenGLContext* context, QOffscreenSurface* surface)
{
    if (m_context_p.load() || isShutDown()) {
        // One engine context per process: a later window's context is not needed, since
        // every context shares objects with the global share context.
        qCDebug(lcEngine) << "TImpServerThread - a context is already attached; the new one is released";
        if (context)
            context->deleteLater();
        if (surface)
            surface->deleteLater();
        return false;
    }
    m_surface_p = surface;
    m_context_p.store(context);
    emit contextAttached();
    return true;
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
    if (!m_context_p.load()->makeCurrent(m_surface_p)) {
        qCWarning(lcEngine) << "TImpServerThread - cannot make the engine context current";
        return;
    }
    setPriority(QThread::LowPriority);
    m_funcs_p = m_context_p.load()->versionFunctions<QOpenGLFunctions_3_3_Core>();
    if (!m_funcs_p || !m_funcs_p->initializeOpenGLFunctions()) {
        qCWarning(lcEngine) << "TImpServerThread - the engine context offers no OpenGL 3.3 core functions";
        m_funcs_p = nullptr;
        return;
    }
    GLContextInfo::setRenderFuncs(m_funcs_p);
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
    if (m_context_p.load()->hasExtension(QByteArrayLiteral("GL_ATI_meminfo")))
        f->glGetIntegerv(kTextureFreeMemoryAti, ati);
    if (m_context_p.load()->hasExtension(QByteArrayLiteral("GL_NVX_gpu_memory_info")))
        f->glGetIntegerv(kGpuMemoryCurrentAvailableNvx, &nv);
    GLContextInfo::discardErrors();

    GLint detectMax = 0;
    f->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &detectMax);
    const int ramKB = TImpServer::cpuRamKB();
    const TGpuBudget budget = TGpuBudget::compute(ati[0], nv, detectMax, ramKB);
    m_glRAMSizeKB = budget.detectedKB;
    m_glMaxTextureSize = budget.maxTextureSize;
    emit glMaxTextureSizeChanged(m_glMaxTextureSize);

    qCInfo(lcEngine).nospace() << "GPU available mem: (cachesize, detected, ati,nv, maxTxr,detectMax, RAM) "
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
        qCWarning(lcEngine) << "------- OpenGL logger message: " + tag + "-------" << m.message();
    qCWarning(lcEngine) << "------- OpenGL logger message end   -------";
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
    TWorkerFactory* nodes = s_workerFactories[int(WorkerFamily::Nodes)];
    if (!nodes || !nodes->createWorker(className, uid, uid_parent))
        qCDebug(lcEngine) << "no node worker of class" << className << "for" << uid;
}

void TImpServerThread::deleteNodeWorker(uint uid)
{
    delete TImprocWorker::ptr(uid);
}

void TImpServerThread::createTEWorker(QString className, uint uid, uint parentUid)
{
    TWorkerFactory* effects = s_workerFactories[int(WorkerFamily::Effects)];
    if (!effects) {
        qCWarning(lcEngine) << "ERROR!!! no effect classes are registered; cannot create" << className;
        return;
    }
    if (QObject* old = effects->worker(uid)) {
        qCWarning(lcEngine) << "ERROR!!! still exits: " << className << uid << parentUid;
        delete old;
    }
    effects->createWorker(className, uid, parentUid);
}

void TImpServerThread::deleteTEWorker(uint uid)
{
    TWorkerFactory* effects = s_workerFactories[int(WorkerFamily::Effects)];
    QObject* worker = effects ? effects->worker(uid) : nullptr;
    qCDebug(lcEngine) << "deleteTEWorker" << uid << worker;
    delete worker;
}

void TImpServerThread::reParentTEWorker(uint uid, uint parentUid)
{
    TWorkerFactory* effects = s_workerFactories[int(WorkerFamily::Effects)];
    QObject* worker = effects ? effects->worker(uid) : nullptr;
    if (!worker) {
        qCWarning(lcEngine) << "reParentTEWorker() failed, not exist: " << uid;
        return;
    }
    worker->setParent(effects->worker(parentUid));
}

bool TImpServerThread::moveChildNodeWorker(uint uid, uint beforeUid)
{
    TImprocWorker* moved = TImprocWorker::ptr(uid);
    if (!moved) {
        qCWarning(lcEngine) << "ERROR - TImpServerThread::moveChildWorkerNode - No worker with uid" << uid;
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
    TRootWorker* root = rootWorker(target);
    if (root && !input.isEmpty())
        root->prepareInput(input);
}

void TImpServerThread::runImproc(uint uid, QString reqTag, QString fboId)
{
    {
        BusyScope busy(m_busy);
        TImprocWorker* named = uid != 0 ? TImprocWorker::ptr(uid) : nullptr;
        if (named && !TRootWorker::enclosing(named)) {
            // A worker outside any tree (an image list declared on its own) answers for itself.
            setup();
            named->emitUpdateReq(named, reqTag, fboId);
        } else if (uid != 0 && rootWorker(m_rootUid)) {
            TImprocWorker* root = TImprocWorker::ptr(m_rootUid);
            setup();
            root->emitUpdateReq(root, reqTag, fboId);
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
        TImprocWorker* node = TImprocWorker::ptr(uid ? uid : m_rootUid);
        // The node's own root renders the walk; a node outside any tree has nothing to save.
        if (TRootWorker* root = TRootWorker::enclosing(node)) {
            setup();
            root->procSaveOutputReq(node, fileName, fileParams);
        } else if (node) {
            setup();
            if (!node->saveStandalone(fileName, fileParams))
                emit node->errorMessage(QStringLiteral("ERROR!!! node %1 is in no tree and cannot save").arg(uid));
        } else if (TRootWorker* editedRoot = rootWorker(m_rootUid)) {
            editedRoot->reportSaveFailure(fileName, QStringLiteral("ERROR!!! no node with uid %1 to save").arg(uid));
        }
    }
    emitDone();
}

void TImpServerThread::saveThumbnail(QString fileName)
{
    {
        BusyScope busy(m_busy);
        if (TRootWorker* root = rootWorker(m_thumbRootUid)) {
            setup();
            if (!fileName.isEmpty())
                root->procSaveQImage(TImprocWorker::ptr(m_thumbRootUid), fileName);
        }
    }
    emitDone();
}

void TImpServerThread::run()
{
    m_systemThreadId = long(syscall(SYS_gettid));
    exec();
}

void TImpServerThread::waitUntilEnded()
{
    wait();
    const long id = m_systemThreadId.load();
    if (id <= 0)
        return;
    // The kernel drops the task's entry once the thread has fully exited.
    const QString task = QStringLiteral("/proc/self/task/%1").arg(id);
    QElapsedTimer clock;
    clock.start();
    while (QFileInfo::exists(task) && clock.elapsed() < 2000)
        QThread::usleep(100);
}

void TImpServerThread::shutDown()
{
    if (m_shutDown.exchange(true))
        return;
    const bool current = m_context_p && m_surface_p && m_context_p.load()->makeCurrent(m_surface_p);
    if (!current)
        qCWarning(lcEngine) << "TImpServerThread::shutDown - no current context; GPU objects are forgotten, not freed";

    delete m_fboViewProvider_p;
    m_fboViewProvider_p = nullptr;
    delete m_glLogger_p;
    m_glLogger_p = nullptr;
    for (TWorkerFactory* family : s_workerFactories) {
        if (family)
            family->deleteAll();
    }
    TImprocWorker::clearWorkers();
    GLResources::teardown();

    m_funcs_p = nullptr;
    GLContextInfo::setRenderFuncs(nullptr);
    if (m_context_p) {
        QOpenGLContext* context = m_context_p.exchange(nullptr);
        context->doneCurrent();
        delete context;
    }
    if (m_surface_p) {
        m_surface_p->deleteLater();
        m_surface_p = nullptr;
    }
    exit(0);
    moveToThread(QCoreApplication::instance()->thread());
    qCDebug(lcEngine) << "finished";
}
