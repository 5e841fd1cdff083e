// The server item in a real window: start-up through the scene graph, the command queue
// with merging, one command per render cycle, undo and redo as queued steps, node creation
// and deletion through commands, which root commands become undo steps, and what views and
// files receive when edits, undo and saves share the queue.

#include "renderprobe.h"
#include "testhost.h"
#include "testnodes_host.h"
#include "korvanetest.h"

#include "nodes/commands/tcmd_deletenodewithuid.h"
#include "engine/timpserver.h"
#include "engine/tjson.h"
#include "engine/timpserverthread.h"
#include "gpu/tengineenums.h"
#include "nodes/tnoderootwithadjust.h"
#include "nodes/tnoderootworker.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSemaphore>

#include <opencv2/imgcodecs.hpp>
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

// Parameter values in one form whatever their type: enums and numbers as float, points as points.
QVariant comparable(const QVariant& v)
{
    if (v.userType() == QMetaType::QPointF)
        return v;
    return QVariant(TEngineEnums::isEngineEnum(v.userType()) ? float(TEngineEnums::value(v)) : v.toFloat());
}
} // namespace

struct GuiAndWorkerAgreeAfterUndoOrRedoThenEditRow { QString step; QByteArray key; QVariant first; QVariant second; bool otherKeyBySetParams; };
Q_DECLARE_METATYPE(GuiAndWorkerAgreeAfterUndoOrRedoThenEditRow)

class TstTImpServer : public ServerTest
{
    Q_OBJECT

    void settle()
    {
        m_root->setUndoPoint();
        QTRY_VERIFY(TestHost::queueDrained());
    }

private slots:
    // Each case starts from a quiet queue.
    void init() { QTRY_VERIFY(TestHost::queueDrained()); }

