// The effect: its request queue, processing on the real render thread against the CPU model
// of the test effect (GL_RGBA16F working format: 2/1024 relative plus 16-bit rounding),
// caching, failures, preset thumbnails that leave the live effect alone, presets, undo; and
// an effect declared in QML before its server, driven end to end.

#include "effectanswer.h"
#include "korvanetest.h"
#include "pixelview.h"
#include "testbceffect.h"
#include "testhost.h"
#include "testtreelayer.h"

#include "effects/tefactory.h"
#include "effects/teffectrequestqueue.h"
#include "effects/tenodeempty.h"
#include "engine/timpserver.h"
#include "engine/tjson.h"

#include <QMetaMethod>
#include <QPointer>
#include <opencv2/imgproc.hpp>

namespace {
// One pass through GL_RGBA16F: the upload rounds to a half-float step and the pass's write
// truncates to one (llvmpipe), each at most 1/1024 of the value.
constexpr double kRelative = 2.0 / 1024;

// A 16-bit image of fixed noise, alpha varying too when there are four channels.
cv::Mat photo(int w, int h, int channels = 4)
{
    cv::Mat m(h, w, CV_16UC(channels));
    cv::RNG(uint64(w * h * channels)).fill(m, cv::RNG::UNIFORM, 0, 65536);
    return m;
}

// The test effect's formula on 16-bit values (colour channels; alpha kept), unclamped, in
// [0, 1] units (CV_32F); `toUshort` clamps it as a read-back does.
cv::Mat brightnessContrast(const cv::Mat& in, double b, double c, double extra = 0)
{
    cv::Mat out;
    in.convertTo(out, CV_32F, 1.0 / 65535);
    const int n = in.channels();
    for (int i = 0; i < int(in.total()) * n; ++i) {
        if (n != 4 || i % 4 != 3)
            out.ptr<float>()[i] = float((out.ptr<float>()[i] - 0.5) * c + b + 0.5 + extra);
    }
    return out;
}

cv::Mat toUshort(const cv::Mat& m)
{
    cv::Mat out;
    m.convertTo(out, CV_16U, 65535);
    return out;
}

// How far `got` strays beyond the tolerance from `want`, in the values' unit (0: within).
// Half-float steps scale with the value a pass read as well as the one it wrote, so the
// input `in` (same layout and unit) counts too. `unit` is one step of the type.
double beyondTolerance(const cv::Mat& got, const cv::Mat& want, const cv::Mat& in, double unit)
{
    if (got.size() != want.size() || got.type() != want.type() || in.size() != want.size())
        return 1e9;
    cv::Mat g, w, x;
    got.convertTo(g, CV_64F);
    want.convertTo(w, CV_64F);
    in.convertTo(x, CV_64F);
    const cv::Mat excess = cv::abs(g - w) - ((cv::abs(w) + cv::abs(x)) * kRelative + 2 * unit);
    double worst = 0;
    cv::minMaxLoc(excess.reshape(1), nullptr, &worst);
    return std::max(0.0, worst);
}

// One spy per signal of `o` but the request to the worker.
std::vector<std::unique_ptr<QSignalSpy>> spyAll(QObject* o)
{
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    const QMetaObject* mo = o->metaObject();
    for (int i = 0; i < mo->methodCount(); ++i) {
        const QMetaMethod m = mo->method(i);
        const bool request = m.name() == "reqProc" || m.name() == "isBusyChanged";
        if (m.methodType() == QMetaMethod::Signal && m.access() == QMetaMethod::Public && !request)
            spies.push_back(std::make_unique<QSignalSpy>(o, ("2" + m.methodSignature()).constData()));
    }
    return spies;
}

QVariantMap request(const QString& tag, const QString& mode, const QVariantList& commands = {})
{
    QVariantMap r{{"reqTag", tag}, {"procMode", mode}};
    if (!commands.isEmpty())
        r.insert("commands", commands);
    return r;
}
} // namespace

struct FailureRow { QString failWith; bool cancel; int inputType; QString message; };
Q_DECLARE_METATYPE(FailureRow)

