#include "engine/timpserver.h"
#include "engine/enginelogging.h"

#include "engine/tcmd.h"
#include "engine/tcmd_blockandupdate.h"
#include "engine/tcmd_saveimage.h"
#include "engine/tcmd_savethumbnail.h"
#include "engine/tcmd_update.h"
#include "engine/timpserversgn.h"
#include "engine/timpserverthread.h"
#include "engine/tservercmd_undoredo.h"
#include "engine/tnodemodel.h"
#include "gpu/tuid.h"
#include "gpu/tsmat.h"
#include "gpu/tsmatcache.h"

#include <QCoreApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QQuickWindow>
#include "engine/tundohistory.h"
#include <algorithm>
#include <memory>
#include <unistd.h>

TImpServer* TImpServer::m_staticServer_p = nullptr;
TImpServerThread* TImpServer::m_improcThread = nullptr;
QQueue<TCmd*>* TImpServer::m_reqQueue_p = nullptr;
TUndoHistory* TImpServer::m_undoStack_p = nullptr;
unsigned int TImpServer::m_count = 0;
bool TImpServer::m_showDebugInfo = false;
namespace {
// Function-local so that effects may register it while the library is still loading.
std::function<bool()>& effectsBusyQuery()
{
    static std::function<bool()> query;
    return query;
}
} // namespace
int TImpServer::m_glMaxTextureSize = 0;
QString TImpServer::m_gpuRenderer;
bool TImpServer::m_cycleInFlight = false;
std::atomic<bool> TImpServer::m_stopped{false};

TImpServer::TImpServer(QQuickItem* parent)
    : QQuickItem(parent)
{
    setFlag(ItemHasContents, true);
    if (m_count == 0) {
        if (!m_reqQueue_p)
            m_reqQueue_p = new QQueue<TCmd*>;
        if (!m_undoStack_p)
            m_undoStack_p = new TUndoHistory(kUndoLimit, kUndoLimitBytes);
        m_staticServer_p = this;
    }
    ++m_count;

    TImpServerThread* t = impThread();
    if (!t)
        return;
    connect(this, &TImpServer::runImproc, t, QOverload<uint, QString, QString>::of(&TImpServerThread::runImproc),
            Qt::QueuedConnection);
    connect(t, &TImpServerThread::doneImproc, this, &TImpServer::onRenderThreadDone, Qt::QueuedConnection);
    connect(this, &TImpServer::saveImage, t, &TImpServerThread::saveImage, Qt::QueuedConnection);
    connect(this, &TImpServer::saveThumbnail, t, &TImpServerThread::saveThumbnail, Qt::QueuedConnection);
    connect(t, &TImpServerThread::glMaxTextureSizeChanged, this, &TImpServer::updateGlMaxTextureSize, Qt::QueuedConnection);
    connect(t, &TImpServerThread::gpuRendererChanged, this, &TImpServer::updateGpuRenderer, Qt::QueuedConnection);
    connect(t, &TImpServerThread::maxPointSizeChanged, this, &TImpServer::updateMaxPointSize, Qt::QueuedConnection);
}

TImpServer::~TImpServer()
{
    delete m_rootNode;
    delete m_thumbnails;
    if (m_staticServer_p == this)
        m_staticServer_p = nullptr;
    if (--m_count > 0)
        return;
    delete m_undoStack_p;
    m_undoStack_p = nullptr;
    if (m_reqQueue_p) {
        qDeleteAll(*m_reqQueue_p);
        delete m_reqQueue_p;
        m_reqQueue_p = nullptr;
    }
    m_cycleInFlight = false;
}

TImpServerThread* TImpServer::impThread()
{
    if (!m_improcThread && !m_stopped.load()) {
        // Types that travel in queued calls to the render thread.
        qRegisterMetaType<QOpenGLContext*>();
        qRegisterMetaType<QOffscreenSurface*>();
        TSMat::registerMetaType();
        m_improcThread = new TImpServerThread;
        m_improcThread->start(QThread::LowPriority);
    }
    return m_improcThread;
}