    void initTestCase()
    {
        // The layer is declared before the server item: it is built before the first frame,
        // while the server has no GL context yet, and must still get its worker.
        QVERIFY(startServer("import QtQuick 2.15\nimport Korvane 1.0\n"
                            "Item { HostLayer { objectName: \"early\" }\n"
                            "       TImpServer { objectName: \"server\"; anchors.fill: parent } }"));
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

    void requestsWithoutEffect()
    {
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
        // Commands that need no render run back to back, rendering nothing.
        const int renders = HostRootWorker::s_renders.loadAcquire();
        for (unsigned int i = 0; i < 5; ++i)
            TImpServer::enqueueReq(new TCmd_DeleteNodeWithUid(4000000000u + i));
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(requests.count(), 0);
        QCOMPARE(HostRootWorker::s_renders.loadAcquire(), renders);
    }

    // Nodes come and go through the queue, and each change is shown: the tree renders once more.
    void childrenAreCreatedAndDeletedThroughTheQueue()
    {
        const int renders = HostRootWorker::s_renders.loadAcquire();
        m_server->createChild(QStringLiteral("HostLayer"), m_root);
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(HostRootWorker::s_renders.loadAcquire(), renders + 1);
        QCOMPARE(m_root->childCount(), 1);
        auto* child = qobject_cast<HostLayer*>(m_root->child(0));
        QVERIFY(child);
        TImprocWorker* worker = TImprocWorker::ptr(unsigned(child->uid()));
        QVERIFY(worker);
        QCOMPARE(worker->parent(), TImprocWorker::ptr(unsigned(m_root->uid())));
        const unsigned int childUid = unsigned(child->uid());
        QVERIFY(m_server->deleteNode(child));
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(HostRootWorker::s_renders.loadAcquire(), renders + 2);
        QCOMPARE(m_root->childCount(), 0);
        QCOMPARE(TImprocWorker::ptr(childUid), nullptr);
        QCOMPARE(TImproc::ptr(childUid), nullptr);
    }

    void aBurstOfEditsNeverOverlapsARender()
    {
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

    // An edit made right after an undo or redo, before the queue has run: the GUI and the
    // worker must both end on the edit, whatever the parameter's type.
    void guiAndWorkerAgreeAfterUndoOrRedoThenEdit_data()
    {
        QTest::addColumn<GuiAndWorkerAgreeAfterUndoOrRedoThenEditRow>("row");
        // Both values differ from the default and each other, so every edit is a real change.
        for (const char* step : {"undo", "redo"}) {
            QTest::addRow("%s, selType", step) << GuiAndWorkerAgreeAfterUndoOrRedoThenEditRow{step,
                    QByteArray("selType"), QVariant(2), QVariant(3), false};
            QTest::addRow("%s, opacity", step) << GuiAndWorkerAgreeAfterUndoOrRedoThenEditRow{step,
                    QByteArray("opacity"), QVariant(0.3), QVariant(0.9), false};
            QTest::addRow("%s, blendMode", step) << GuiAndWorkerAgreeAfterUndoOrRedoThenEditRow{step,
                    QByteArray("blendMode"), QVariant(5), QVariant(7), false};
            QTest::addRow("%s, selPosition", step) << GuiAndWorkerAgreeAfterUndoOrRedoThenEditRow{step,
                    QByteArray("selPosition"), QVariant(QPointF(0.1, 0.2)), QVariant(QPointF(0.7, 0.8)), false};
            // setParams on one key must not send the GUI's older values of the others.
            QTest::addRow("%s, setParams of another key", step) << GuiAndWorkerAgreeAfterUndoOrRedoThenEditRow{step,
                    QByteArray("opacity"), QVariant(0.3), QVariant(), true};
        }
    }
    void guiAndWorkerAgreeAfterUndoOrRedoThenEdit()
    {
        QFETCH(GuiAndWorkerAgreeAfterUndoOrRedoThenEditRow, row);
        const auto& [step, key, first, second, otherKeyBySetParams] = row;
        TNode* layer = TestHost::addChild(m_server, QStringLiteral("HostLayer"), m_root);
        QVERIFY(layer);
        const auto removeLayer = qScopeGuard([&] {
            m_server->deleteNode(layer);
            QTRY_VERIFY(TestHost::queueDrained());
        });
        QVERIFY(layer->setProperty(key.constData(), first));
        layer->setUndoPoint();
        QTRY_VERIFY(TestHost::queueDrained());
        m_server->undo();
        if (step == "redo") {
            QTRY_VERIFY(TestHost::queueDrained());
            m_server->redo();
        }
        if (otherKeyBySetParams)
            layer->setParams({{QStringLiteral("blendMode"), 7}});
        else
            QVERIFY(layer->setProperty(key.constData(), second));
        QTRY_VERIFY(TestHost::queueDrained());
        TImprocWorker* worker = TImprocWorker::ptr(unsigned(layer->uid()));
        QVERIFY(worker);
        if (!otherKeyBySetParams)
            QCOMPARE(comparable(layer->property(key.constData())), comparable(second));
        const QVariantMap gui = layer->params();
        for (auto it = gui.cbegin(); it != gui.cend(); ++it)
            QVERIFY2(comparable(it.value()) == comparable(worker->paramValue(it.key())), qPrintable(it.key()));
    }

    // Regression: the canvas colour reaches the GUI with the undo or redo itself; an update
    // queued behind it landed after the next edit, and the two sides disagreed for good.
    void canvasColourAgreesAfterUndoOrRedoThenEdit()
    {
        auto* worker = qobject_cast<TNodeRootWorker*>(TImprocWorker::ptr(unsigned(m_root->uid())));
        for (const auto& [redo, first, second] : {std::tuple{false, Qt::red, Qt::blue}, {true, Qt::green, Qt::yellow}}) {
            m_root->setCanvasColor(first);
            QTRY_VERIFY(TestHost::queueDrained());
            m_server->undo();
            if (redo) {
                QTRY_VERIFY(TestHost::queueDrained());
                m_server->redo();
            }
            m_root->setCanvasColor(second);
            QTRY_VERIFY(TestHost::queueDrained());
            QCOMPARE(worker->canvasColor(), QColor(second));
            QCOMPARE(m_root->canvasColor(), QColor(second));
        }
    }

    // Regression: move() reorders the node's own children, the root's layers included.
    void moveReordersTheRootsLayers()
    {
        TNode* first = TestHost::addChild(m_server, QStringLiteral("HostLayer"), m_root);
        TNode* second = TestHost::addChild(m_server, QStringLiteral("HostLayer"), m_root);
        QVERIFY(first && second);
        const int row = m_root->childCount() - 2;
        m_root->move(uint(row), uint(row + 1));
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(m_root->child(row), second);
        QCOMPARE(m_root->child(row + 1), first);
        const QObjectList workers = TImprocWorker::ptr(unsigned(m_root->uid()))->children();
        QVERIFY(workers.indexOf(TImprocWorker::ptr(unsigned(second->uid())))
                < workers.indexOf(TImprocWorker::ptr(unsigned(first->uid()))));
        m_server->deleteNode(first);
        m_server->deleteNode(second);
        QTRY_VERIFY(TestHost::queueDrained());
    }

    // Regression: a root's preset holds its canvas colour, and attaching it applies it to this
    // root (values, canvas, children) instead of nesting a second root inside.
    void rootPresetsApplyToTheRoot()
    {
        TNode* layer = TestHost::addChild(m_server, QStringLiteral("HostLayer"), m_root);
        QVERIFY(layer);
        m_root->setCanvasColor(QColor(200, 30, 40));
        m_root->setBrightness(0.25f);
        QTRY_VERIFY(TestHost::queueDrained());
        const QVariantMap preset = m_root->preset();
        QCOMPARE(preset.value("canvasColor").value<QColor>(), QColor(200, 30, 40));

        m_root->removeAllChildren();
        m_root->setCanvasColor(Qt::white);
        m_root->setBrightness(0.0f);
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(m_root->attachPreset(preset), uint(m_root->uid()));
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(m_root->childCount(), 1);
        QVERIFY(!qobject_cast<TNodeRoot*>(m_root->child(0)));
        QCOMPARE(m_root->canvasColor(), QColor(200, 30, 40));
        QCOMPARE(m_root->brightness(), 0.25f);
        auto* worker = qobject_cast<TNodeRootWorker*>(TImprocWorker::ptr(unsigned(m_root->uid())));
        QCOMPARE(worker->canvasColor(), QColor(200, 30, 40));
        m_root->removeAllChildren();
        m_root->setBrightness(0.0f);
        m_root->setCanvasColor(Qt::white);
        m_root->setUndoPoint();
        QTRY_VERIFY(TestHost::queueDrained());
    }

    // Regression: a child queued under a node that is gone when it runs (deleted just before,
    // or of an unknown class) is not made, so nothing outlives the tree.
    void childrenOfMissingParentsAreNotMade()
    {
        const int nodes = TImproc::liveCount();
        const int workers = TImprocWorker::liveCount();
        TNode* layer = TestHost::addChild(m_server, QStringLiteral("HostLayer"), m_root);
        QVERIFY(layer);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("no node .* to add a HostLayer"));
        m_server->deleteNode(layer);
        m_server->createChild(QStringLiteral("HostLayer"), layer);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("no node class named .*NoSuchLayer"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("no node .* to add a HostLayer"));
        m_root->attachPreset({{"className", "NoSuchLayer"},
                              {"_children_", QVariantList{QVariantMap{{"className", "HostLayer"}}}}});
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(TImproc::liveCount(), nodes);
        QCOMPARE(TImprocWorker::liveCount(), workers);
    }

    // A whole tree's preset is one undo step and one render, however many nodes it sets.
    void aPresetIsOneUndoStepAndOneRender()
    {
        const int steps = TImpServer::undoStack()->index();
        QVariantList layers;
        for (int i = 0; i < 5; ++i)
            layers << QVariantMap{{"className", "HostLayer"}, {"amount", 0.1 * (i + 1)}, {"opacity", 0.5}};
        QSignalSpy renders(m_server, &TImpServer::runImproc);
        QVERIFY(m_root->setPreset({{"className", m_root->className()}, {"brightness", 0.2}, {"_children_", layers}}));
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(TImpServer::undoStack()->index(), steps + 1);
        QVERIFY2(renders.count() <= 1, qPrintable(QString::number(renders.count())));
        QCOMPARE(m_root->childCount(), 5);
        m_root->removeAllChildren();
        m_root->setBrightness(0.0f);
        m_root->setUndoPoint(); // later edits of the root must not merge into this one
        QTRY_VERIFY(TestHost::queueDrained());
    }

    // Values a preset sends straight to the worker meet the same checks as the properties.
    void presetValuesForTheWorkerAreChecked()
    {
        TImprocWorker* worker = TImprocWorker::ptr(unsigned(m_root->uid()));
        const QVariant blend = worker->paramValue("blendMode");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("refused .*blendMode"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("refused .*contrast"));
        m_root->computePreset({{"blendMode", 99}, {"contrast", std::nan("")}});
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(worker->paramValue("blendMode"), blend);
        QVERIFY(std::isfinite(worker->paramValue("contrast").toDouble()));
    }

    void presetThumbnailsLeaveNoUndoSteps()
    {
        const int steps = TImpServer::undoStack()->count();
        const bool couldUndo = m_server->canUndo();
        QVariantMap child{{"className", "HostLayer"}, {"amount", 0.5}};
        qobject_cast<TNodeRootWithAdjust*>(m_server->thumbnails())->generatePresetThumbnail(QString(), QSize(64, 48),
                                                         {{"_children_", QVariantList{child}}});
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(TImpServer::undoStack()->count(), steps);
        QTRY_COMPARE(m_server->canUndo(), couldUndo);
        QCOMPARE(qobject_cast<TNodeRootWithAdjust*>(m_server->thumbnails())->childCount(), 0);
    }

    // A preset taken through JSON text keeps its blend mode on both sides.
    void attachedPresetThenAnEditIsOneUndoStepThatRenders()
    {
        const QString text = TJson::qmapToString(
            {{"className", "HostLayer"}, {"blendMode", 3}, {"amount", 0.2}, {"_children_", QVariantList()}});
        const uint attach = m_root->attachPreset(TJson::stringToQMap(text));
        QTRY_VERIFY(TestHost::queueDrained());
        auto* layer = qobject_cast<HostLayer*>(TImproc::ptr(attach));
        QVERIFY(layer);
        QCOMPARE(layer->amount(), 0.2f);
        QCOMPARE(layer->blendMode(), TNode::BLENDMODE_MULTIPLY);
        QCOMPARE(TImprocWorker::ptr(attach)->paramValue("amount").toFloat(), 0.2f);
        QCOMPARE(TImprocWorker::ptr(attach)->paramValue("blendMode").toInt(), int(TNode::BLENDMODE_MULTIPLY));

        const int done = TImpServer::undoStack()->index();
        const int renders = HostRootWorker::s_renders.loadAcquire();
        // Parameters-only (as presets apply them), then a user edit of the same node in the
        // same turn, so both meet in the queue.
        m_root->computePreset({{"brightness", 0.1}});
        m_root->setContrast(0.3f);
        layer->setAmount(0.9f);
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(TImprocWorker::ptr(attach)->paramValue("amount").toFloat(), 0.9f);
        QCOMPARE(TImprocWorker::ptr(unsigned(m_root->uid()))->paramValue("contrast").toFloat(), 0.3f);
        // Each edit is an undo step of its own, not swallowed by the parameters-only command.
        QCOMPARE(TImpServer::undoStack()->index(), done + 2);
        QVERIFY(HostRootWorker::s_renders.loadAcquire() > renders);
        QVERIFY(m_root->removePreset(attach));
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(TImproc::ptr(attach), nullptr);
    }

    // Undo renders the earlier picture. An image load is no undo step: undoing an edit made
    // after it, and once more, keeps it.
    void undoDeliversTheEarlierPicture()
    {
        const int steps = TImpServer::undoStack()->count();
        m_root->setInput(TSMat(cv::Mat(10, 20, CV_8UC4, cv::Scalar(90, 120, 150, 255))));
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(TImpServer::undoStack()->count(), steps);
        auto* worker = qobject_cast<TNodeRootWorker*>(TImprocWorker::ptr(unsigned(m_root->uid())));
        QVERIFY(!worker->input().isEmpty());
        const cv::Mat before = renderedOutput(m_root);
        QVERIFY(!before.empty());
        m_root->setBrightness(m_root->brightness() + 0.3f);
        settle();
        const cv::Mat edited = renderedOutput(m_root);
        QVERIFY(!edited.empty());
        QVERIFY(cv::norm(edited, before, cv::NORM_INF) > 1000);
        m_server->undo();
        QTRY_VERIFY(TestHost::queueDrained());
        const cv::Mat undone = renderedOutput(m_root);
        QVERIFY(!undone.empty());
        QCOMPARE(cv::norm(undone, before, cv::NORM_INF), 0.0);
        m_server->undo();
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(worker->canvasSize(), QSize(20, 10));
        QCOMPARE(m_root->canvasSize(), QSize(20, 10));
        const cv::Mat out = renderedOutput(m_root);
        QCOMPARE(out.cols, 20);
        QCOMPARE(out.rows, 10);
    }

    void queuedSavesToDifferentFilesAllLand()
    {
        QTemporaryDir dir;
        const QVariantMap png = saveOptions("PNG", {{"PNG_BITDEPTH", "8 bit"}});
        QSignalSpy finished(m_root, &TNodeRoot::saveFinished);
        // An edit with its render, then two saves, all in one turn of the event loop.
        m_root->setBrightness(m_root->brightness() + 0.05f);
        m_root->saveOutputToFile(QUrl::fromLocalFile(dir.filePath("first.png")), png);
        m_root->saveOutputToFile(QUrl::fromLocalFile(dir.filePath("second.png")), png);
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 20000);
        for (const QList<QVariant>& args : finished)
            QVERIFY2(args.at(1).toString().isEmpty(), qPrintable(args.at(1).toString()));
        QCOMPARE(cv::imread(dir.filePath("first.png").toStdString()).cols, 20);
        QCOMPARE(cv::imread(dir.filePath("second.png").toStdString()).cols, 20);
    }
};

KORVANE_TEST_CASE(TstTImpServer)
#include "tst_timpserver.moc"