class TstTEffect : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(GpuFixture::renderThread());
        TestBCEffect::registerClass();
        TestTreeLayer::registerClass();
    }

    void queueCoalescesPreviewsParksPresetsAndCancelsTheFirst()
    {
        const QString preview = TEffectRequestQueue::kPreviewTag;
        TEffectRequestQueue q;
        q.appendPreview(request(preview, "PREVIEW", {"a"}));
        q.append(request(TEffectRequestQueue::kOutputTag, "OUTPUT"));
        q.appendPreview(request(preview, "PREVIEW", {"b"}));
        q.appendPreview(request(preview, "PREVIEW", {"c"})); // replaces "b", keeping its commands first
        q.appendPreset(request("p1", "PRESET"), true);
        q.appendPreset(request("p2", "PRESET"), true);
        q.appendPreset(request("p1", "PRESET"), true);
        q.cancelFirst("p1");
        q.park();
        q.appendPreset(request("p3", "PRESET"), false);
        QCOMPARE(q.parked(), 3);
        q.unpark();
        QStringList order;
        QVariantMap r;
        while (q.takeFirst(r))
            order << r.value("reqTag").toString() + ":" + r.value("commands").toStringList().join("");
        QCOMPARE(order, QStringList({preview + ":a", "-:OUTPUT:-:", preview + ":bc", "p2:", "p1:", "p3:"}));
    }

    void previewsCoalesceAndTheTimeoutFreesTheQueue()
    {
        TestBCEffect effect;
        QSignalSpy sent(&effect, &TEffect::reqProc);
        QSignalSpy done(&effect, &TEffect::procDone);
        for (int i = 0; i < 10; ++i)
            effect.procPreview(false);
        QTRY_COMPARE(done.count(), 1);
        QTest::qWait(50);
        QCOMPARE(sent.count(), 1);
        QVERIFY(done.last().at(1).toBool()); // no input: nothing to draw, and no error
        // A worker that seems stuck: the timeout sends the next request; the late answer
        // is still taken.
        effect.procOutput();
        effect.procOutput();
        QVERIFY(effect.isBusy());
        effect.procDeadlockTimeout();
        QCOMPARE(sent.count(), 3);
        QTRY_COMPARE(done.count(), 3);
        QVERIFY(!effect.isBusy());

        const cv::Mat none;
        for (const auto& [size, expected] : {std::pair{QSize(6000, 4000), 11}, {QSize(300, 200), 1}, {QSize(), 4}}) {
            effect.setInput(size.isEmpty() ? TSMat() : TSMat(cv::Mat(size.height(), size.width(), CV_8UC1)));
            QCOMPARE(effect.presetDecimation(), expected);
        }
    }

    void outputFollowsTheFormula_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<double>("brightness");
        QTest::addColumn<double>("contrast");
        QTest::newRow("four channels keep their alpha") << 4 << 0.1 << 1.3;
        QTest::newRow("identity") << 4 << 0.0 << 1.0;
        QTest::newRow("three channels stay three") << 3 << -0.2 << 0.7;
    }
    void outputFollowsTheFormula()
    {
        QFETCH(int, channels);
        QFETCH(double, brightness);
        QFETCH(double, contrast);
        TestBCEffect effect;
        const cv::Mat in = photo(64, 48, channels);
        effect.setInput(TSMat(in));
        effect.setBrightness(float(brightness));
        effect.setContrast(float(contrast));
        QSignalSpy progress(&effect, &TEffect::blockingBusy);
        const Answer a = answerTo(effect, [&] { effect.procOutput(); });
        QVERIFY2(a.ok, qPrintable(a.message));
        QCOMPARE(progress.count(), 1);
        QCOMPARE(beyondTolerance(effect.output().mat(), toUshort(brightnessContrast(in, brightness, contrast)), in, 1), 0.0);
    }

    // doProc runs only when its own inputs change; the tree composes as "serialInput" says.
    void cachedResultsAndTheTree_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::newRow("tree on the effect's result") << true;
        QTest::newRow("tree on the input") << false;
    }
    void cachedResultsAndTheTree()
    {
        QFETCH(bool, serial);
        TestBCEffect effect;
        const cv::Mat in = photo(32, 24, 3);
        effect.setInput(TSMat(in));
        effect.setBrightness(0.2f);
        effect.rootNode()->setserialInput(serial);
        QVERIFY(effect.rootNode()->insertChild(0, QStringLiteral("TestTreeLayer")));
        auto* layer = qobject_cast<TestTreeLayer*>(effect.rootNode()->child(0));
        const int before = TestBCEffectWorker::s_doProcs;
        for (float b : {0.1f, 0.1f, 0.05f}) {
            layer->setBrightness(b);
            QVERIFY(answerTo(effect, [&] { effect.procOutput(); }).ok);
            const cv::Mat want = toUshort(brightnessContrast(in, serial ? 0.2 : 0, 1, b));
            QCOMPARE(beyondTolerance(effect.output().mat(), want, in, 1), 0.0);
        }
        QCOMPARE(TestBCEffectWorker::s_doProcs - before, 1);
        effect.setInput(TSMat(photo(32, 24, 3)));
        QVERIFY(answerTo(effect, [&] { effect.procOutput(); }).ok);
        QCOMPARE(TestBCEffectWorker::s_doProcs - before, 2);
    }

    void failuresLeaveTheOutputAlone_data()
    {
        QTest::addColumn<FailureRow>("row");
        QTest::newRow("a half-made image with an error") << FailureRow{"broken", false, int(CV_16UC4), "broken"};
        QTest::newRow("cancelled half-way") << FailureRow{"", true, int(CV_16UC4), ""};
        QTest::newRow("an input the GPU cannot take") << FailureRow{"", false, int(CV_64FC2), "the GPU cannot take"};
    }
    void failuresLeaveTheOutputAlone()
    {
        QFETCH(FailureRow, row);
        const auto& [failWith, cancel, inputType, message] = row;
        TestBCEffect effect;
        effect.setInput(TSMat(photo(16, 16)));
        QVERIFY(answerTo(effect, [&] { effect.procOutput(); }).ok);
        const TSMat good = effect.output();
        effect.setFailWith(failWith);
        effect.setCancelHalfway(cancel);
        if (inputType != CV_16UC4)
            effect.setInput(TSMat(cv::Mat(16, 16, inputType, cv::Scalar::all(0.5))));
        const Answer a = answerTo(effect, [&] { effect.procOutput(); });
        QVERIFY(!a.ok);
        QVERIFY2(message.isEmpty() ? a.message.isEmpty() : a.message.contains(message), qPrintable(a.message));
        QVERIFY(effect.output() == good);
    }

    // A thumbnail of a preset whose root and second layer are of other classes: nothing live
    // changes or signals, and it shows what applying the preset would show.
    void presetThumbnailsTouchNothingLive()
    {
        TestBCEffect effect;
        const cv::Mat in = photo(32, 24);
        effect.setInput(TSMat(in));
        TTreeNode* root = effect.rootNode();
        for (int i = 0; i < 3; ++i) {
            QVERIFY(root->insertChild(i, QStringLiteral("TestTreeLayer")));
            qobject_cast<TestTreeLayer*>(root->child(i))->setBrightness(0.1f * i);
        }
        PixelView layerThumbnail;
        root->child(0)->setThumbnailViewerUid(layerThumbnail.uid());
        QVERIFY(answerTo(effect, [&] { effect.procPreview(true); }).ok);
        QCOMPARE(layerThumbnail.draws, 1);
        QVariantMap preset = effect.getPreset();
        preset["brightness"] = 0.3;
        QVariantMap tree = preset["_treeRoot_"].toMap();
        tree["className"] = "TTreeNodeLayer";
        QVariantList layers = tree["_children_"].toList();
        layers[1] = QVariantMap{{"className", "TENodeEmpty"}};
        tree["_children_"] = layers;
        preset["_treeRoot_"] = tree;

        const QVariantMap stateBefore = effect.allStateData();
        QList<QPointer<TTreeNode>> nodes{root};
        std::vector<std::unique_ptr<QSignalSpy>> spies = spyAll(&effect);
        for (TTreeNode* n : {root, root->child(0), root->child(1), root->child(2)}) {
            nodes << n;
            for (auto& s : spyAll(n))
                spies.push_back(std::move(s));
        }
        bool reentered = false;
        connect(root, &TTreeNode::childrenChanged, this, [&] { reentered = true; effect.procPreview(true); });
        const int objects = TEBase::liveCount();
        const int workers = TEBaseWorker::liveCount();
        QSignalSpy thumbnail(&effect, &TEffect::presetImage);
        QCOMPARE(effect.procPreset("look", preset), QString());
        for (const auto& s : spies)
            QCOMPARE(s->count(), 0);
        QVERIFY(thumbnail.wait(20000));
        QCOMPARE(thumbnail.last().at(0).toString(), QStringLiteral("look"));
        QVERIFY(!reentered);
        // A live layer's thumbnail shows the live look only, whether or not the preset has a tree.
        QCOMPARE(effect.procPreset("plain", {{"className", "TestBCEffect"}, {"brightness", 0.5}}), QString());
        QVERIFY(thumbnail.wait(20000));
        QCOMPARE(layerThumbnail.draws, 1);
        QCOMPARE(effect.rootNode(), root);
        QCOMPARE(effect.allStateData(), stateBefore);
        for (const QPointer<TTreeNode>& n : nodes)
            QVERIFY(n);
        QTRY_COMPARE(TEBase::liveCount(), objects);
        QTRY_COMPARE(TEBaseWorker::liveCount(), workers);

        TestBCEffect applied;
        applied.setInput(TSMat(in));
        QCOMPARE(applied.setPreset(preset), QString());
        QVERIFY(answerTo(applied, [&] { applied.procOutput(); }).ok);
        QCOMPARE(beyondTolerance(thumbnail.first().at(1).value<TSMat>().mat(), applied.output().mat(), in, 1), 0.0);
        QCOMPARE(effect.procPreset("x", QVariantMap{{"className", "Other"}}),
                 QStringLiteral("Preset Error: className mismatch: Other TestBCEffect"));
        QCOMPARE(effect.waitingRequests(), 0);
    }

    void presetsConvertAndTravelAsJson()
    {
        TestBCEffect effect;
        QVERIFY(effect.rootNode()->insertChild(0, QStringLiteral("TestTreeLayer")));
        QVERIFY(effect.rootNode()->insertChild(1, QStringLiteral("TENodeEmpty")));
        const QVariantMap old = TJson::stringToQMap(
            R"({"className": "TestBCEffect", "version": 100, "light": 0.25,
                "_treeRoot_": {"className": "TTreeNodeLayer", "_children_": [
                    {"className": "TestTreeLayer", "brightness": 0.5}, {"className": "TENodeEmpty"}]}})");
        TTreeNode* firstLayer = effect.rootNode()->child(0);
        QCOMPARE(effect.setPreset(old), QString());
        QCOMPARE(effect.brightness(), 0.25f);
        QCOMPARE(effect.contrast(), 1.0f);
        QCOMPARE(effect.rootNode()->className(), QStringLiteral("TTreeNodeLayer"));
        QCOMPARE(effect.rootNode()->child(0), firstLayer); // moved over, in order
        QCOMPARE(qobject_cast<TestTreeLayer*>(firstLayer)->brightness(), 0.5f);

        TestBCEffect fresh;
        QCOMPARE(fresh.setPreset(TJson::stringToQMap(TJson::qmapToString(effect.getPreset()))), QString());
        QCOMPARE(fresh.getPreset(), effect.getPreset());
        const QVariantMap before = fresh.getPreset();
        QCOMPARE(fresh.setPreset({{"className", "TestBCEffect"}, {"_treeRoot_", QVariantMap()}}),
                 QStringLiteral("ERROR: root has no className: "));
        QCOMPARE(fresh.setPreset({{"className", "Other"}}),
                 QStringLiteral("Preset Error: className mismatch: Other TestBCEffect"));
        QCOMPARE(fresh.getPreset(), before);
    }

    void undoRestoresStatesAndDropsTheRedoBranch()
    {
        TestBCEffect effect;
        QVERIFY(effect.rootNode()->insertChild(0, QStringLiteral("TestTreeLayer")));
        auto* layer = qobject_cast<TestTreeLayer*>(effect.rootNode()->child(0));
        const uint rootUid = effect.rootNode()->uid();
        effect.setUndoPoint();
        QVERIFY(!effect.canUndo());
        QCOMPARE(effect.undo(), QVariantMap());
        for (float b : {0.1f, 0.2f, 0.3f}) {
            effect.setBrightness(b);
            layer->setBrightness(b);
            effect.setUndoPoint();
        }
        QCOMPARE(effect.undo(), QVariantMap());
        QCOMPARE(effect.undo(), QVariantMap());
        QCOMPARE(effect.brightness(), 0.1f);
        QCOMPARE(layer->brightness(), 0.1f);
        QCOMPARE(effect.rootNode()->uid(), rootUid);
        QVERIFY(effect.canRedo());
        effect.setBrightness(0.9f);
        effect.setUndoPoint();
        QCOMPARE(effect.getNumUndos(), 3);
        QVERIFY(!effect.canRedo());
        QCOMPARE(effect.redo(), QVariantMap());
    }
};

