// Render-side workers: their parameter maps and change detection, the draw lists, the
// id registry and the request path up the worker tree. Map semantics need no GL, so
// these workers are built on the test thread.

#include "testnodes.h"
#include "korvanetest.h"

#include <QThread>

class TstTImprocWorker : public QObject
{
    Q_OBJECT
private slots:
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

    void setParamsOverwritesOnlyKnownKeys()
    {
        TImprocWorker worker(515151, 0);
        worker.defineParams({{"a", 1}, {"b", 2}});
        worker.setParams({{"a", 10}, {"unknown", 3}});
        QCOMPARE(worker.params(), (QVariantMap{{"a", 10}, {"b", 2}}));
        QVERIFY(!worker.setParamValue("a", 10.000001));
        QVERIFY(worker.setParamValue("c", 0.5f));
        QCOMPARE(worker.paramValue("c").toFloat(), 0.5f);
        QVERIFY(!worker.paramValue("missing").isValid());
    }

    void changeDetection()
    {
        TImprocWorker worker(515152, 0);
        worker.defineParams({{"a", 1}, {"b", 2}});
        worker.clearParamsChange(QString());
        QVERIFY(!worker.isParamsChanged());

        worker.setParams({{"a", 5}});
        QVERIFY(worker.isParamsChanged());
        QVERIFY(worker.isPmValueChanged("a"));
        QVERIFY(!worker.isPmValueChanged("b"));
        QVERIFY(worker.isPmValueChanged(QStringList{"b", "a"}));

        // A key added after the snapshot does not count as changed.
        worker.setParamValue("late", 1.0);
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
        auto* root = new CountingRootWorker(717171, 0);
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
};

KORVANE_TEST_CASE(TstTImprocWorker)
#include "tst_timprocworker.moc"
