// Processing objects on both sides. GUI side: the float-equality rule, whole-map and
// single-key edits, undo points, values coming back from the render side, and the id
// registry. Render side: parameter maps and change detection, the draw lists, the id
// registry and the request path up the worker tree; map semantics need no GL, so these
// workers are built on the test thread. And the library's logging categories.

#include "testnodes.h"
#include "testnodes_host.h"
#include "korvanetest.h"

#include "engine/tcmd_drawcmd.h"
#include "engine/tcmd_params.h"
#include "engine/tcmd_update.h"
#include "engine/tjson.h"
#include "engine/timpserver.h"

#include <QLoggingCategory>
#include <QRegularExpression>
#include <QThread>

namespace {
const TCmd_Params* asParams(const std::unique_ptr<TCmd>& c)
{
    return dynamic_cast<const TCmd_Params*>(c.get());
}

struct Line
{
    QtMsgType type;
    QString category;
    QString text;
};
QList<Line> g_lines;

// The lines the library wrote while `work` ran, through a handler of the application's own.
QList<Line> linesOf(const std::function<void()>& work)
{
    g_lines.clear();
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context,
                                                                const QString& text) {
        g_lines.append({type, QString::fromLatin1(context.category), text});
    });
    work();
    qInstallMessageHandler(previous);
    return g_lines;
}

bool hasLine(const QList<Line>& lines, QtMsgType type, const QString& category, const QString& start)
{
    return std::any_of(lines.cbegin(), lines.cend(), [&](const Line& l) {
        return l.type == type && l.category == category && l.text.startsWith(start);
    });
}
} // namespace

class TstTImproc : public QObject
{
    Q_OBJECT
private slots:
    void floatEquality_data()
    {
        QTest::addColumn<float>("stored");
        QTest::addColumn<float>("incoming");
        QTest::addColumn<bool>("equal");
        QTest::newRow("tiny value replaces zero") << 0.f << 1e-9f << false;
        QTest::newRow("within a hundred-thousandth") << 1000.f << 1000.005f << true;
        QTest::newRow("beyond a hundred-thousandth") << 1000.f << 1000.02f << false;
        QTest::newRow("sign change") << 0.5f << -0.5f << false;
    }
    void floatEquality()
    {
        QFETCH(float, stored);
        QFETCH(float, incoming);
        QFETCH(bool, equal);
        QCOMPARE(TImproc::floatValuesEqual(stored, incoming), equal);

        RecordingImproc node;
        node.setParamValue(QStringLiteral("amount"), stored);
        node.commands.clear();
        QCOMPARE(node.setParamValue(QStringLiteral("amount"), incoming), !equal);
        QCOMPARE(node.commands.size(), size_t(equal ? 0 : 1));
    }

    // A single-key edit queues one command that undoes and renders; a parameters-only edit
    // (as presets send to the worker) one that does neither and leaves the GUI value alone.
    void singleKeyEditMakesOneUndoableRenderingCommand()
    {
        RecordingImproc node;
        QSignalSpy changed(&node, &RecordingImproc::amountChanged);
        node.setAmount(0.25);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(node.commands.size(), size_t(1));
        const TCmd_Params* cmd = asParams(node.commands[0]);
        QVERIFY(cmd);
        QCOMPARE(cmd->uid(), unsigned(node.uid()));
        QCOMPARE(cmd->newParams(), (QVariantMap{{"amount", 0.25}}));
        QVERIFY(cmd->canUndoRedo() && cmd->bUpdateEngine() && !cmd->isUndoPoint());

        const int before = TImpServer::requestQueue() ? TImpServer::requestQueue()->size() : 0;
        node.setParamsOnly({{"amount", 9.0}}, 1234);
        const QQueue<TCmd*>* queue = TImpServer::requestQueue();
        QVERIFY(queue);
        QCOMPARE(queue->size(), before + 1);
        auto* paramsOnly = dynamic_cast<TCmd_Params*>(queue->last());
        QVERIFY(paramsOnly);
        QCOMPARE(paramsOnly->uid(), 1234u);
        QVERIFY(!paramsOnly->canUndoRedo() && !paramsOnly->bUpdateEngine() && !paramsOnly->isUndoPoint());
        QCOMPARE(node.amount(), 0.25);
        TImpServer::discardQueue();
    }