// An effect declared in QML before its server previews once the server has a context, then
// answers an output, a preset thumbnail, undo and redo, and lets the host quit.
class TstEffectInQml : public QObject
{
    Q_OBJECT
private slots:
    void endToEnd()
    {
        TestHost::registerClasses();
        TestBCEffect::registerClass();
        qmlRegisterType<TestBCEffect>("KorvaneTest", 1, 0, "TestBCEffect");
        PixelView view;
        const cv::Mat in = photo(64, 48);
        TestHost host;
        const QByteArray qml = "import QtQuick 2.12\nimport Korvane 1.0\nimport KorvaneTest 1.0\n"
                               "Item { width: 64; height: 48\n"
                               "  property alias effect: fx\n"
                               "  TestBCEffect { id: fx; brightness: 0.1; input: photo; previewerUid: viewUid;"
                               " decimation: 4\n"
                               "    Component.onCompleted: procPreview(true) }\n"
                               "  TImpServer { anchors.fill: parent } }\n";
        std::unique_ptr<QQuickView> shown =
            host.show(qml, {{"photo", QVariant::fromValue(TSMat(in))}, {"viewUid", view.uid()}});
        QVERIFY(shown);
        auto* effect = qobject_cast<TestBCEffect*>(shown->rootObject()->property("effect").value<QObject*>());
        QVERIFY(effect);
        // Asked before the server had a context: it waited for one instead of drawing nothing,
        // and shows the box-reduced input processed.
        QTRY_COMPARE_WITH_TIMEOUT(view.draws, 1, 20000);
        cv::Mat reduced, seen;
        cv::resize(in, reduced, cv::Size(16, 12), 0, 0, cv::INTER_AREA);
        reduced.convertTo(seen, CV_32F, 1.0 / 65535);
        QCOMPARE(beyondTolerance(view.last, brightnessContrast(reduced, 0.1, 1), seen, 1.0 / 65535), 0.0);
        // The answer awaited next is the output's, not that of a preview still finishing.
        QTRY_VERIFY(!effect->isBusy());
        QVERIFY(answerTo(*effect, [&] { effect->procOutput(); }).ok);
        QCOMPARE(beyondTolerance(effect->output().mat(), toUshort(brightnessContrast(in, 0.1, 1)), in, 1), 0.0);
        QSignalSpy thumbnail(effect, &TEffect::presetImage);
        QCOMPARE(effect->procPreset("dark", {{"className", "TestBCEffect"}, {"version", 102}, {"brightness", -0.2}}), QString());
        QVERIFY(thumbnail.wait(20000));
        QCOMPARE(beyondTolerance(thumbnail.last().at(1).value<TSMat>().mat(), toUshort(brightnessContrast(in, -0.2, 1)), in, 1), 0.0);
        effect->setUndoPoint();
        effect->setBrightness(0.3f);
        effect->setUndoPoint();
        effect->undo();
        QCOMPARE(effect->brightness(), 0.1f);
        effect->redo();
        QCOMPARE(effect->brightness(), 0.3f);
        QSignalSpy quit(effect, &TEffect::readyToQuit);
        effect->procOutput();
        effect->prepareToQuit();
        QVERIFY(quit.wait(20000));
        QSignalSpy sent(effect, &TEffect::reqProc);
        effect->procPreview(true);
        effect->procOutput();
        QCOMPARE(effect->procPreset("late", {{"className", "TestBCEffect"}}), QString());
        QCOMPARE(sent.count(), 0);
    }
};

KORVANE_TEST_CASE(TstTEffect)
KORVANE_ISOLATED_TEST_CASE(TstEffectInQml)
#include "tst_teffect.moc"
