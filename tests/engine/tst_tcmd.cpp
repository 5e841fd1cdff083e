// Command merge rules and their undo/redo effect on worker maps, in the queue's and the
// undo history's use of mergeWith; the history's bounds and groups.

#include "korvanetest.h"

#include "engine/tcmd_drawcmd.h"
#include "engine/tcmd_params.h"
#include "engine/tcmd_saveimage.h"
#include "engine/tcmd_savethumbnail.h"
#include "engine/tcmd_update.h"
#include "engine/timprocworker.h"

#include "engine/tundohistory.h"

namespace {
TDrawPoint point(const QString& which, int layer, bool begin, bool end)
{
    return TDrawPoint{which, QPointF(), begin, end, layer, {}};
}
} // namespace

struct ParamsMergeRow { unsigned otherUid; bool firstIsUndoPoint; bool otherCanUndo; bool otherRenders; bool merges; };
Q_DECLARE_METATYPE(ParamsMergeRow)

struct DrawMergeRow { QString firstWhich; int firstLayer; bool firstBegin; bool firstEnd; QString otherWhich; int otherLayer; bool merges; };
Q_DECLARE_METATYPE(DrawMergeRow)

class TstTCmd : public QObject
{
    Q_OBJECT
private slots:
    void paramsMerge_data()
    {
        QTest::addColumn<ParamsMergeRow>("row");
        QTest::newRow("same object") << ParamsMergeRow{5u, false, true, true, true};
        QTest::newRow("other object") << ParamsMergeRow{6u, false, true, true, false};
        QTest::newRow("closed by an undo point") << ParamsMergeRow{5u, true, true, true, false};
        // A parameters-only command must not absorb a user edit, or the edit would
        // neither render nor become an undo step.
        QTest::newRow("no undo on the other") << ParamsMergeRow{5u, false, false, true, false};
        QTest::newRow("no render on the other") << ParamsMergeRow{5u, false, true, false, false};
    }
    void paramsMerge()
    {
        QFETCH(ParamsMergeRow, row);
        const auto& [otherUid, firstIsUndoPoint, otherCanUndo, otherRenders, merges] = row;
        TCmd_Params first(5, {{"a", 1}, {"b", 1}}, firstIsUndoPoint, true, true);
        TCmd_Params other(otherUid, {{"a", 2}}, true, otherCanUndo, otherRenders);
        QCOMPARE(first.mergeWith(&other), merges);
        QCOMPARE(first.newParams().value("a").toInt(), merges ? 2 : 1);
        if (merges)
            QVERIFY(first.isUndoPoint());
    }

    void paramsMergeKeepsOldestOldValues()
    {
        TImprocWorker worker(424242, 0);
        worker.defineParams({{"a", 0}, {"b", 0}});
        TUndoHistory stack(200, qint64(1) << 30);
        // Edits a, b, a then an undo point: one undo step restoring both keys.
        stack.push(new TCmd_Params(424242, {{"a", 1}}, false, true, true));
        stack.push(new TCmd_Params(424242, {{"b", 5}}, false, true, true));
        stack.push(new TCmd_Params(424242, {{"a", 2}}, false, true, true));
        stack.push(new TCmd_Params(424242, {}, true, true, true));
        QCOMPARE(stack.count(), 1);
        QCOMPARE(worker.params(), (QVariantMap{{"a", 2}, {"b", 5}}));
        stack.undo();
        QCOMPARE(worker.params(), (QVariantMap{{"a", 0}, {"b", 0}}));
        stack.redo();
        QCOMPARE(worker.params(), (QVariantMap{{"a", 2}, {"b", 5}}));
        // The next edit after the undo point starts a new step.
        stack.push(new TCmd_Params(424242, {{"a", 3}}, false, true, true));
        QCOMPARE(stack.count(), 2);
    }

    // Past either bound the oldest steps go, and what stays still undoes to its own values.
    void historyDropsOldestStepsPastEitherBound_data()
    {
        QTest::addColumn<int>("stepLimit");
        QTest::addColumn<double>("byteLimitInSteps");
        QTest::addColumn<int>("kept");
        QTest::newRow("step limit") << 3 << 1000.0 << 3;
        QTest::newRow("byte limit") << 100 << 5.5 << 5;
        QTest::newRow("the newest step stays, however large") << 100 << 0.01 << 1;
    }
    void historyDropsOldestStepsPastEitherBound()
    {
        QFETCH(int, stepLimit);
        QFETCH(double, byteLimitInSteps);
        QFETCH(int, kept);
        TImprocWorker worker(424245, 0);
        worker.defineParams({{"a", 0}});
        const auto edit = [](int i) { return new TCmd_Params(424245, {{"a", i}}, true, true, true); };
        TUndoHistory probe(1, qint64(1) << 30);
        probe.push(edit(0));
        const qint64 byteLimit = qint64(byteLimitInSteps * double(probe.bytes()));
        TUndoHistory history(stepLimit, byteLimit);
        for (int i = 1; i <= 10; ++i)
            history.push(edit(i));
        QCOMPARE(history.count(), kept);
        QVERIFY(history.bytes() <= byteLimit || kept == 1);
        while (history.canUndo())
            history.undo();
        QCOMPARE(worker.paramValue("a").toInt(), 10 - kept);
    }

