#pragma once
// Thread: the object lives in its own thread; every slot runs there, one at a time.
//         `isBusy`, `instance`, `isRenderThread` and the static getters may be called from any thread.
// Owns: the engine OpenGL context and its offscreen surface (handed over by `attachContext`),
//       the process-wide texture provider, and at shutdown every node and effect worker.
// Errors: requests without a root worker render nothing but still answer `doneImproc("")`;
//         GPU queries that fail fall back to safe values.

#include "gpu/tsmat.h"

#include <QSemaphore>
#include <QThread>
#include <QUrl>
#include <QVariantMap>
#include <atomic>

class QOffscreenSurface;
class QOpenGLContext;
class QOpenGLDebugLogger;
class QOpenGLFunctions_3_3_Core;
class TFboViewProvider;
class TRootWorker;
class TWorkerFactory;

// Inputs and results of the GPU memory probe, kept apart from GL so the budget rule can be tested.
struct TGpuBudget
{
    int detectedKB = 0;      // detected video memory (or the RAM-based estimate)
    int cacheKB = 0;         // GPU cache budget
    int maxTextureSize = 0;  // usable maximum texture size

    // ati/nv: free video memory reported by the vendor queries (0 when unsupported);
    // detectMax: GL_MAX_TEXTURE_SIZE (0 when the query failed); ramKB: physical memory.
    static TGpuBudget compute(int ati, int nv, int detectMax, int ramKB);
};

// The one thread on which all GPU work runs. Created once per process and started at once,
// so blocking calls to it never wait on a thread that is not running; the GL context
// arrives later, when the first window has one.
class TImpServerThread : public QThread
{
    Q_OBJECT
public:
    // The worker families above the engine; each registers its factory when the library loads.
    enum class WorkerFamily { Nodes, Effects };
    static void registerWorkerFactory(WorkerFamily family, TWorkerFactory* factory);

    // True when called on the render thread.
    static bool isRenderThread();

    QOpenGLFunctions_3_3_Core* funcs() const { return m_funcs_p; }
    // Any thread: the attached context, or null.
    QOpenGLContext* context() const { return m_context_p.load(); }
    // Whether a context has been handed over; any thread may ask.
    bool hasContext() const { return m_context_p.load() != nullptr; }
    bool isBusy() const { return m_busy.available() == 0; }
    bool isSetUp() const { return m_setupDone; }
    bool isShutDown() const { return m_shutDown.load(); }
    int glRAMSizeKB() const { return m_glRAMSizeKB; }
    int glMaxTextureSize() const { return m_glMaxTextureSize; }
    QString gpuRenderer() const { return m_gpuRenderer; }
    unsigned int rootUid() const { return m_rootUid; }
    unsigned int thumbRootUid() const { return m_thumbRootUid; }
    void debugGlLog(const QString& tag);

    static TFboViewProvider* fboViewProvider() { return m_fboViewProvider_p; }
    static int maxPointSize() { return m_maxPointSize; }
    static int maxBrushRadius() { return (m_maxPointSize - 1) / 2; }
    // Largest usable point size for a renderer whose point-size range ends at `upperBound`.
    static int maxPointSizeFor(const QString& renderer, float upperBound);
    // After the event loop has stopped: returns once the system thread itself has ended.
    // QThread::wait() returns before its thread-exit clean-up runs, and a process that
    // exits meanwhile frees some of the same memory twice (about 1 exit in 10 here).
    void waitUntilEnded();

signals:
    void doneImproc(QString status);
    void maxPointSizeChanged(int pz);
    void glMaxTextureSizeChanged(int sz);
    void gpuRendererChanged(QString renderer);
    // A context was handed over: requests held back for want of one may go now.
    void contextAttached();

public slots:
    // Takes ownership of a context (already moved to this thread) and the surface to make it
    // current on. When one is already attached (or the thread has shut down) both are released
    // here and false is returned; the caller must not free them.
    bool attachContext(QOpenGLContext* context, QOffscreenSurface* surface);
    // Probes the GPU if that has not happened yet; true when the engine context is current
    // and set up. For code that needs the GPU outside a render request (tools, tests).
    bool ensureGpu();
    void clearFboCache();
    void setRootUid(uint uid, uint thumbUid);
    void createNodeWorker(QString className, uint uid, uint uid_parent);
    void deleteNodeWorker(uint uid);
    void createTEWorker(QString className, uint uid, uint parentUid);
    void deleteTEWorker(uint uid);
    void reParentTEWorker(uint uid, uint parentUid);
    // Moves worker `uid` before its sibling `beforeUid` (0: to the end). Rows are not used:
    // GUI rows and worker rows differ when a child has no worker.
    bool moveChildNodeWorker(uint uid, uint beforeUid);
    void setRootNodeInput(TSMat input, uint uid);
    void runImproc(uint uid, QString reqTag, QString fboId);
    void runImproc(uint uid, QString reqTag);
    void runImproc(uint uid);
    // Saves the image of node `uid` (the tree rendered at full resolution up to and including
    // that node) through its root; 0 means the edited image's root. The root reports the
    // outcome with saveFinished.
    void saveImage(uint uid, QUrl fileName, QVariantMap fileParams);
    void saveThumbnail(QString fileName);
    // Frees every GPU object with the context current, deletes the context, leaves the
    // event loop and hands the thread object back to the main thread. Safe to call twice.
    void shutDown();

protected:
    void run() override;
    // Probes the GPU and sizes the cache the first time GPU work arrives; does nothing
    // while no context is attached.
    void setup();

private:
    void emitDone();
    // The root worker with id `uid`; null when there is none.
    TRootWorker* rootWorker(unsigned int uid) const;
    TImpServerThread();
    ~TImpServerThread() override;
    friend class TImpServer;

    QOffscreenSurface* m_surface_p = nullptr;
    std::atomic<QOpenGLContext*> m_context_p{nullptr};
    bool m_setupDone = false;
    QOpenGLDebugLogger* m_glLogger_p = nullptr;
    QSemaphore m_busy{1};
    unsigned int m_rootUid = 0;
    unsigned int m_thumbRootUid = 0;
    int m_glRAMSizeKB = 0;
    int m_glMaxTextureSize = 0;
    QString m_gpuRenderer;
    QOpenGLFunctions_3_3_Core* m_funcs_p = nullptr;
    std::atomic<bool> m_shutDown{false};
    std::atomic<long> m_systemThreadId{0};

    static TFboViewProvider* m_fboViewProvider_p;
    static int m_maxPointSize;
    static TWorkerFactory* s_workerFactories[2];
};
