// The server item in a real window: start-up through the scene graph, the command queue
// with merging, one command per render cycle, undo and redo as queued steps, and node
// creation and deletion through commands.

#include "testhost.h"
#include "testnodes_host.h"
#include "korvanetest.h"

#include "nodes/commands/tcmd_deletenodewithuid.h"
#include "engine/timpserver.h"
#include "engine/tjson.h"
#include "engine/timpserverthread.h"
#include "nodes/tnoderootwithadjust.h"

#include <QRandomGenerator>
#include <QSemaphore>
#include "engine/tundohistory.h"

namespace {
// A command that checks, while its redo runs, that no render is running or waiting.
class ProbeCmd : public TCmd
{
public:
    ProbeCmd(unsigned int rootUid, const int& emitted, int& violations)
        : TCmd(rootUid, QStringLiteral("TstProbe"), false, true), m_emitted(emitted), m_violations(violations)
    {
    }
    void redo() override
    {
        HostRootWorker::s_commandRunning.storeRelease(1);
        if (m_emitted != HostRootWorker::s_renders.loadAcquire() || TImpServer::impThread()->isBusy())
            ++m_violations;
        HostRootWorker::s_commandRunning.storeRelease(0);
    }

private:
    const int& m_emitted;
    int& m_violations;
};

float workerFloat(TImproc* node, const char* key)
{
    TImprocWorker* w = TImprocWorker::ptr(unsigned(node->uid()));
    return w ? w->paramValue(QString::fromLatin1(key)).toFloat() : -999.f;
}
} // namespace

class TstTImpServer : public QObject
{
    Q_OBJECT
private:
    TestHost m_host;
    std::unique_ptr<QQuickView> m_view;
    TImpServer* m_server = nullptr;
    TNodeRootWithAdjust* m_root = nullptr;

private slots:
    void initTestCase()
    {
        // The layer is declared before the server item: it is built before the first frame,
        // while the server has no GL context yet, and must still get its worker.
        m_view = m_host.show(
            "import QtQuick 2.15\nimport Korvane 1.0\n"
            "Item { HostLayer { objectName: \"early\" }\n"
            "       TImpServer { objectName: \"server\"; anchors.fill: parent } }");
        QVERIFY(m_view);
        m_server = TestHost::server(m_view.get());
        QVERIFY(m_server);
        QTRY_VERIFY_WITH_TIMEOUT(m_server->isReady(), 10000);
        m_root = qobject_cast<TNodeRootWithAdjust*>(m_server->rootNode());
        QVERIFY(m_root);
        QVERIFY(m_server->thumbnails());
        QVERIFY(m_root != m_server->thumbnails());
        QVERIFY(qobject_cast<HostRootWorker*>(TImprocWorker::ptr(unsigned(m_root->uid()))));
        QVERIFY(TImpServer::impThread()->context());
    }

    void nodesDeclaredBeforeTheServerGetWorkers()
    {
        auto* early = m_view->rootObject()->findChild<HostLayer*>("early");
        QVERIFY(early);
        QVERIFY(TImprocWorker::ptr(unsigned(early->uid())));
        early->setAmount(0.5f);
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(workerFloat(early, "amount"), 0.5f);
    }

    // Regression: a burst of edits that cannot merge (two layers in turn) is applied in one
    // cycle and rendered once, not once per edit; every edit still arrives.
    void aBurstOfEditsCostsOneRender()
    {
        TNode* a = TestHost::addChild(m_server, QStringLiteral("HostLayer"), m_root);
        TNode* b = TestHost::addChild(m_server, QStringLiteral("HostLayer"), m_root);
        QVERIFY(a && b);
        QTRY_VERIFY(TestHost::queueDrained());
        QSignalSpy renders(m_server, &TImpServer::runImproc);
        const int edits = 400;
        for (int i = 1; i <= edits; ++i)
            static_cast<HostLayer*>(i % 2 ? a : b)->setAmount(0.001f * float(i));
        QTRY_VERIFY(TestHost::queueDrained());
        QVERIFY2(renders.count() <= 2, qPrintable(QString::number(renders.count())));
        // Each edit stayed its own undo step, within the history's bound.
        QCOMPARE(TImpServer::undoStack()->count(), TImpServer::kUndoLimit);
        QCOMPARE(workerFloat(a, "amount"), 0.001f * float(edits - 1));
        QCOMPARE(workerFloat(b, "amount"), 0.001f * float(edits));
        m_server->deleteNode(a);
        m_server->deleteNode(b);
        QTRY_VERIFY(TestHost::queueDrained());
        TImpServer::undoStack()->clear(); // the steps of deleted layers, for the cases after
    }

