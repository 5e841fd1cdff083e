// The render thread: the GPU budget and point-size rules, request execution, worker
// creation and reordering, all on the real thread with its real GL context.

#include "korvanetest.h"
#include "testnodes.h"
#include "testnodes_host.h"

#include "engine/timpserver.h"
#include "engine/timpserverthread.h"
#include "gpu/glcache.h"
#include "nodes/tnodefactory.h"

#include <QOpenGLContext>

namespace {
const QString kRootClass = QStringLiteral("TstThreadRoot");
const QString kLayerClass = QStringLiteral("TstThreadLayer");

bool createWorker(TImpServerThread* t, const QString& cls, uint uid, uint parentUid)
{
    return QMetaObject::invokeMethod(t, "createNodeWorker", Qt::BlockingQueuedConnection,
                                     Q_ARG(QString, cls), Q_ARG(uint, uid), Q_ARG(uint, parentUid));
}

void deleteWorker(TImpServerThread* t, uint uid)
{
    QMetaObject::invokeMethod(t, "deleteNodeWorker", Qt::BlockingQueuedConnection, Q_ARG(uint, uid));
}

bool moveWorker(TImpServerThread* t, uint uid, uint beforeUid)
{
    bool moved = false;
    QMetaObject::invokeMethod(t, "moveChildNodeWorker", Qt::BlockingQueuedConnection,
                              Q_RETURN_ARG(bool, moved), Q_ARG(uint, uid), Q_ARG(uint, beforeUid));
    return moved;
}

// Uids of the worker children of `parentUid`, in processing order, read on the render thread.
QList<uint> workerOrder(uint parentUid)
{
    QList<uint> order;
    GpuFixture::onRenderThread([&] {
        if (TImprocWorker* parent = TImprocWorker::ptr(parentUid)) {
            for (QObject* c : parent->children())
                if (auto* w = qobject_cast<TImprocWorker*>(c))
                    order << w->uid();
        }
    });
    return order;
}
} // namespace

struct BudgetRow { int ati; int nv; int detectMax; int ramKB; int detected; int cache; int maxTexture; };
Q_DECLARE_METATYPE(BudgetRow)

class TstTImpServerThread : public QObject
{
    Q_OBJECT
private:
    TImpServerThread* m_thread = nullptr;

private slots:
    void initTestCase()
    {
        TNodeFactory::registerNodeClass(kRootClass, nullptr,
            [](uint uid, uint parent) -> TNodeWorker* { return new HostRootWorker(uid, parent); });
        TNodeFactory::registerNodeClass(kLayerClass, nullptr,
            [](uint uid, uint parent) -> TNodeWorker* { return new IdentityWorker(uid, parent); });
        m_thread = GpuFixture::renderThread();
        QVERIFY2(m_thread, "no render thread with an OpenGL context");
    }

    void budget_data()
    {
        QTest::addColumn<BudgetRow>("row");
        QTest::newRow("nv reports 4 GB") << BudgetRow{0, 4000000, 16384, 8000000, 4000000, 2000000, 16384};
        QTest::newRow("small ati raised to RAM/3, then to the floor") << BudgetRow{100000, 0, 16384, 1200000, 400000, 204800, 16384};
        QTest::newRow("huge nv capped at the ceiling") << BudgetRow{0, 9000000, 16384, 8000000, 9000000, 2048000, 16384};
        QTest::newRow("failed texture query gives 4096, no cap") << BudgetRow{0, 0, 0, 8000000, 1536000, 768000, 4096};
    }
    void budget()
    {
        QFETCH(BudgetRow, row);
        const auto& [ati, nv, detectMax, ramKB, detected, cache, maxTexture] = row;
        const TGpuBudget b = TGpuBudget::compute(ati, nv, detectMax, ramKB);
        QCOMPARE(b.detectedKB, detected);
        QCOMPARE(b.cacheKB, cache);
        QCOMPARE(b.maxTextureSize, maxTexture);
    }

    void pointSize_data()
    {
        QTest::addColumn<QString>("renderer");
        QTest::addColumn<float>("upper");
        QTest::addColumn<int>("size");
        QTest::newRow("amd under-reports") << "Radeon (amd) driver" << 64.f << 255;
        QTest::newRow("amd with a large range") << "AMD Radeon" << 1024.f << 1024;
        QTest::newRow("at least one") << "llvmpipe" << 0.f << 1;
    }
    void pointSize()
    {
        QFETCH(QString, renderer);
        QFETCH(float, upper);
        QFETCH(int, size);
        QCOMPARE(TImpServerThread::maxPointSizeFor(renderer, upper), size);
    }

