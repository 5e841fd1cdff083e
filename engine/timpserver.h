#pragma once
// Thread: GUI thread for the item, its slots and the request queue; `updatePaintNode`
//         runs on the scene graph's thread. Static getters may be called from any thread.
// Owns: (process-wide) the request queue with its commands, the undo stack, the render thread.
// Errors: commands whose target is gone still take their cycle; the queue never stalls.

#include "engine/timproc.h"

#include <QPointer>
#include <QQueue>
#include <QQuickItem>
#include <QSet>
#include <QUrl>
#include <QVariantMap>
#include <atomic>
#include <functional>

class QOpenGLContext;
class QOpenGLFunctions_3_3_Core;
class TUndoHistory;
class TCmd;
class TImpServerThread;

// The QML item through which a host starts and drives the engine. It creates the
// engine's shared GL context from its window's, owns the command queue and the undo
// stack, and runs every command queued before a render cycle in that cycle, before the
// render, so no command writes worker state while a render reads it.
class TImpServer : public QQuickItem
{
    Q_OBJECT
    Q_PROPERTY(bool isReady READ isReady WRITE setIsReady NOTIFY isReadyChanged)
    Q_PROPERTY(bool canUndo READ canUndo WRITE setCanUndo NOTIFY canUndoChanged)
    Q_PROPERTY(bool canRedo READ canRedo WRITE setCanRedo NOTIFY canRedoChanged)
    Q_PROPERTY(int numOfReqsInQeueue READ numOfReqsInQeueue WRITE setNumOfReqsInQeueue NOTIFY numOfReqsInQeueueChanged)
    Q_PROPERTY(TImproc* rootNode READ rootNode NOTIFY rootNodeChanged)
    Q_PROPERTY(TImproc* thumbnails READ thumbnails NOTIFY thumbnailsChanged)
    Q_PROPERTY(bool showDebugInfo READ showDebugInfo WRITE setShowDebugInfo NOTIFY showDebugInfoChanged)
public:
    explicit TImpServer(QQuickItem* parent = nullptr);
    ~TImpServer() override;

    bool isReady() const { return m_isReady; }
    bool canUndo() const { return m_canUndo; }
    bool canRedo() const { return m_canRedo; }
    int numOfReqsInQeueue() const { return m_numOfReqsInQeueue; }
    bool showDebugInfo() const { return m_showDebugInfo; }
    int maxPointSize() const { return m_maxPointSize; }
    // The roots come from the node model installed above the engine (the adjust root).
    TImproc* rootNode() const { return m_rootNode; }
    TImproc* thumbnails() const { return m_thumbnails; }

    // A session of edits must not grow without end: the undo history keeps at most this many
    // steps, holding at most this many bytes; the oldest steps are dropped first.
    static constexpr int kUndoLimit = 200;
    static constexpr qint64 kUndoLimitBytes = 64 * 1024 * 1024;