bool TImpServer::attachOffscreenContext()
{
    TImpServerThread* t = impThread();
    if (!t || t->context())
        return false;
    auto context = std::make_unique<QOpenGLContext>();
    context->setFormat(QSurfaceFormat::defaultFormat());
    context->setShareContext(QOpenGLContext::globalShareContext());
    if (!context->create()) {
        qCWarning(lcEngine) << "TImpServer - cannot create an offscreen engine context";
        return false;
    }
    auto* surface = new QOffscreenSurface;
    surface->setFormat(context->format());
    surface->create();
    context->moveToThread(t);
    // A window's context queued earlier may arrive first: the thread then keeps that one and
    // releases ours itself, so nothing is freed here.
    QOpenGLContext* handedOver = context.release();
    bool attached = false;
    QMetaObject::invokeMethod(t, [t, handedOver, surface, &attached] { attached = t->attachContext(handedOver, surface); },
                              Qt::BlockingQueuedConnection);
    return attached;
}

bool TImpServer::startHeadless()
{
    TImpServerThread* t = impThread();
    if (!t || (!t->context() && !attachOffscreenContext()))
        return false;
    bool ready = false;
    QMetaObject::invokeMethod(t, [t, &ready] { ready = t->ensureGpu(); }, Qt::BlockingQueuedConnection);
    return ready;
}

QOpenGLFunctions_3_3_Core* TImpServer::glFuncs()
{
    return m_improcThread ? m_improcThread->funcs() : nullptr;
}

int TImpServer::cpuRamKB()
{
    // Asked from the GUI and the render thread: computed once, under the static's own lock.
    static const int ramKB = [] {
        const long pages = sysconf(_SC_PHYS_PAGES);
        const long pageSize = sysconf(_SC_PAGE_SIZE);
        return (pages > 0 && pageSize > 0) ? int((long long)pages * pageSize / 1024) : 2048;
    }();
    return ramKB;
}

bool TImpServer::bIsAnyTEffectBusy()
{
    const std::function<bool()>& query = effectsBusyQuery();
    return query && query();
}

void TImpServer::setEffectsBusyQuery(std::function<bool()> query)
{
    effectsBusyQuery() = std::move(query);
}

QSGNode* TImpServer::updatePaintNode(QSGNode* oldNode, UpdatePaintNodeData*)
{
    QQuickWindow* win = window();
    if (!m_engineContext_p && win && !isStopped()) {
        qCDebug(lcEngine) << "TImpServer - creating the engine context on thread" << QThread::currentThread();
        QOpenGLContext* windowContext = win->openglContext();
        if (!windowContext)
            return oldNode;
        // Sharing with the global share context (when the host enabled it) makes the
        // engine's textures valid in every window, not only this one.
        QOpenGLContext* shareWith = QOpenGLContext::globalShareContext();
        if (!shareWith)
            shareWith = windowContext;
        windowContext->doneCurrent();
        auto* context = new QOpenGLContext;
        context->setFormat(windowContext->format());
        context->setShareContext(shareWith);
        if (!context->create())
            qCWarning(lcEngine) << "TImpServer - cannot create the engine context";
        context->moveToThread(impThread());
        m_engineContext_p = context;
        qCDebug(lcEngine) << "imp GL context created:" << context->format();
        windowContext->makeCurrent(win);
        QMetaObject::invokeMethod(this, "ready", Qt::QueuedConnection);
        return oldNode;
    }
    if (!win)
        return oldNode;
    auto* node = static_cast<TImpServerSGN*>(oldNode);
    if (!node)
        node = new TImpServerSGN(win);
    node->setRect(boundingRect());
    return node;
}

