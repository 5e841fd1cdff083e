// Start-up and shutdown of the render thread, in a process of its own: workers can be
// created before any GL context exists, the GPU is probed once a context arrives, and
// shutdown frees everything and never hangs, however often it is called.

#include "testnodes.h"
#include "testnodes_host.h"
#include "korvanetest.h"

#include "engine/timpserver.h"
#include "engine/timpserverthread.h"
#include "gpu/glcache.h"
#include "gpu/glvertices.h"
#include "nodes/tnodefactory.h"

#include <QElapsedTimer>
#include <QFile>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QLoggingCategory>
#include <QRegularExpression>

namespace {
QStringList g_infoLines;
QtMessageHandler g_previousHandler = nullptr;

void collectInfoLines(QtMsgType type, const QMessageLogContext& ctx, const QString& msg)
{
    if (type == QtInfoMsg)
        g_infoLines << msg;
    g_previousHandler(type, ctx, msg);
}

bool ensureGpu(TImpServerThread* t)
{
    bool ok = false;
    QMetaObject::invokeMethod(t, [t, &ok] { ok = t->ensureGpu(); }, Qt::BlockingQueuedConnection);
    return ok;
}

int memTotalKB()
{
    QFile f("/proc/meminfo");
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("MemTotal:"))
            return line.simplified().split(' ').value(1).toInt();
    }
    return -1;
}
} // namespace

class TstEngineLifecycle : public QObject
{
    Q_OBJECT
private slots:
    void threadRunsBeforeAnyContext()
    {
        TNodeFactory::registerNodeClass("LifecycleLayer", nullptr,
            [](uint uid, uint parent) -> TNodeWorker* { return new IdentityWorker(uid, parent); });
        TImpServerThread* t = TImpServer::impThread();
        QVERIFY(t);
        QCOMPARE(TImpServer::impThread(), t);
        QVERIFY(t->isRunning());
        QVERIFY(!t->context());

        // Objects declared before the first frame ask for workers at once: the blocking
        // call must be answered although no context exists yet.
        QElapsedTimer timer;
        timer.start();
        QVERIFY(QMetaObject::invokeMethod(t, "createNodeWorker", Qt::BlockingQueuedConnection,
                                          Q_ARG(QString, "LifecycleLayer"), Q_ARG(uint, 4242u), Q_ARG(uint, 0u)));
        QVERIFY(timer.elapsed() < 5000);
        QVERIFY(TImprocWorker::ptr(4242));
        QVERIFY(!t->isSetUp());
        QVERIFY(!ensureGpu(t));
        QVERIFY(!t->isSetUp());
    }

    void setupRunsOnceAContextArrives()
    {
        TImpServerThread* t = TImpServer::impThread();
        g_infoLines.clear();
        QLoggingCategory::setFilterRules(QStringLiteral("korvane.engine.info=true"));
        g_previousHandler = qInstallMessageHandler(collectInfoLines);
        // A window's context queued (as the server item does) just before a headless start:
        // the first to arrive is kept, the other released once by the thread, never twice.
        auto* windowContext = new QOpenGLContext;
        windowContext->setFormat(QSurfaceFormat::defaultFormat());
        windowContext->setShareContext(QOpenGLContext::globalShareContext());
        QVERIFY(windowContext->create());
        auto* surface = new QOffscreenSurface;
        surface->setFormat(windowContext->format());
        surface->create();
        windowContext->moveToThread(t);
        QMetaObject::invokeMethod(t, "attachContext", Qt::QueuedConnection, Q_ARG(QOpenGLContext*, windowContext),
                                  Q_ARG(QOffscreenSurface*, surface));
        const bool headlessAttached = TImpServer::attachOffscreenContext();
        const bool ready = ensureGpu(t);
        qInstallMessageHandler(g_previousHandler);
        QVERIFY(!headlessAttached);
        QCOMPARE(t->context(), windowContext);
        QVERIFY(ready);
        QVERIFY(!TImpServer::attachOffscreenContext());

        const QStringList probe = g_infoLines.filter("GPU available mem: (cachesize, detected, ati,nv, maxTxr,detectMax, RAM)");
        QCOMPARE(probe.size(), 1);
        QRegularExpression numbers("\\) (\\d+), (\\d+), (\\d+), (\\d+), (\\d+), (\\d+), (\\d+)$");
        const QRegularExpressionMatch m = numbers.match(probe.first());
        QVERIFY2(m.hasMatch(), qPrintable(probe.first()));
        const int ram = m.captured(7).toInt();
        QCOMPARE(ram, TImpServer::cpuRamKB());
        // No vendor memory query exists here, so the estimate comes from physical memory.
        QCOMPARE(ram, memTotalKB());
        QCOMPARE(t->glRAMSizeKB(), std::min(1536000, ram / 3));
        QCOMPARE(GLCache::maxCount(), 24);
        QCOMPARE(m.captured(3).toInt(), 0);
        QCOMPARE(m.captured(4).toInt(), 0);
        const int expectedCache = std::clamp(std::min(1536000, ram / 3) / 2, 204800, 2048000);
        QCOMPARE(m.captured(1).toInt(), expectedCache);
        QCOMPARE(GLCache::maxKB(), expectedCache);

        // A second call probes nothing again.
        g_infoLines.clear();
        g_previousHandler = qInstallMessageHandler(collectInfoLines);
        ensureGpu(t);
        qInstallMessageHandler(g_previousHandler);
        QLoggingCategory::setFilterRules(QString());
        QVERIFY(g_infoLines.filter("GPU available mem").isEmpty());
    }

    void shutdownFreesEverythingAndCanRunTwice()
    {
        QVERIFY(TImprocWorker::liveCount() >= 1);
        QCOMPARE(GLVertices::liveBuffers(), 1);
        QElapsedTimer timer;
        timer.start();
        TImpServer::shutDown();
        QVERIFY(timer.elapsed() < 5000);
        QVERIFY(TImpServer::isStopped());
        QCOMPARE(TImpServer::impThread(), nullptr);
        QCOMPARE(TImprocWorker::liveCount(), 0);
        QCOMPARE(GLVertices::liveBuffers(), 0);
        QCOMPARE(TImpServerThread::fboViewProvider(), nullptr);
        // The application's aboutToQuit runs the same path again.
        timer.restart();
        TImpServer::shutDown();
        QVERIFY(timer.elapsed() < 1000);
    }
};

KORVANE_ISOLATED_TEST_CASE(TstEngineLifecycle)
#include "tst_enginelifecycle.moc"