    void aGroupIsOneStepAndANewEditDropsTheRedoBranch()
    {
        TImprocWorker worker(424246, 0);
        worker.defineParams({{"a", 0}, {"b", 0}});
        TUndoHistory history(200, qint64(1) << 30);
        history.beginGroup();
        history.push(new TCmd_Params(424246, {{"a", 1}}, true, true, true));
        history.push(new TCmd_Params(424246, {{"b", 2}}, true, true, true));
        history.endGroup();
        history.push(new TCmd_Params(424246, {{"a", 3}}, true, true, true));
        QCOMPARE(history.count(), 2);
        history.undo();
        history.undo();
        QCOMPARE(worker.params(), (QVariantMap{{"a", 0}, {"b", 0}}));
        history.redo();
        QCOMPARE(worker.params(), (QVariantMap{{"a", 1}, {"b", 2}}));
        history.push(new TCmd_Params(424246, {{"b", 4}}, true, true, true));
        QCOMPARE(history.count(), 2);
        QVERIFY(!history.canRedo());
    }

    // Keys the worker lacks are added on redo; commands whose worker is gone do nothing.
    void paramsRedoAddsKeysTheWorkerLacks()
    {
        TImprocWorker worker(424243, 0);
        worker.defineParams({{"a", 0}});
        TCmd_Params cmd(424243, {{"a", 1}, {"fresh", 7}}, false, true, true);
        cmd.redo();
        QCOMPARE(worker.params(), (QVariantMap{{"a", 1}, {"fresh", 7}}));
        cmd.undo();
        QCOMPARE(worker.paramValue("a").toInt(), 0);
        QCOMPARE(worker.paramValue("fresh").toInt(), 7);

        TCmd_Params orphan(77777777, {{"a", 1}}, false, true, true);
        orphan.redo();
        orphan.undo();
        TCmd_DrawCmd(77777777, point("m", 0, true, true)).redo();
        QVERIFY(orphan.oldParams().isEmpty());
    }

    void drawMerge_data()
    {
        QTest::addColumn<DrawMergeRow>("row");
        QTest::newRow("same stroke") << DrawMergeRow{"mask", 1, true, false, "mask", 1, true};
        QTest::newRow("other layer") << DrawMergeRow{"mask", 1, true, false, "mask", 2, false};
        QTest::newRow("other target") << DrawMergeRow{"mask", 1, true, false, "paint", 1, false};
        QTest::newRow("after a stroke end") << DrawMergeRow{"mask", 1, false, true, "mask", 1, false};
        QTest::newRow("after a single-point stroke") << DrawMergeRow{"mask", 1, true, true, "mask", 1, true};
    }
    void drawMerge()
    {
        QFETCH(DrawMergeRow, row);
        const auto& [firstWhich, firstLayer, firstBegin, firstEnd, otherWhich, otherLayer, merges] = row;
        TCmd_DrawCmd first(9, point(firstWhich, firstLayer, firstBegin, firstEnd));
        TCmd_DrawCmd other(9, point(otherWhich, otherLayer, false, false));
        QCOMPARE(first.mergeWith(&other), merges);
        QCOMPARE(first.points().size(), merges ? 2 : 1);
        TCmd_DrawCmd otherObject(10, point(firstWhich, firstLayer, false, false));
        QVERIFY(!TCmd_DrawCmd(9, point(firstWhich, firstLayer, true, false)).mergeWith(&otherObject));
    }

    void savesMergeOnlyWhenIdentical()
    {
        const QUrl a = QUrl::fromLocalFile("/tmp/a.jpg");
        TCmd_SaveImage first(3, a, {{"quality", 90}});
        for (const auto& [root, url, quality, merges] : {std::tuple{3u, a, 90, true}, {3u, QUrl::fromLocalFile("/tmp/b.jpg"), 90, false},
                                                         {3u, a, 50, false}, {4u, a, 90, false}}) {
            TCmd_SaveImage other(root, url, {{"quality", quality}});
            QCOMPARE(first.mergeWith(&other), merges);
        }
        TCmd_SaveThumbnail thumb(3, "/tmp/t.png");
        TCmd_SaveThumbnail sameThumb(3, "/tmp/t.png");
        TCmd_SaveThumbnail otherThumb(3, "/tmp/u.png");
        QVERIFY(thumb.mergeWith(&sameThumb));
        QVERIFY(!thumb.mergeWith(&otherThumb));
        QVERIFY(!thumb.mergeWith(&first));
    }
};

KORVANE_TEST_CASE(TstTCmd)
#include "tst_tcmd.moc"