    void editsWhileARenderIsPendingMergeInTheQueue()
    {
        QSemaphore gate;
        // Hold the render thread so the first edit's render cannot start.
        QMetaObject::invokeMethod(TImpServer::impThread(), [&gate] { gate.acquire(); }, Qt::QueuedConnection);
        m_root->setBrightness(0.1f);
        QTRY_VERIFY(TImpServer::requestQueue()->isEmpty());
        QVERIFY(TImpServer::isCycleInFlight());
        m_root->setBrightness(0.2f);
        m_root->setBrightness(0.3f);
        QCOMPARE(TImpServer::requestQueue()->size(), 1);
        QTRY_COMPARE(m_server->numOfReqsInQeueue(), 1);
        QVERIFY(!m_server->canUndo());
        QVERIFY(!m_server->canRedo());
        gate.release();
        QTRY_VERIFY(TestHost::queueDrained());
        QTRY_COMPARE(m_server->numOfReqsInQeueue(), 0);
        QCOMPARE(workerFloat(m_root, "brightness"), 0.3f);
        QVERIFY(m_server->canUndo());
    }

    void editsUpToAnUndoPointAreOneUndoStep()
    {
        m_root->setUndoPoint();
        QTRY_VERIFY(TestHost::queueDrained());
        const int steps = TImpServer::undoStack()->count();
        const float b0 = m_root->brightness();
        const float c0 = m_root->contrast();

        m_root->setBrightness(0.5f);
        m_root->setContrast(0.2f);
        m_root->setBrightness(0.6f);
        m_root->setUndoPoint();
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(TImpServer::undoStack()->count(), steps + 1);
        QTRY_VERIFY(m_server->canUndo());

        const int renders = HostRootWorker::s_renders.loadAcquire();
        m_server->undo();
        QTRY_VERIFY(TestHost::queueDrained());
        // Undo takes its turn in the queue and renders, so views show the restored state.
        QCOMPARE(HostRootWorker::s_renders.loadAcquire(), renders + 1);
        QCOMPARE(workerFloat(m_root, "brightness"), b0);
        QCOMPARE(workerFloat(m_root, "contrast"), c0);
        QTRY_COMPARE(m_root->brightness(), b0);
        QTRY_COMPARE(m_root->contrast(), c0);
        QTRY_VERIFY(m_server->canRedo());

        m_server->redo();
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(workerFloat(m_root, "brightness"), 0.6f);
        QCOMPARE(workerFloat(m_root, "contrast"), 0.2f);
        QTRY_COMPARE(m_root->brightness(), 0.6f);
    }

    void nodePresetsKeepTheirBlendModeThroughJson()
    {
        QTRY_VERIFY(TestHost::queueDrained());
        const QString text = TJson::qmapToString(
            {{"className", "HostLayer"}, {"blendMode", 3}, {"amount", 0.5}, {"_children_", QVariantList()}});
        const uint uid = m_root->attachPreset(TJson::stringToQMap(text));
        QTRY_VERIFY(TestHost::queueDrained());
        auto* layer = qobject_cast<HostLayer*>(TImproc::ptr(uid));
        QVERIFY(layer);
        QCOMPARE(layer->blendMode(), TNode::BLENDMODE_MULTIPLY);
        TImprocWorker* worker = TImprocWorker::ptr(uid);
        QVERIFY(worker);
        QCOMPARE(worker->paramValue("blendMode").toInt(), int(TNode::BLENDMODE_MULTIPLY));
        QVERIFY(m_root->removePreset(uid));
        QTRY_VERIFY(TestHost::queueDrained());
    }

