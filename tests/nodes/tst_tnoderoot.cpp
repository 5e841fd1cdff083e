// The root node's GUI side: canvas size and preview scales, presets attached through
// commands, and (with a real server) which root commands become undo steps.

#include "testhost.h"
#include "testnodes_host.h"
#include "korvanetest.h"

#include "nodes/commands/tcmd_canvas.h"
#include "nodes/commands/tcmd_createnodewithuid.h"
#include "nodes/commands/tcmd_deletelastchild.h"
#include "engine/timprocworker.h"
#include "gpu/tengineenums.h"
#include "engine/timpserver.h"
#include "nodes/tnoderootwithadjust.h"
#include "nodes/tnoderootworker.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include "engine/tundohistory.h"

namespace {
int queued()
{
    return TImpServer::requestQueue() ? TImpServer::requestQueue()->size() : 0;
}

} // namespace

class TstTNodeRoot : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestHost::registerClasses(); }
    void cleanup() { TImpServer::discardQueue(); }

    void firstCanvasFixesThePreviewScales_data()
    {
        QTest::addColumn<QSize>("canvas");
        QTest::addColumn<float>("lowrez");
        QTest::addColumn<QSize>("lowrezSize");
        QTest::addColumn<float>("thumb");
        QTest::addColumn<QSize>("thumbSize");
        QTest::newRow("landscape") << QSize(4000, 3000) << 0.4f << QSize(1600, 1200) << 0.06f << QSize(240, 180);
        QTest::newRow("portrait") << QSize(1000, 3000) << 1600.f / 3000.f << QSize(533, 1600) << 0.08f << QSize(80, 240);
        QTest::newRow("small canvases are not enlarged") << QSize(800, 400) << 1.0f << QSize(800, 400) << 0.3f << QSize(240, 120);
        QTest::newRow("tiny canvases keep every scale at 1") << QSize(100, 50) << 1.0f << QSize(100, 50) << 1.0f << QSize(100, 50);
    }
    void firstCanvasFixesThePreviewScales()
    {
        QFETCH(QSize, canvas);
        QFETCH(float, lowrez);
        QFETCH(QSize, lowrezSize);
        QFETCH(float, thumb);
        QFETCH(QSize, thumbSize);
        TNodeRoot root;
        root.setCanvasSize(canvas);
        QCOMPARE(root.lowrezScale(), lowrez);
        QCOMPARE(root.lowrezSize(), lowrezSize);
        QCOMPARE(root.thumbnailScale(), thumb);
        QCOMPARE(root.thumbnailSize(), thumbSize);
        QCOMPARE(queued(), 1);
    }

    void laterSizesKeepTheScalesUnlessRefreshed()
    {
        TNodeRoot root;
        root.setCanvasSize(QSize(4000, 3000));
        QSignalSpy size(&root, &TNodeRoot::canvasSizeChanged);
        root.setCanvasSize(QSize(2000, 1000));
        QCOMPARE(root.lowrezScale(), 0.4f);
        root.refreshAllSize(QSize(3200, 1000));
        QCOMPARE(root.lowrezScale(), 0.5f);
        QCOMPARE(root.thumbnailScale(), 0.075f);
        const int before = queued();
        root.refreshAllSize(QSize(3200, 1000));
        root.setCanvasSize(QSize(3200, 1000));
        QCOMPARE(queued(), before);
        QCOMPARE(size.count(), 2);
    }

    void presetsAttachThroughCommands()
    {
        TNodeRoot root;
        QCOMPARE(root.attachPreset(QVariantMap()), 0u);
        QVERIFY(!root.removePreset(1234));
        QVariantMap child{{"className", "HostLayer"}, {"amount", 0.5}};
        // Only children: they go directly under the root.
        QCOMPARE(root.attachPreset({{"_children_", QVariantList{child, child}}}), unsigned(root.uid()));
        QCOMPARE(queued(), 4);
        TImpServer::discardQueue();

        // A preset with parameters of its own becomes a node, and its children go under it.
        const uint attach = root.attachPreset({{"className", "HostLayer"}, {"amount", 0.1},
                                               {"_children_", QVariantList{child}}});
        QVERIFY(attach != unsigned(root.uid()));
        auto* first = dynamic_cast<TCmd_CreateNodeWithUid*>(TImpServer::requestQueue()->at(0));
        QVERIFY(first);
        QCOMPARE(first->nodeUid(), attach);
        QCOMPARE(first->parentUid(), unsigned(root.uid()));
        auto* second = dynamic_cast<TCmd_CreateNodeWithUid*>(TImpServer::requestQueue()->at(2));
        QVERIFY(second);
        QCOMPARE(second->parentUid(), attach);
    }

    void canvasCommandRestoresEverythingReadAtRedo()
    {
        TNodeRootWithAdjust root;
        auto* worker = qobject_cast<TNodeRootWorker*>(TImprocWorker::ptr(unsigned(root.uid())));
        QVERIFY(worker);
        worker->setCanvas(QSize(10, 20), QColor(Qt::red), 0.5f, 0.1f);
        TCmd_Canvas cmd(unsigned(root.uid()), QSize(30, 40), QColor(Qt::blue), 0.25f, 0.05f);
        cmd.redo();
        QCOMPARE(worker->canvasSize(), QSize(30, 40));
        cmd.undo();
        QCOMPARE(worker->canvasSize(), QSize(10, 20));
        QCOMPARE(worker->canvasColor(), QColor(Qt::red));
        QCOMPARE(worker->lowrezScale(), 0.5f);
        QCOMPARE(worker->thumbnailScale(), 0.1f);
        // The GUI root shows the restored values too.
        QTRY_COMPARE(root.canvasSize(), QSize(10, 20));
        QCOMPARE(root.canvasColor(), QColor(Qt::red));
    }
};