void TImpServer::ready()
{
    TImpServerThread* t = impThread();
    if (!t || !m_engineContext_p || m_isReady)
        return;
    auto* surface = new QOffscreenSurface;
    surface->setFormat(m_engineContext_p->format());
    surface->create();
    QMetaObject::invokeMethod(t, "attachContext", Qt::QueuedConnection,
                              Q_ARG(QOpenGLContext*, m_engineContext_p), Q_ARG(QOffscreenSurface*, surface));
    connect(qApp, &QCoreApplication::aboutToQuit, qApp, &TImpServer::shutDown, Qt::UniqueConnection);
    update();
    TNodeModel* model = TNodeModel::instance();
    if (!model) {
        qCWarning(lcEngine) << "ERROR!!! TImpServer - no node model is installed; the server has no roots";
        return;
    }
    m_rootNode = model->createRoot();
    emit rootNodeChanged(m_rootNode);
    m_thumbnails = model->createRoot();
    emit thumbnailsChanged(m_thumbnails);
    connect(this, &TImpServer::updateEngine, t, QOverload<uint, QString, QString>::of(&TImpServerThread::runImproc),
            Qt::BlockingQueuedConnection);
    QMetaObject::invokeMethod(t, "setRootUid", Qt::QueuedConnection, Q_ARG(uint, unsigned(m_rootNode->uid())),
                              Q_ARG(uint, unsigned(m_thumbnails->uid())));
    setIsReady(true);
}

void TImpServer::enqueueReq(TCmd* cmd)
{
    if (!cmd)
        return;
    if (!m_reqQueue_p)
        m_reqQueue_p = new QQueue<TCmd*>;
    if (m_showDebugInfo)
        qCDebug(lcEngine) << "*** New Command Enqueued - type " << cmd->type();
    if (!m_reqQueue_p->isEmpty()) {
        TCmd* last = m_reqQueue_p->last();
        if (last->mergeWith(cmd)) {
            if (m_showDebugInfo)
                qCDebug(lcEngine) << "*** *** Command successfully merged with previous command of type - " << last->type();
            delete cmd;
        } else {
            if (m_showDebugInfo)
                qCDebug(lcEngine) << "*** XXX Command Cannot merge with previous command of type - " << last->type();
            m_reqQueue_p->enqueue(cmd);
        }
    } else {
        if (m_showDebugInfo)
            qCDebug(lcEngine) << "*** *** Command doesn't need to merge - type " << cmd->type();
        m_reqQueue_p->enqueue(cmd);
    }
    startCycle();
    if (m_staticServer_p)
        QMetaObject::invokeMethod(m_staticServer_p, "setNumOfReqsInQeueue", Qt::QueuedConnection,
                                  Q_ARG(int, m_reqQueue_p->size()));
}

void TImpServer::startCycle()
{
    // One cycle at a time, decided by the cycle flag alone: the busy semaphore is free while
    // a posted render has not started (a second command would run against it), and still
    // taken for a moment after a render ended (an edit then would never start a cycle).
    if (!m_staticServer_p || !m_improcThread || m_cycleInFlight)
        return;
    m_cycleInFlight = true;
    QMetaObject::invokeMethod(m_staticServer_p, "procDoneImproc", Qt::QueuedConnection, Q_ARG(QString, QString()));
}

void TImpServer::onRenderThreadDone(QString status)
{
    if (this == m_staticServer_p)
        procDoneImproc(status);
}