    void setParamsAppliesKnownKeysAndQueuesOneCommandOfThem()
    {
        RecordingImproc node;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("invalid key:.*bogus"));
        node.setParams({{"bogus", 1}, {"amount", 0.75}, {"label", "sky"},
                        {"className", "Other"}, {"version", 7}, {"inputType", TImproc::STAMP}});
        QCOMPARE(node.amount(), 0.75);
        QCOMPARE(node.label(), QStringLiteral("sky"));
        QCOMPARE(node.className(), QStringLiteral("RecordingImproc"));
        QCOMPARE(node.version(), 1);
        QCOMPARE(node.inputType(), TImproc::NORMAL);
        // The setters ran with queueing suspended: one command carries the keys given, and
        // only those (the GUI's other values may be older than the worker's).
        QCOMPARE(node.commands.size(), size_t(1));
        const TCmd_Params* cmd = asParams(node.commands[0]);
        QVERIFY(cmd);
        QCOMPARE(cmd->newParams(), (QVariantMap{{"amount", node.params().value("amount")}, {"label", "sky"}}));
        // Queueing is back on afterwards.
        node.setAmount(0.5);
        QCOMPARE(node.commands.size(), size_t(2));
    }

    void enumPropertiesAcceptNumbersAndForeignEnums()
    {
        RecordingImproc node;
        node.setParams({{"mode", 1}});
        QCOMPARE(node.mode(), TImproc::LOWREZ);
        // Another enum type with the same numeric value, as presets read back from JSON carry.
        node.setParams({{"mode", QVariant::fromValue(TImproc::PROCERROR)}});
        QCOMPARE(node.mode(), TImproc::THUMBNAIL);
        node.editsReachedWorker(node.lastEditSerial());
        node.updateParamsFromWorker({{"mode", 3.0}});
        QCOMPARE(node.mode(), TImproc::NONE);
    }

    void undoPointsCollectChangesSinceTheLastOne()
    {
        RecordingImproc node;
        node.doneParams();
        node.setAmount(0.1);
        node.setLabel("a");
        node.commands.clear();
        node.setUndoPoint();
        QCOMPARE(node.commands.size(), size_t(1));
        const TCmd_Params* first = asParams(node.commands[0]);
        QVERIFY(first->isUndoPoint());
        QCOMPARE(first->newParams(), (QVariantMap{{"amount", 0.1}, {"label", "a"}}));

        node.setUndoPoint();
        const TCmd_Params* second = asParams(node.commands[1]);
        QVERIFY(second->isUndoPoint());
        QVERIFY(second->newParams().isEmpty());
    }

    void valuesFromTheWorkerMakeNoCommand()
    {
        RecordingImproc node;
        QSignalSpy spy(&node, &RecordingImproc::amountChanged);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("invalid key:.*unknown"));
        node.updateParamsFromWorker({{"amount", 3.0}, {"unknown", 1}});
        QCOMPARE(node.amount(), 3.0);
        QCOMPARE(spy.count(), 1);
        QVERIFY(node.commands.empty());
        node.setAmount(4.0);
        QCOMPARE(node.commands.size(), size_t(1));
    }

    void registryFollowsLifetimeAndChosenIds()
    {
        const int live = TImproc::liveCount();
        unsigned int uid = 0;
        {
            RecordingImproc node;
            uid = unsigned(node.uid());
            QVERIFY(uid != 0);
            QCOMPARE(TImproc::ptr(uid), &node);
            QCOMPARE(TImproc::liveCount(), live + 1);
            RecordingImproc rebuilt(nullptr, 987654);
            QCOMPARE(rebuilt.uid(), 987654);
            QCOMPARE(TImproc::ptr(987654), &rebuilt);
            QVERIFY(node.isRoot());
            RecordingImproc child(&node);
            QVERIFY(!child.isRoot());
        }
        QCOMPARE(TImproc::ptr(uid), nullptr);
        QCOMPARE(TImproc::ptr(987654), nullptr);
        QCOMPARE(TImproc::liveCount(), live);
    }

    void copiesItsTwinsValuesAsUnchanged()
    {
        RecordingImproc twin;
        twin.updateParamsFromWorker({{"amount", 0.5}});
        TImprocWorker worker(unsigned(twin.uid()), 0);
        QCOMPARE(worker.params(), twin.params());
        QVERIFY(!worker.isParamsChanged());
        QCOMPARE(worker.className(), QStringLiteral("RecordingImproc"));
        QCOMPARE(worker.nodeType(), int(TImproc::NORMAL));
    }

    // Only known keys are overwritten; changes count against the last snapshot.
    void changeDetection()
    {
        TImprocWorker worker(515152, 0);
        worker.defineParams({{"a", 1}, {"b", 2}});
        worker.clearParamsChange(QString());
        QVERIFY(!worker.isParamsChanged());

        worker.setParams({{"a", 5}, {"unknown", 3}});
        QCOMPARE(worker.params(), (QVariantMap{{"a", 5}, {"b", 2}}));
        QVERIFY(!worker.setParamValue("a", 5.000001));
        QVERIFY(!worker.paramValue("missing").isValid());
        QVERIFY(worker.isParamsChanged());
        QVERIFY(worker.isPmValueChanged("a"));
        QVERIFY(!worker.isPmValueChanged("b"));
        QVERIFY(worker.isPmValueChanged(QStringList{"b", "a"}));

        // A key added after the snapshot does not count as changed.
        QVERIFY(worker.setParamValue("late", 0.5f));
        QCOMPARE(worker.paramValue("late").toFloat(), 0.5f);
        QVERIFY(!worker.isPmValueChanged("late"));

        worker.clearParamsChange("a");
        QVERIFY(!worker.isPmValueChanged("a"));
        // "late" is still missing from the snapshot, so the whole map differs.
        QVERIFY(worker.isParamsChanged());
        worker.clearParamsChange(QString());
        QVERIFY(!worker.isParamsChanged());
    }

    void drawListsArePerTargetAndThreadSafe()
    {
        TImprocWorker worker(515153, 0);
        TDrawPoint p;
        p.which = "mask";
        const int perThread = 2000;
        QThread* writer = QThread::create([&worker, p, perThread] {
            for (int i = 0; i < perThread; ++i)
                worker.appendDrawCmds({p});
        });
        writer->start();
        int taken = 0;
        while (!writer->isFinished())
            taken += worker.takeDrawCmds("mask").size();
        writer->wait();
        delete writer;
        taken += worker.takeDrawCmds("mask").size();
        QCOMPARE(taken, perThread);
        // A merged draw command's redo appends all its points to its target's list.
        p.isBegin = true;
        TCmd_DrawCmd cmd(515153, p);
        p.isBegin = false;
        p.isEnd = true;
        TCmd_DrawCmd more(515153, p);
        QVERIFY(cmd.mergeWith(&more));
        cmd.redo();
        QCOMPARE(worker.drawCmds("mask").size(), 2);
        QCOMPARE(worker.takeDrawCmds("mask").size(), 2);

        TDrawPoint q;
        q.which = "other";
        worker.resetDrawCmds("other", {q, q});
        QCOMPARE(worker.drawCmds("other").size(), 2);
        QVERIFY(worker.drawCmds("mask").isEmpty());
    }

    void registryKeepsTheFirstWorkerOfAnId()
    {
        const int before = TImprocWorker::liveCount();
        auto* first = new TImprocWorker(616161, 0);
        QCOMPARE(TImprocWorker::ptr(616161), first);
        {
            TImprocWorker duplicate(616161, 0);
            QCOMPARE(TImprocWorker::ptr(616161), first);
            QTest::ignoreMessage(QtWarningMsg, "ERROR!!! - TImprocWorker::insertWorker - try to insert worker multiple times!!!");
            TImprocWorker::insertWorker(616161, &duplicate);
        }
        // The rejected duplicate's destruction must not unregister the first.
        QCOMPARE(TImprocWorker::ptr(616161), first);
        TImprocWorker::insertWorker(0, first);
        TImprocWorker::insertWorker(616162, nullptr);
        QCOMPARE(TImprocWorker::ptr(616162), nullptr);
        delete first;
        QCOMPARE(TImprocWorker::ptr(616161), nullptr);
        QCOMPARE(TImprocWorker::liveCount(), before);
    }

    void requestsTravelUpTheTreeInTheSameCall()
    {
        auto* root = new HostRootWorker(717171, 0);
        auto* middle = new TImprocWorker(717172, 717171);
        auto* leaf = new TImprocWorker(717173, 717172);
        QCOMPARE(leaf->parent(), middle);
        QCOMPARE(middle->parent(), root);
        leaf->emitUpdateReq(leaf, "tag", "_output_");
        // Direct connections: counted before emitUpdateReq returned.
        QCOMPARE(root->renders, 1);
        QCOMPARE(root->lastTag, QStringLiteral("tag"));
        delete root;
        QCOMPARE(TImprocWorker::ptr(717173), nullptr);
    }

    // The library's lines travel under their korvane.* category: warnings always reach the
    // application's message handler, debug lines only once a host turns them on.
    void warningsAlwaysDebugOnlyWhenTurnedOn()
    {
        const auto work = [] {
            TJson::stringToQMap(QString(QChar(0)));
            TImproc probe;
        };
        const QList<Line> byDefault = linesOf(work);
        QVERIFY(hasLine(byDefault, QtWarningMsg, "korvane.engine", "ERROR!!! TJson::stringToQMap"));
        QVERIFY(!hasLine(byDefault, QtDebugMsg, "korvane.engine", "TImproc created"));

        QLoggingCategory::setFilterRules(QStringLiteral("korvane.engine.debug=true"));
        const QList<Line> turnedOn = linesOf(work);
        QLoggingCategory::setFilterRules(QString());
        QVERIFY(hasLine(turnedOn, QtDebugMsg, "korvane.engine", "TImproc created"));
    }
};

KORVANE_TEST_CASE(TstTImproc)
#include "tst_timproc.moc"