    void setupProbedARealCoreContext()
    {
        QVERIFY(m_thread->isSetUp());
        QVERIFY(!m_thread->gpuRenderer().isEmpty());
        QVERIFY(m_thread->glMaxTextureSize() >= 4096);
        QVERIFY(TImpServerThread::maxPointSize() >= 1);
        QCOMPARE(TImpServerThread::maxBrushRadius(), (TImpServerThread::maxPointSize() - 1) / 2);
        GLenum pendingError = GL_NO_ERROR;
        QSurfaceFormat format;
        bool current = false;
        GpuFixture::onRenderThread([&] {
            current = QOpenGLContext::currentContext() == m_thread->context();
            format = QOpenGLContext::currentContext()->format();
            pendingError = m_thread->funcs()->glGetError();
        });
        QVERIFY(current);
        QVERIFY(format.version() >= qMakePair(3, 3));
        QCOMPARE(format.profile(), QSurfaceFormat::CoreProfile);
        QCOMPARE(pendingError, GLenum(GL_NO_ERROR));
    }

    void renderRequestsAnswerAndReachTheRootOnlyForNonZeroIds()
    {
        const uint rootUid = 818181;
        QVERIFY(createWorker(m_thread, kRootClass, rootUid, 0));
        QMetaObject::invokeMethod(m_thread, "setRootUid", Qt::BlockingQueuedConnection, Q_ARG(uint, rootUid), Q_ARG(uint, 0u));
        auto* root = qobject_cast<HostRootWorker*>(TImprocWorker::ptr(rootUid));
        QVERIFY(root);

        QSignalSpy done(m_thread, &TImpServerThread::doneImproc);
        QMetaObject::invokeMethod(m_thread, "runImproc", Qt::BlockingQueuedConnection, Q_ARG(uint, 0u));
        QCOMPARE(done.count(), 1);
        QCOMPARE(done.first().first().toString(), QString());
        QCOMPARE(root->renders, 0);
        QVERIFY(!m_thread->isBusy());

        // Whichever object asks, the render starts at the root.
        QMetaObject::invokeMethod(m_thread, "runImproc", Qt::BlockingQueuedConnection,
                                  Q_ARG(uint, 12345u), Q_ARG(QString, "preview"));
        QCOMPARE(done.count(), 2);
        QCOMPARE(root->renders, 1);
        QCOMPARE(root->lastTag, QStringLiteral("preview"));

        // Saves without a thumbnail root still answer.
        QMetaObject::invokeMethod(m_thread, "saveThumbnail", Qt::BlockingQueuedConnection, Q_ARG(QString, "/tmp/x.png"));
        QCOMPARE(done.count(), 3);

        QMetaObject::invokeMethod(m_thread, "setRootUid", Qt::BlockingQueuedConnection, Q_ARG(uint, 0u), Q_ARG(uint, 0u));
        deleteWorker(m_thread, rootUid);
        QCOMPARE(TImprocWorker::ptr(rootUid), nullptr);
    }

    void creatingAWorkerTwiceReplacesTheOldOne()
    {
        const uint uid = 828282;
        QVERIFY(createWorker(m_thread, kLayerClass, uid, 0));
        TImprocWorker* first = TImprocWorker::ptr(uid);
        QVERIFY(first);
        QPointer<TImprocWorker> watch(first);
        QVERIFY(createWorker(m_thread, kLayerClass, uid, 0));
        QVERIFY(watch.isNull());
        QVERIFY(TImprocWorker::ptr(uid));
        QVERIFY(createWorker(m_thread, "NoSuchClass", 828283, 0));
        QCOMPARE(TImprocWorker::ptr(828283), nullptr);
        deleteWorker(m_thread, uid);
        deleteWorker(m_thread, 999999999);
        QCOMPARE(TImprocWorker::ptr(uid), nullptr);
    }

    void movesReorderWorkersByIdAndSkipOtherChildren()
    {
        const uint parent = 838380, a = 838381, b = 838382, c = 838383;
        QVERIFY(createWorker(m_thread, kLayerClass, parent, 0));
        // A child object that is not a worker stands where a GUI child without worker would.
        GpuFixture::onRenderThread([&] { new QObject(TImprocWorker::ptr(parent)); });
        for (uint uid : {a, b, c})
            QVERIFY(createWorker(m_thread, kLayerClass, uid, parent));
        QCOMPARE(workerOrder(parent), (QList<uint>{a, b, c}));

        QVERIFY(moveWorker(m_thread, c, a));
        QCOMPARE(workerOrder(parent), (QList<uint>{c, a, b}));
        QVERIFY(moveWorker(m_thread, c, 0));
        QCOMPARE(workerOrder(parent), (QList<uint>{a, b, c}));
        QVERIFY(moveWorker(m_thread, a, c));
        QCOMPARE(workerOrder(parent), (QList<uint>{b, a, c}));

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("No worker with uid"));
        QVERIFY(!moveWorker(m_thread, 999999998, 0));
        QVERIFY(!moveWorker(m_thread, a, 999999998));
        QVERIFY(!moveWorker(m_thread, a, a));
        QVERIFY(!moveWorker(m_thread, parent, 0));
        QCOMPARE(workerOrder(parent), (QList<uint>{b, a, c}));
        deleteWorker(m_thread, parent);
        QCOMPARE(TImprocWorker::ptr(a), nullptr);
    }
};

KORVANE_TEST_CASE(TstTImpServerThread)
#include "tst_timpserverthread.moc"