    void commandsWithoutRenderRunBackToBack()
    {
        QTRY_VERIFY(TestHost::queueDrained());
        const int renders = HostRootWorker::s_renders.loadAcquire();
        QSignalSpy requests(m_server, &TImpServer::runImproc);
        for (unsigned int i = 0; i < 5; ++i)
            TImpServer::enqueueReq(new TCmd_DeleteNodeWithUid(4000000000u + i));
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(requests.count(), 0);
        QCOMPARE(HostRootWorker::s_renders.loadAcquire(), renders);
    }

    void requestsWithoutEffect()
    {
        QTRY_VERIFY(TestHost::queueDrained());
        QVERIFY(!m_server->deleteNode(nullptr));
        m_server->cancel(QStringLiteral("anything"));
        QVERIFY(TestHost::queueDrained());
        while (m_server->canRedo()) {
            m_server->redo();
            QTRY_VERIFY(TestHost::queueDrained());
        }
        QSignalSpy requests(m_server, &TImpServer::runImproc);
        m_server->redo();
        QCOMPARE(TImpServer::requestQueue()->size(), 0);
        QTest::qWait(20);
        QCOMPARE(requests.count(), 0);
    }

    void childrenAreCreatedAndDeletedThroughTheQueue()
    {
        m_server->createChild(QStringLiteral("HostLayer"), m_root);
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(m_root->childCount(), 1);
        auto* child = qobject_cast<HostLayer*>(m_root->child(0));
        QVERIFY(child);
        TImprocWorker* worker = TImprocWorker::ptr(unsigned(child->uid()));
        QVERIFY(worker);
        QCOMPARE(worker->parent(), TImprocWorker::ptr(unsigned(m_root->uid())));
        const unsigned int childUid = unsigned(child->uid());
        QVERIFY(m_server->deleteNode(child));
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(m_root->childCount(), 0);
        QCOMPARE(TImprocWorker::ptr(childUid), nullptr);
        QCOMPARE(TImproc::ptr(childUid), nullptr);
    }

    void aBurstOfEditsNeverOverlapsARender()
    {
        QTRY_VERIFY(TestHost::queueDrained());
        int emitted = HostRootWorker::s_renders.loadAcquire();
        int violations = 0;
        auto counter = connect(m_server, &TImpServer::runImproc, this, [&emitted] { ++emitted; }, Qt::DirectConnection);
        HostRootWorker::s_overlaps.storeRelease(0);
        const unsigned int rootUid = unsigned(m_root->uid());
        QRandomGenerator rng(1234);
        for (int i = 0; i < 3000; ++i) {
            const int what = int(rng.bounded(100));
            if (what < 80) {
                m_root->setBrightness(float(rng.bounded(1000)) / 1000.f);
            } else if (what < 88) {
                TImpServer::enqueueReq(new ProbeCmd(rootUid, emitted, violations));
            } else if (what < 92) {
                m_root->setUndoPoint();
            } else if (what < 96) {
                m_server->undo();
            } else {
                m_server->redo();
            }
            if (i % 7 == 0)
                QCoreApplication::processEvents();
        }
        QTRY_VERIFY_WITH_TIMEOUT(TestHost::queueDrained(), 60000);
        disconnect(counter);
        QCOMPARE(violations, 0);
        QCOMPARE(HostRootWorker::s_overlaps.loadAcquire(), 0);
        // Whatever undo and redo did in between, worker and GUI end in agreement, and the
        // last edit is the value that stays.
        QTRY_COMPARE(m_root->brightness(), workerFloat(m_root, "brightness"));
        m_root->setBrightness(0.777f);
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(workerFloat(m_root, "brightness"), 0.777f);
    }
};

KORVANE_TEST_CASE(TstTImpServer)
#include "tst_timpserver.moc"