TImpServer::RenderRequest TImpServer::renderRequestOf(const TCmd& cmd)
{
    RenderRequest r;
    r.uid = cmd.uid();
    const QString type = cmd.type();
    if (cmd.bUpdateEngine()) {
        if (auto* save = dynamic_cast<const TCmd_SaveImage*>(&cmd)) {
            r.kind = RenderRequest::SaveImage;
            r.fileUrl = save->fileName();
            r.fileParams = save->fileParams();
        } else if (auto* thumb = dynamic_cast<const TCmd_SaveThumbnail*>(&cmd)) {
            r.kind = RenderRequest::SaveThumbnail;
            r.fileName = thumb->fileName();
        } else {
            r.kind = RenderRequest::Render;
            if (auto* update = dynamic_cast<const TCmd_Update*>(&cmd)) {
                r.reqTag = update->reqTag();
                r.fboId = update->fboId();
            }
        }
    } else if (auto* block = dynamic_cast<const TCmd_BlockAndUpdate*>(&cmd)) {
        r.kind = RenderRequest::BlockingRender;
        r.reqTag = block->reqTag();
        r.fboId = block->fboId();
    }
    return r;
}

bool TImpServer::emitRenderRequest(const RenderRequest& r)
{
    switch (r.kind) {
    case RenderRequest::SaveImage:
        emit saveImage(r.uid, r.fileUrl, r.fileParams);
        return true;
    case RenderRequest::SaveThumbnail:
        emit saveThumbnail(r.fileName);
        return true;
    case RenderRequest::Render:
        emit runImproc(r.uid, r.reqTag, r.fboId);
        return true;
    case RenderRequest::BlockingRender:
        // Connected only once the thread is ready; without it the request cannot be answered.
        if (!m_isReady)
            return false;
        emit updateEngine(r.uid, r.reqTag, r.fboId);
        return true;
    case RenderRequest::None:
        break;
    }
    return false;
}

void TImpServer::procDoneImproc(QString)
{
    if (!m_reqQueue_p || m_reqQueue_p->isEmpty()) {
        m_cycleInFlight = false;
        if (m_reqQueue_p)
            setNumOfReqsInQeueue(0);
        return;
    }
    m_cycleInFlight = true;
    // Every command queued before this cycle runs now, then the tree renders once: a burst
    // of edits costs one render, not one each. A command that asks for another kind of
    // render (a save, a tagged or blocking update) waits for the next cycle.
    RenderRequest render;
    while (!m_reqQueue_p->isEmpty()) {
        const RenderRequest request = renderRequestOf(*m_reqQueue_p->head());
        if (request.kind != RenderRequest::None && render.kind != RenderRequest::None && !sameRender(render, request))
            break;
        TCmd* cmd = m_reqQueue_p->dequeue();
        // The undo stack may merge the command into its top and delete it: its request was read first.
        if (cmd->canUndoRedo() && m_undoStack_p) {
            m_undoStack_p->push(cmd);
        } else {
            cmd->redo();
            delete cmd;
        }
        if (request.kind != RenderRequest::None) {
            // A request without a target (uid 0 renders nothing) keeps the target asked for earlier.
            const unsigned int target = render.uid;
            render = request;
            if (render.uid == 0)
                render.uid = target;
        }
        if (render.kind != RenderRequest::None && render.kind != RenderRequest::Render)
            break;
    }
    if (!emitRenderRequest(render))
        QMetaObject::invokeMethod(this, "procDoneImproc", Qt::QueuedConnection, Q_ARG(QString, QString()));
    QMetaObject::invokeMethod(this, "setNumOfReqsInQeueue", Qt::QueuedConnection, Q_ARG(int, m_reqQueue_p->size()));
}

bool TImpServer::sameRender(const RenderRequest& a, const RenderRequest& b) const
{
    return a.kind == RenderRequest::Render && b.kind == RenderRequest::Render && a.reqTag == b.reqTag
        && a.fboId == b.fboId && (a.uid == b.uid || (!isStandalone(a.uid) && !isStandalone(b.uid)));
}

bool TImpServer::isStandalone(unsigned int uid) const
{
    const QObject* node = TImproc::ptr(uid);
    if (!node)
        return false;
    while (qobject_cast<const TImproc*>(node->parent()))
        node = node->parent();
    return node != m_rootNode && node != m_thumbnails;
}