    static void enqueueReq(TCmd* cmd);
    // The process-wide render thread: created, moved into itself and started on first use,
    // so blocking calls to it never hang. Null once the engine has shut down.
    static TImpServerThread* impThread();
    // For tools and tests without a window: gives the render thread a context of its own on
    // an offscreen surface (sharing with the global share context when there is one).
    // Returns false when no context could be created or one is already attached.
    static bool attachOffscreenContext();
    // The whole headless start: a context of its own when none is attached, then the GPU
    // probe on the render thread. True when the engine is ready for GPU work.
    static bool startHeadless();
    static QOpenGLFunctions_3_3_Core* glFuncs();
    static int& glMaxTextureSize() { return m_glMaxTextureSize; }
    static QString& gpuRenderer() { return m_gpuRenderer; }
    // Total physical memory in KB, 2048 when the system cannot tell.
    static int cpuRamKB();
    // Asks the effects above the engine, through the query they register, whether any is busy.
    static bool bIsAnyTEffectBusy();
    static void setEffectsBusyQuery(std::function<bool()> query);
    // Frees every GPU object on the render thread, stops it and waits for it. Safe to call
    // more than once; afterwards objects skip their worker calls (see isStopped).
    static void shutDown();
    static bool isStopped() { return m_stopped.load(); }
    // True from the moment a command cycle starts until the render thread has answered it.
    static bool isCycleInFlight() { return m_cycleInFlight; }
    // True when the request queue is empty and no command cycle waits for a render.
    static bool isIdle() { return (!m_reqQueue_p || m_reqQueue_p->isEmpty()) && !m_cycleInFlight; }
    static const QQueue<TCmd*>* requestQueue() { return m_reqQueue_p; }
    // Deletes every queued command, first to last (the undo stack is not touched).
    static void discardQueue();
    static TUndoHistory* undoStack() { return m_undoStack_p; }

signals:
    void isReadyChanged(bool);
    void canUndoChanged(bool);
    void canRedoChanged(bool);
    void numOfReqsInQeueueChanged(int);
    void showDebugInfoChanged(bool);
    void rootNodeChanged(TImproc*);
    void thumbnailsChanged(TImproc*);
    void runImproc(uint uid, QString reqTag, QString fboId);
    void saveImage(uint uid, QUrl fileName, QVariantMap fileParams);
    void saveThumbnail(QString fileName);
    void updateEngine(uint uid, QString reqTag, QString fboId);

public slots:
    void clearCache();
    void cancel(QString tag);
    void ready();
    void undo();
    void redo();
    void clearQueue();
    void apply();
    void createChild(QString tnodeClass, TImproc* parentNode);
    bool deleteNode(TImproc* nodeToDelete);
    void updateMaxPointSize(int sz) { m_maxPointSize = sz; }
    void updateGlMaxTextureSize(int sz) { m_glMaxTextureSize = sz; }
    void updateGpuRenderer(QString renderer) { m_gpuRenderer = renderer; }
    void setIsReady(bool b);
    void setCanUndo(bool b);
    void setCanRedo(bool b);
    void setShowDebugInfo(bool b);

protected:
    QSGNode* updatePaintNode(QSGNode* oldNode, UpdatePaintNodeData*) override;

private slots:
    void procDoneImproc(QString status);
    void onRenderThreadDone(QString status);
    void setNumOfReqsInQeueue(int n);

private:
    void updateUndoRedoStatus();
    // Queues a render of the tree after a node was added or removed.
    void showTreeAgain();
    // Posts the next cycle unless one is already in flight.
    static void startCycle();
    // What a command asks the render thread to do after its redo, read from the command
    // before the undo stack may merge and delete it.
    struct RenderRequest
    {
        enum Kind { None, Render, BlockingRender, SaveImage, SaveThumbnail } kind = None;
        unsigned int uid = 0;
        QString reqTag;
        QString fboId;
        QUrl fileUrl;
        QVariantMap fileParams;
        QString fileName;
    };
    static RenderRequest renderRequestOf(const TCmd& cmd);
    // Two plain renders with the same tag and target: one render answers both.
    bool sameRender(const RenderRequest& a, const RenderRequest& b) const;
    // A node outside both roots' trees (an image list declared on its own) renders only itself.
    bool isStandalone(unsigned int uid) const;
    // Sends the request; false when the command asks for none.
    bool emitRenderRequest(const RenderRequest& request);

    bool m_canUndo = false;
    bool m_canRedo = false;
    int m_numOfReqsInQeueue = 0;
    TImproc* m_thumbnails = nullptr;
    TImproc* m_rootNode = nullptr;
    int m_maxPointSize = 0;
    bool m_isReady = false;
    QOpenGLContext* m_engineContext_p = nullptr;  // created on the scene graph thread, handed to the render thread

    static TImpServer* m_staticServer_p;
    static TImpServerThread* m_improcThread;
    static QQueue<TCmd*>* m_reqQueue_p;
    static TUndoHistory* m_undoStack_p;
    static unsigned int m_count;
    static bool m_showDebugInfo;
    static int m_glMaxTextureSize;
    static QString m_gpuRenderer;
    static bool m_cycleInFlight;
    static std::atomic<bool> m_stopped;
};
