// The node class registry and the catalogue QML reads from it.

#include "korvanetest.h"

#include "nodes/tnode.h"
#include "nodes/tnodeclassinfo.h"
#include "nodes/tnodefactory.h"
#include "nodes/tnodeworker.h"

class TstTNodeFactory : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
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
    }

    void firstRegistrationWins()
    {
        QVERIFY(!TNodeFactory::registerNodeClass("Fx.X", nullptr, nullptr, QUrl(), TNodeInfo("other")));
        QCOMPARE(TNodeFactory::text("Fx.X"), QStringLiteral("X"));
        QCOMPARE(TNodeFactory::desc("Fx.X"), QStringLiteral("x node"));
        QCOMPARE(TNodeFactory::guiQML("Fx.X"), QUrl("qrc:/Fx.X.qml"));
    }

    void categoriesOfferWhatMayBeNested()
    {
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

KORVANE_TEST_CASE(TstTNodeFactory)
#include "tst_tnodefactory.moc"