// Which root commands become undo steps, with the real server running them.
namespace {
// Parameter values in one form whatever their type: enums and numbers as float, points as points.
QVariant comparable(const QVariant& v)
{
    if (v.userType() == QMetaType::QPointF)
        return v;
    return QVariant(TEngineEnums::isEngineEnum(v.userType()) ? float(TEngineEnums::value(v)) : v.toFloat());
}
} // namespace

class TstTNodeRootUndo : public QObject
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
        m_server = m_host.showServer(m_view);
        QVERIFY(m_server);
        m_root = qobject_cast<TNodeRootWithAdjust*>(m_server->rootNode());
    }

    void imageLoadsAreNotUndoSteps()
    {
        const int steps = TImpServer::undoStack()->count();
        m_root->setInput(TSMat(cv::Mat(30, 40, CV_8UC4, cv::Scalar::all(128))));
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(TImpServer::undoStack()->count(), steps);
        auto* worker = qobject_cast<TNodeRootWorker*>(TImprocWorker::ptr(unsigned(m_root->uid())));
        QCOMPARE(worker->canvasSize(), QSize(40, 30));
        QVERIFY(!worker->input().isEmpty());

        // An edit, then undo twice: the edit is undone, the image load is not.
        m_root->setBrightness(0.4f);
        m_root->setUndoPoint();
        QTRY_VERIFY(TestHost::queueDrained());
        QTRY_VERIFY(m_server->canUndo());
        m_server->undo();
        QTRY_VERIFY(TestHost::queueDrained());
        m_server->undo();
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(worker->canvasSize(), QSize(40, 30));
        QCOMPARE(m_root->canvasSize(), QSize(40, 30));
    }

    // An edit made right after an undo or redo, before the queue has run: the GUI and the
    // worker must both end on the edit, whatever the parameter's type.
    void guiAndWorkerAgreeAfterUndoOrRedoThenEdit_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QVariant>("first");
        QTest::addColumn<QVariant>("second");
        QTest::addColumn<bool>("otherKeyBySetParams");
        // Both values differ from the default and each other, so every edit is a real change.
        for (const char* step : {"undo", "redo"}) {
            QTest::addRow("%s, selType", step) << step << QByteArray("selType") << QVariant(2) << QVariant(3) << false;
            QTest::addRow("%s, opacity", step) << step << QByteArray("opacity") << QVariant(0.3) << QVariant(0.9)
                                               << false;
            QTest::addRow("%s, blendMode", step) << step << QByteArray("blendMode") << QVariant(5) << QVariant(7)
                                                 << false;
            QTest::addRow("%s, selPosition", step) << step << QByteArray("selPosition") << QVariant(QPointF(0.1, 0.2))
                                                   << QVariant(QPointF(0.7, 0.8)) << false;
            // setParams on one key must not send the GUI's older values of the others.
            QTest::addRow("%s, setParams of another key", step)
                << step << QByteArray("opacity") << QVariant(0.3) << QVariant() << true;
        }
    }
    void guiAndWorkerAgreeAfterUndoOrRedoThenEdit()
    {
        QFETCH(QString, step);
        QFETCH(QByteArray, key);
        QFETCH(QVariant, first);
        QFETCH(QVariant, second);
        QFETCH(bool, otherKeyBySetParams);
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
        QTRY_VERIFY(TestHost::queueDrained());
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
        QTRY_VERIFY(TestHost::queueDrained());
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
        QTRY_VERIFY(TestHost::queueDrained());
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
        QTRY_VERIFY(TestHost::queueDrained());
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

    void attachedPresetThenAnEditIsOneUndoStepThatRenders()
    {
        QTRY_VERIFY(TestHost::queueDrained());
        const uint attach = m_root->attachPreset({{"className", "HostLayer"}, {"amount", 0.2}});
        QTRY_VERIFY(TestHost::queueDrained());
        auto* layer = qobject_cast<HostLayer*>(TImproc::ptr(attach));
        QVERIFY(layer);
        QCOMPARE(layer->amount(), 0.2f);
        QCOMPARE(TImprocWorker::ptr(attach)->paramValue("amount").toFloat(), 0.2f);

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
};

KORVANE_TEST_CASE(TstTNodeRoot)
KORVANE_TEST_CASE(TstTNodeRootUndo)
#include "tst_tnoderoot.moc"
