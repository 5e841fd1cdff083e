// Layer nodes on the GUI side: defaults and setter rules, child management mirrored in
// the worker tree, presets built directly or through commands, and the node class registry.

#include "testhost.h"
#include "testnodes_host.h"
#include "korvanetest.h"

#include "nodes/commands/tcmd_createnodewithuid.h"
#include "nodes/commands/tcmd_movenode.h"
#include "engine/tcmd_params.h"
#include "engine/timprocworker.h"
#include "engine/timpserver.h"
#include "nodes/tnodeclassinfo.h"
#include "nodes/tnodefactory.h"

#include <QMetaProperty>
#include <QRegularExpression>
#include <limits>

namespace {
QList<TCmd*> takeQueue()
{
    QList<TCmd*> cmds;
    if (const QQueue<TCmd*>* q = TImpServer::requestQueue())
        cmds = *q;
    return cmds;
}

QList<uint> workerChildren(TNode* node)
{
    QList<uint> order;
    if (TImprocWorker* w = TImprocWorker::ptr(unsigned(node->uid()))) {
        for (QObject* c : w->children())
            if (auto* cw = qobject_cast<TImprocWorker*>(c))
                order << cw->uid();
    }
    return order;
}
} // namespace

class TstTNode : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestHost::registerClasses(); }
    void cleanup() { TImpServer::discardQueue(); }

    void settersChangeNotifyAndQueueOnlyOnRealChanges()
    {
        TNode node;
        QSignalSpy translate(&node, &TNode::translateChanged);
        node.setTranslate(QPointF(1e-13, 0));
        QCOMPARE(translate.count(), 0);
        node.setTranslate(QPointF(0.25, -0.5));
        QCOMPARE(translate.count(), 1);

        QSignalSpy opacity(&node, &TNode::opacityChanged);
        node.setOpacity(1.0f);
        QCOMPARE(opacity.count(), 0);
        node.setOpacity(0.5f);
        QCOMPARE(opacity.count(), 1);
        node.setOpacity(1.5f); // clamped to a fraction
        QCOMPARE(node.opacity(), 1.0f);
        node.setOpacity(-2.0f);
        QCOMPARE(node.opacity(), 0.0f);
        node.setOpacity(0.5f);

        QSignalSpy blend(&node, &TNode::blendModeChanged);
        node.setBlendMode(TNode::BLENDMODE_MULTIPLY);
        node.setBlendMode(TNode::BLENDMODE_MULTIPLY);
        QCOMPARE(blend.count(), 1);
        QCOMPARE(node.params().value("blendMode").userType(), qMetaTypeId<TNode::BlendMode>());
        QCOMPARE(node.blendMode(), TNode::BLENDMODE_MULTIPLY);

        node.setText("sky");
        node.setText("sky");
        QCOMPARE(takeQueue().size(), 1);  // all single-key edits of one node merge
        auto* cmd = dynamic_cast<TCmd_Params*>(takeQueue().first());
        QCOMPARE(cmd->newParams().keys(), (QStringList{"blendMode", "opacity", "text", "translate"}));
    }

    // Values no parameter may take are refused with a warning naming the key, through the
    // property, a whole-map edit and a preset; the previous value stays.
    void badValuesAreRefused_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("bad");
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("NaN opacity") << "opacity" << QVariant(nan);
        QTest::newRow("infinite scale") << "scale" << QVariant(-inf);
        QTest::newRow("NaN point") << "translate" << QVariant(QPointF(nan, 0));
        QTest::newRow("blend mode 99") << "blendMode" << QVariant(99);
        QTest::newRow("selection type -1") << "selType" << QVariant(-1);
    }
    void badValuesAreRefused()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, bad);
        HostLayer node;
        const QVariant before = node.property(key.toLatin1().constData());
        const QRegularExpression warning("refused .*" + key);
        // An enum property written with a value outside its type is undefined behaviour in the
        // generated code before any setter runs; maps and presets are checked before writing.
        const QMetaProperty property = node.metaObject()->property(node.metaObject()->indexOfProperty(key.toLatin1()));
        if (!property.isEnumType()) {
            QTest::ignoreMessage(QtWarningMsg, warning);
            node.setProperty(key.toLatin1().constData(), bad);
        }
        QTest::ignoreMessage(QtWarningMsg, warning);
        node.setParams({{key, bad}});
        QTest::ignoreMessage(QtWarningMsg, warning);
        QVERIFY(node.setPreset({{"className", node.className()}, {key, bad}}));
        QCOMPARE(node.property(key.toLatin1().constData()), before);
    }

    void childManagement()
    {
        TNode parent;
        auto *k = new TNode(&parent), *l = new TNode(&parent), *m = new TNode(&parent);
        QCOMPARE(parent.childCount(), 3);
        QCOMPARE(l->positionWithSibling(), 1);
        QCOMPARE(parent.positionWithSibling(), 0);
        QCOMPARE(parent.indexOfChild(nullptr), -1);
        auto* grandChild = new TNode(m);
        QVERIFY(parent.isChild(grandChild));
        QVERIFY(!parent.isChild(nullptr));
        QVERIFY(!k->isChild(l));

        auto* appended = new TNode;
        QVERIFY(!parent.insertChild(-1, appended));
        QVERIFY(!parent.insertChild(4, appended));
        QSignalSpy count(&parent, &TNode::childCountChanged);
        QVERIFY(parent.insertChild(1, appended));
        QCOMPARE(parent.child(1), appended);
        QCOMPARE(parent.child(2), l);
        QCOMPARE(count.count(), 1);
        QVERIFY(parent.removeChildren(1, 1));
        QCOMPARE(parent.child(1), l);
        QVERIFY(!parent.removeChildren(3, 1));
        // A count past the end stops at the last child.
        QVERIFY(parent.removeChildren(1, 10));
        QCOMPARE(parent.childCount(), 1);
        QCOMPARE(count.last().first().toInt(), 1);
    }

    void movesKeepWorkerOrderInStepWithNodes()
    {
        // Children [A (no worker), B, C]: moving C to the front must reorder the workers
        // to [C, B], which GUI rows alone cannot express.
        HostLayer parent;
        auto* a = new TNode(&parent);
        auto* b = new HostLayer(&parent);
        auto* c = new HostLayer(&parent);
        QCOMPARE(workerChildren(&parent), (QList<uint>{uint(b->uid()), uint(c->uid())}));
        QSignalSpy moved(&parent, &TNode::moveChildNodeWorker);
        TCmd_MoveNode(unsigned(parent.uid()), 2, 0).redo();
        QCOMPARE(parent.child(0), c);
        QCOMPARE(parent.child(1), a);
        QCOMPARE(parent.child(2), b);
        QCOMPARE(moved.count(), 1);
        QCOMPARE(workerChildren(&parent), (QList<uint>{uint(c->uid()), uint(b->uid())}));

        // [C, A, B] -> move C to the end: list-move meaning, the others keep their order.
        TCmd_MoveNode(unsigned(parent.uid()), 0, 2).redo();
        QCOMPARE(parent.child(2), c);
        QCOMPARE(workerChildren(&parent), (QList<uint>{uint(b->uid()), uint(c->uid())}));
        TCmd_MoveNode(unsigned(parent.uid()), 0, 3).redo();
        QCOMPARE(parent.child(2), c);
        QCOMPARE(moved.count(), 2);
    }

    void presetsCarryParametersAndChildren()
    {
        HostLayer node;
        QCOMPARE(node.preset(true), (QVariantMap{{"_children_", QVariantList()}}));
        QVERIFY(node.preset(false).value("_children_").toList().isEmpty());
        QCOMPARE(node.preset(false).value("className").toString(), QStringLiteral("HostLayer"));

        QVERIFY(!node.setPreset({{"amount", 0.5}}));
        QVERIFY(!node.setPreset({{"className", "Other"}}));
        QVERIFY(node.setPreset({{"className", "HostLayer"}, {"amount", 0.5}}, true));
        QCOMPARE(node.amount(), 0.0f);

        QVariantMap child{{"className", "HostLayer"}, {"amount", 0.75}};
        QVariantMap grandChildOwner = child;
        grandChildOwner.insert("_children_", QVariantList{child});
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("fail to create: .*NoSuchClass"));
        QVERIFY(node.setPreset({{"className", "HostLayer"}, {"amount", 0.25},
                                {"_children_", QVariantList{grandChildOwner, QVariantMap{{"className", "NoSuchClass"}}}}}));
        QCOMPARE(node.amount(), 0.25f);
        QCOMPARE(node.childCount(), 1);
        auto* built = qobject_cast<HostLayer*>(node.child(0));
        QVERIFY(built);
        QCOMPARE(built->amount(), 0.75f);
        QCOMPARE(built->childCount(), 1);
        QVERIFY(TImprocWorker::ptr(unsigned(built->uid())));

        // The preset read back has the same shape.
        const QVariantMap back = node.preset(false);
        QCOMPARE(back.value("_children_").toList().size(), 1);
        QCOMPARE(back.value("_children_").toList().first().toMap().value("_children_").toList().size(), 1);

        QSignalSpy count(&node, &TNode::childCountChanged);
        QVERIFY(node.setPreset({{"className", "HostLayer"}, {"_children_", QVariantList()}}, true));
        QCOMPARE(node.childCount(), 0);
        QCOMPARE(count.last().first().toInt(), 0);
    }

    void computePresetQueuesCreationBeforeParameters()
    {
        HostLayer node;
        TImpServer::discardQueue();
        QVERIFY(!node.computePreset(QVariantMap()));
        QVariantMap child{{"className", "HostLayer"}, {"amount", 0.5}};
        QVERIFY(node.computePreset({{"amount", 0.3}, {"_children_", QVariantList{child}}}));
        const QList<TCmd*> cmds = takeQueue();
        QCOMPARE(cmds.size(), 3);
        auto* own = dynamic_cast<TCmd_Params*>(cmds[0]);
        QVERIFY(own && !own->canUndoRedo() && !own->bUpdateEngine());
        QCOMPARE(own->uid(), unsigned(node.uid()));
        auto* create = dynamic_cast<TCmd_CreateNodeWithUid*>(cmds[1]);
        QVERIFY(create);
        QCOMPARE(create->parentUid(), unsigned(node.uid()));
        auto* childParams = dynamic_cast<TCmd_Params*>(cmds[2]);
        QVERIFY(childParams);
        QCOMPARE(childParams->uid(), create->nodeUid());
        QCOMPARE(childParams->newParams().value("amount").toDouble(), 0.5);
    }

    // The node class registry and the catalogue QML reads from it.
    void firstRegistrationWins()
    {
        // X offers F-class nodes except its preferred P, the excluded E, and C which refuses X.
        auto reg = [](const QString& name, const TNodeInfo& info) {
            return TNodeFactory::registerNodeClass(name, nullptr, nullptr, QUrl("qrc:/" + name + ".qml"), info);
        };
        QVERIFY(reg("Fx.X", TNodeInfo("X", "F", QUrl(), "x node", {"Fx.P"}, {"Fx.E"})));
        QVERIFY(reg("Fx.P", TNodeInfo("P", "F")));
        QVERIFY(reg("Fx.E", TNodeInfo("E", "F")));
        QVERIFY(reg("Fx.C", TNodeInfo("C", "F", QUrl(), QString(), {}, {}, {"Fx.X"})));
        QVERIFY(reg("Fx.b", TNodeInfo("b", "F")));
        QVERIFY(reg("Fx.A", TNodeInfo("A", "F")));
        QVERIFY(reg("Fx.H", TNodeInfo("H", "Hidden")));
        QVERIFY(reg("Fx.G", TNodeInfo("G", "G", QUrl(), QString(), {}, {}, {"Fx.X"})));
        QVERIFY(!TNodeFactory::registerNodeClass("Fx.X", nullptr, nullptr, QUrl(), TNodeInfo("other")));
        QCOMPARE(TNodeFactory::text("Fx.X"), QStringLiteral("X"));
        QCOMPARE(TNodeFactory::desc("Fx.X"), QStringLiteral("x node"));
        QCOMPARE(TNodeFactory::guiQML("Fx.X"), QUrl("qrc:/Fx.X.qml"));

        TNodeClassInfo info;
        QCOMPARE(info.categoryClasses("Fx.X", "F"), (QStringList{"Fx.A", "Fx.X", "Fx.b"}));
        QCOMPARE(info.preferredClasses("Fx.X"), QStringList{"Fx.P"});
        const QStringList categories = info.categoryList("Fx.X");
        QVERIFY(categories.contains("F"));
        QVERIFY(!categories.contains("Hidden"));
        // G's only class refuses X as its parent: no category G for X, but one for A.
        QVERIFY(!categories.contains("G"));
        QVERIFY(info.categoryList("Fx.A").contains("G"));
        QVERIFY(info.tnodeClasses().contains("Fx.X"));
    }
};

KORVANE_TEST_CASE(TstTNode)
#include "tst_tnode.moc"