void TImpServer::setNumOfReqsInQeueue(int n)
{
    if (n == m_numOfReqsInQeueue)
        return;
    m_numOfReqsInQeueue = n;
    emit numOfReqsInQeueueChanged(n);
    updateUndoRedoStatus();
}

void TImpServer::updateUndoRedoStatus()
{
    if (m_numOfReqsInQeueue < 1 && m_undoStack_p) {
        setCanRedo(m_undoStack_p->canRedo());
        setCanUndo(m_undoStack_p->canUndo());
    } else {
        setCanRedo(false);
        setCanUndo(false);
    }
}

void TImpServer::undo()
{
    if (!m_canUndo)
        return;
    enqueueReq(new TServerCmd_UndoRedo(m_improcThread ? m_improcThread->rootUid() : 0, true, m_undoStack_p));
}

void TImpServer::redo()
{
    if (!m_canRedo)
        return;
    enqueueReq(new TServerCmd_UndoRedo(m_improcThread ? m_improcThread->rootUid() : 0, false, m_undoStack_p));
}

void TImpServer::clearQueue()
{
    discardQueue();
}

void TImpServer::discardQueue()
{
    if (!m_reqQueue_p)
        return;
    while (!m_reqQueue_p->isEmpty())
        delete m_reqQueue_p->dequeue();
}

void TImpServer::clearCache()
{
    if (m_improcThread)
        QMetaObject::invokeMethod(m_improcThread, "clearFboCache", Qt::QueuedConnection);
    TSMatCache::clear();
}

void TImpServer::cancel(QString)
{
}

void TImpServer::apply()
{
    // The root renders the whole tree at full resolution and hands it back as its output.
    if (m_rootNode)
        enqueueReq(new TCmd_SaveImage(unsigned(m_rootNode->uid()), QUrl(), QVariantMap()));
}

void TImpServer::createChild(QString tnodeClass, TImproc* parentNode)
{
    if (TNodeModel* model = TNodeModel::instance()) {
        enqueueReq(model->createNodeCommand(tnodeClass, TUid().uid(), parentNode ? unsigned(parentNode->uid()) : 0u));
        showTreeAgain();
    }
}

bool TImpServer::deleteNode(TImproc* nodeToDelete)
{
    TNodeModel* model = TNodeModel::instance();
    if (!nodeToDelete || !model)
        return false;
    enqueueReq(model->deleteNodeCommand(unsigned(nodeToDelete->uid())));
    showTreeAgain();
    return true;
}

void TImpServer::showTreeAgain()
{
    // Structure commands render nothing themselves, so a tree built from a preset renders
    // once; a node the host adds or removes is seen at once.
    if (m_rootNode)
        enqueueReq(new TCmd_Update(unsigned(m_rootNode->uid()), QString(), QString()));
}

void TImpServer::setIsReady(bool b)
{
    if (m_isReady == b)
        return;
    m_isReady = b;
    emit isReadyChanged(b);
}

void TImpServer::setCanUndo(bool b)
{
    if (m_canUndo == b)
        return;
    m_canUndo = b;
    emit canUndoChanged(b);
}

void TImpServer::setCanRedo(bool b)
{
    if (m_canRedo == b)
        return;
    m_canRedo = b;
    emit canRedoChanged(b);
}

void TImpServer::setShowDebugInfo(bool b)
{
    if (m_showDebugInfo == b)
        return;
    m_showDebugInfo = b;
    emit showDebugInfoChanged(b);
}

void TImpServer::shutDown()
{
    if (m_stopped.exchange(true))
        return;
    TImpServerThread* t = m_improcThread;
    if (!t)
        return;
    // A blocking call is safe only while the thread object still lives in its running thread.
    if (t->isRunning() && t->thread() == t)
        QMetaObject::invokeMethod(t, "shutDown", Qt::BlockingQueuedConnection);
    t->quit();
    t->waitUntilEnded();
    delete t;
    m_improcThread = nullptr;
}
