// Effect bookkeeping and layer-tree walks against the GPU work they steer, all at the preview
// size of 1600 x 1067 and measured in the same run:
// - one request's state update and change detection (30 parameters, ten groups) beside one
//   copy pass: under 1/50 of it;
// - one request's tree bookkeeping for a 20-node tree (tree state out and back in on the GUI
//   side, every node's state and change detection on the render side): under 1/20 of it;
// - the walk of a 10-layer tree beside its passes run alone (ten own passes and ten blends;
//   with spot selections, ten selection passes and ten masked blends): at most 1.2 times;
// - the default empty tree over an effect's own result: no pass, under 1/20 of a copy.
// Then an effect driven as QML drives it, over a 6000 x 4000 input, beside the same passes
// or operations run alone (see effectRequests and maskedEffectRequests), and the brush mask
// (see brushmaskbench.h).
// Usage: xvfb-run -a -s "-screen 0 1920x1080x24" bench_effects [runs]

#include "brushmaskbench.h"
#include "renderthreadbench.h"

#include "effects/tebase.h"
#include "effects/tebaseworker.h"
#include "effects/tefactory.h"
#include "effects/teffect.h"
#include "effects/teffectmask.h"
#include "effects/teffectmaskdrawtriangle.h"
#include "effects/teffectmaskworker.h"
#include "effects/teffectworker.h"
#include "effects/tenodeempty.h"
#include "effects/ttreenodelayerworker.h"
#include "gpu/glblendmode.h"
#include "gpu/glimfilter.h"
#include "gpu/glprog.h"
#include "gpu/glmaskblend.h"
#include "gpu/tselection.h"
#include "gpu/tsfbo.h"
#include "engine/tdrawtexturebase.h"
#include "engine/timpserver.h"
#include "io/korvane.h"

#include <QEventLoop>
#include <QOpenGLFunctions_3_3_Core>
#include <QTimer>
#include <opencv2/imgproc.hpp>

#include <QElapsedTimer>
#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

constexpr int kParamCount = 30;
constexpr int kGroups = 10;
constexpr int kRequests = 2000;
int g_runs = 5;

class ThirtyParams : public TEBase
{
public:
    ThirtyParams()
    {
        for (int i = 0; i < kParamCount; ++i)
            registerParam(QStringLiteral("p%1").arg(i), float(i) / kParamCount);
        finalizeConstructor(QStringLiteral("ThirtyParams"), ver(1, 0));
    }
    // A slider drag: one parameter moves per request.
    void drag(int step) { setParam(QStringLiteral("p%1").arg(step % kParamCount), float(step) * 1e-3f); }
};

class BookkeepingWorker : public TEBaseWorker
{
public:
    using TEBaseWorker::TEBaseWorker;
    // What a worker does per request before deciding what to recompute.
    int take(const QVariantMap& state, const QList<QStringList>& groups)
    {
        setStateData(state);
        int changed = 0;
        for (const QStringList& g : groups)
            changed += isPmValueChanged(g) ? 1 : 0;
        clearParamsChanges();
        return changed;
    }
};

// A layer whose own step is one brightness pass.
class BenchLayer : public TTreeNodeLayer
{
public:
    explicit BenchLayer(QObject* parent = nullptr)
        : TTreeNodeLayer(parent)
    {
        finalizeConstructor(QStringLiteral("BenchLayer"), ver(1, 0));
    }
};

QString brighten(TSFbo& io)
{
    GLImFilter shift(QStringLiteral(":/korvane/glshaders/testbc.frag"));
    shift.setUniformValue(QStringLiteral("brightness"), 0.05f);
    shift.setUniformValue(QStringLiteral("contrast"), 1.0f);
    TSFbo out(io.size(), io.internalFormat());
    shift.proc(io, out);
    io = out;
    return QString();
}

class BenchLayerWorker : public TTreeNodeLayerWorker
{
public:
    using TTreeNodeLayerWorker::TTreeNodeLayerWorker;

protected:
    QString doProc(TSFbo& io) override { return brighten(io); }
};

using Clock = RenderThreadBench::Timing;

void printRatio(const char* what, double ms, double referenceMs, const char* target)
{
    std::printf("%-60s %10.3f ms, %.3f of the reference %.3f ms (target: %s)\n", what, ms, ms / referenceMs,
                referenceMs, target);
}

void treeWalks(const Clock& copy)
{
    TEFactory::registerClass(
        QStringLiteral("BenchLayer"), [](TEBase* parent) -> TEBase* { return new BenchLayer(parent); },
        [](const QString& name, uint uid, uint parentUid) -> TEBaseWorker* {
            return new BenchLayerWorker(name, uid, parentUid);
        });
    // Bookkeeping of a 20-node tree: the root, 7 layers, 12 layers below four of them.
    {
        TENodeEmpty root;
        for (int i = 0; i < 4; ++i) {
            root.insertChild(i, QStringLiteral("TTreeNodeLayer"));
            for (int j = 0; j < 3; ++j)
                root.child(i)->insertChild(j, QStringLiteral("TTreeNodeLayer"));
        }
        root.insertChild(4, QStringLiteral("TTreeNodeLayer"));
        root.insertChild(5, QStringLiteral("TTreeNodeLayer"));
        root.insertChild(6, QStringLiteral("TTreeNodeLayer"));
        const QList<QStringList> groups{{"opacity", "blendMode"}, {"translate", "scale", "rotate"},
                                        {"selType", "selPosition", "selSize"}};
        std::vector<std::unique_ptr<BookkeepingWorker>> workers;
        std::function<void(const QVariantMap&)> makeWorkers = [&](const QVariantMap& state) {
            workers.push_back(std::make_unique<BookkeepingWorker>(TEBase::className(state), TEBase::uid(state), 0));
            for (const QVariant& c : state.value(TTreeNode::kChildren).toList())
                makeWorkers(c.toMap());
        };
        makeWorkers(root.treeState());
        std::function<void(const QVariantMap&, size_t&)> takeAll = [&](const QVariantMap& state, size_t& i) {
            QVariantMap own = state;
            own.remove(TTreeNode::kChildren);
            workers[i++]->take(own, groups);
            for (const QVariant& c : state.value(TTreeNode::kChildren).toList())
                takeAll(c.toMap(), i);
        };
        const Clock bookkeeping = RenderThreadBench::measure(g_runs, [&] {
            for (int r = 0; r < 100; ++r) {
                qobject_cast<TTreeNodeLayer*>(root.child(r % 4))->setopacity(0.5f + 0.001f * r);
                const QVariantMap state = root.treeState();
                root.setTreeState(state);
                size_t i = 0;
                takeAll(state, i);
            }
        });
        std::printf("nodes in the tree: %zu\n", workers.size());
        printRatio("20-node tree bookkeeping per request / copy pass", bookkeeping.minMs / 100, copy.minMs, "< 0.05");
    }
    const TSFbo image(1600, 1067, TSFbo::workingFormat());
    GLImFilter fill(QStringLiteral(":/korvane/glshaders/testbc.frag"));
    fill.setUniformValue(QStringLiteral("brightness"), 0.2f);
    fill.setUniformValue(QStringLiteral("contrast"), 0.5f);
    TSFbo input(1600, 1067, TSFbo::workingFormat());
    fill.proc(image, input);
    for (const bool spot : {false, true}) {
        TENodeEmpty root;
        for (int i = 0; i < 10; ++i) {
            root.insertChild(i, QStringLiteral("BenchLayer"));
            auto* layer = qobject_cast<TTreeNodeLayer*>(root.child(i));
            layer->setopacity(0.5f);
            layer->setserialInput(true);
            if (spot)
                layer->setSelType(TTreeNodeLayer::SPOT);
        }
        const QVariantMap state = root.treeState();
        TTreeNodeWorker* worker = TTreeNodeWorker::getCreateWorker(root.className(), root.uid(), 0);
        TSFbo out;
        const Clock tree = RenderThreadBench::measure(g_runs, [&] { worker->procTree(state, input, out); },
                                                      [&] { out = input.clone(); });
        const std::optional<TSelection> selection =
            TSelection::ofLayer(qobject_cast<TTreeNodeLayer*>(root.child(0))->params(), QSizeF(1600, 1067));
        const Clock alone = RenderThreadBench::measure(g_runs, [&] {
            TSFbo running = out;
            for (int i = 0; i < 10; ++i) {
                TSFbo own = running;
                brighten(own);
                if (spot) {
                    GLMaskBlend blend;
                    blend.proc(running, own, selection->mask(running), 0, 0.5f, 0.f, QPointF(), 1.f, 0.f);
                } else {
                    GLBlendMode blend;
                    blend.proc(own, QPointF(), 1.f, 0.f, 0, 0.5f, running);
                }
            }
            out = running;
        }, [&] { out = input.clone(); });
        printRatio(spot ? "10-layer walk, spot selections / its passes alone" : "10-layer walk / its passes alone",
                   tree.minMs, alone.minMs, "<= 1.2");
        delete worker;
    }
    {
        TENodeEmpty root;
        const QVariantMap state = root.treeState();
        TTreeNodeWorker* worker = TTreeNodeWorker::getCreateWorker(root.className(), root.uid(), 0);
        TSFbo own = input;
        const Clock empty = RenderThreadBench::measure(g_runs, [&] { worker->procTree(state, own, own); });
        printRatio("default empty tree over its own result / copy pass", empty.minMs, copy.minMs, "< 0.05");
        delete worker;
    }
}

void runAll()
{
    ThirtyParams effect;
    BookkeepingWorker worker(QStringLiteral("ThirtyParams"), effect.uid(), 0);
    QList<QStringList> groups;
    for (int g = 0; g < kGroups; ++g)
        groups << QStringList{QStringLiteral("p%1").arg(3 * g), QStringLiteral("p%1").arg(3 * g + 1),
                              QStringLiteral("p%1").arg(3 * g + 2)};
    // The states are made beforehand: making them is the GUI thread's share, not the render thread's.
    QList<QVariantMap> states;
    for (int i = 0; i < kRequests; ++i) {
        effect.drag(i);
        states << effect.stateData();
    }
    std::vector<double> perRequestUs;
    int changedGroups = 0;
    for (int run = 0; run < g_runs; ++run) {
        QElapsedTimer t;
        t.start();
        for (const QVariantMap& s : states)
            changedGroups += worker.take(s, groups);
        perRequestUs.push_back(t.nsecsElapsed() / 1e3 / kRequests);
    }
    std::sort(perRequestUs.begin(), perRequestUs.end());

    const TSFbo src(1600, 1067, TSFbo::workingFormat());
    TSFbo dst(1600, 1067, TSFbo::workingFormat());
    GLImFilter copy;
    const RenderThreadBench::Timing pass = RenderThreadBench::measure(g_runs, [&] { copy.proc(src, dst); });

    const double bookkeepingMs = perRequestUs.front() / 1e3;
    std::printf("%-52s %10s %10s\n", "", "min ms", "median ms");
    std::printf("%-52s %10.4f %10.4f\n", "one request's bookkeeping (30 params, 10 groups)", bookkeepingMs,
                perRequestUs[perRequestUs.size() / 2] / 1e3);
    std::printf("%-52s %10.3f %10.3f\n", "one copy pass, 1600 x 1067", pass.minMs, pass.medianMs);
    std::printf("bookkeeping / pass: 1/%.0f (target: under 1/50); %d changed groups seen\n",
                pass.minMs / std::max(bookkeepingMs, 1e-9), changedGroups);
    treeWalks(pass);
}

// An effect of one brightness pass, driven from the GUI thread.
class BenchEffect : public TEffect
{
public:
    BenchEffect()
    {
        registerParam(QStringLiteral("brightness"), 0.0f);
        finalizeConstructor(QStringLiteral("BenchEffect"), ver(1, 0));
    }
    void setBrightness(float b) { setParam(QStringLiteral("brightness"), b); }
};

class BenchEffectWorker : public TEffectWorker
{
public:
    using TEffectWorker::TEffectWorker;
    static int s_doProcs;

protected:
    QString doProc(TSFbo& out) override
    {
        ++s_doProcs;
        out = inputFbo(decimation(), false, TSFbo::workingFormat());
        return out.isEmpty() ? QString() : brighten(out);
    }
};
int BenchEffectWorker::s_doProcs = 0;

// A previewer that answers at once, as a view that has drawn.
class BenchView : public TDrawTextureBase
{
protected:
    void drawTexture(uint, QSize, float) override { doneDrawing(); }
};

// Milliseconds from `ask` to the effect's answer.
template <typename Ask>
double answered(TEffect& effect, Ask ask)
{
    QEventLoop loop;
    const auto c = QObject::connect(&effect, &TEffect::procDone, &loop, [&](const QString& tag, bool ok, const QString& m) {
        if (!ok)
            std::printf("request %s failed: %s\n", qPrintable(tag), qPrintable(m));
        loop.quit();
    });
    QElapsedTimer t;
    t.start();
    ask();
    loop.exec();
    QObject::disconnect(c);
    // Until the pixels exist: the answer may come before the GPU has run the passes.
    RenderThreadBench::onRenderThread([] { GLProg::funcs()->glFinish(); });
    return t.nsecsElapsed() / 1e6;
}

double minOf(int runs, const std::function<double()>& f)
{
    double best = 1e300;
    for (int i = 0; i < runs; ++i)
        best = std::min(best, f());
    return best;
}

cv::Mat photo6000()
{
    cv::Mat m(4000, 6000, CV_16UC4);
    cv::randu(m, cv::Scalar::all(0), cv::Scalar::all(65535));
    return m;
}

// An effect of one pass over a 6000 x 4000 photo, previews at decimation 4 (1500 x 1000):
// - the first preview of a new input, beside the reduction and upload alone (reported);
// - a preview after a change: at most 1.3 times its pass plus a copy; the same preview again:
//   at most 1.2 times a copy, with no doProc, nor for a change of the tree only;
// - the output: at most 1.2 times an upload, the pass and a read-back at full size;
// - a 120 Hz slider drag of 200 changes: at most one request per 16 ms window, plus one, and
//   the last change shown within twice one preview;
// - two effects on two photos alternating: each preview at most 1.1 times one effect's alone.
void effectRequests()
{
    TEFactory::registerClass(
        QStringLiteral("BenchEffect"), [](TEBase*) -> TEBase* { return new BenchEffect; },
        [](const QString& name, uint uid, uint parentUid) -> TEBaseWorker* {
            return new BenchEffectWorker(name, uid, parentUid);
        });
    const cv::Mat big = photo6000();
    // The same work run alone on the render thread.
    Clock pass, copyPass, firstAlone, outputAlone, upload, readBack, fullPass;
    RenderThreadBench::onRenderThread([&] {
        const TSFbo preview(cv::Mat(1000, 1500, CV_16UC4, cv::Scalar::all(30000)), TSFbo::workingFormat(), true);
        GLImFilter copy;
        TSFbo dst(1500, 1000, TSFbo::workingFormat());
        copyPass = RenderThreadBench::measure(g_runs, [&] { copy.proc(preview, dst); });
        pass = RenderThreadBench::measure(g_runs, [&] { TSFbo io = preview; brighten(io); });
        firstAlone = RenderThreadBench::measure(g_runs, [&] {
            cv::Mat reduced;
            cv::resize(big, reduced, cv::Size(1500, 1000), 0, 0, cv::INTER_AREA);
            const TSFbo up(reduced, TSFbo::workingFormat(), true);
        });
        TSFbo full;
        upload = RenderThreadBench::measure(g_runs, [&] { full = TSFbo(big, TSFbo::workingFormat(), true); });
        fullPass = RenderThreadBench::measure(g_runs, [&] { TSFbo io = full; brighten(io); });
        readBack = RenderThreadBench::measure(g_runs, [&] { full.dataToMat(CV_16UC4, true, true); });
        outputAlone = {upload.minMs + fullPass.minMs + readBack.minMs, 0};
    });

    BenchView view;
    BenchEffect effect;
    effect.setPreviewerUid(view.uid());
    effect.setDecimation(4);
    float b = 0;
    const double first = answered(effect, [&] {
        effect.setInput(TSMat(big));
        effect.procPreview(true);
    });
    printRatio("first preview of a new input / reduce + upload alone", first, firstAlone.minMs, "reported");
    const double preview = minOf(g_runs, [&] {
        return answered(effect, [&] {
            effect.setBrightness(b += 0.01f);
            effect.procPreview(true);
        });
    });
    printRatio("preview at 1500 x 1000 after a change / own pass + copy", preview, pass.minMs + copyPass.minMs,
               "<= 1.3");
    int before = BenchEffectWorker::s_doProcs;
    const double repeated = minOf(g_runs, [&] { return answered(effect, [&] { effect.procPreview(true); }); });
    printRatio("the same preview again / copy pass", repeated, copyPass.minMs, "<= 1.2");
    effect.rootNode()->setserialInput(!effect.rootNode()->serialInput());
    answered(effect, [&] { effect.procPreview(true); });
    std::printf("doProc runs for repeated and tree-only previews: %d (target: 0)\n",
                BenchEffectWorker::s_doProcs - before);
    effect.rootNode()->setserialInput(true);

    const double output = minOf(std::min(g_runs, 3), [&] {
        return answered(effect, [&] {
            effect.setBrightness(b += 0.01f);
            effect.procOutput();
        });
    });
    std::printf("alone: upload %.1f ms, pass %.1f ms, read-back %.1f ms\n", upload.minMs, fullPass.minMs,
                readBack.minMs);
    printRatio("output at 6000 x 4000 / upload + pass + read-back", output, outputAlone.minMs, "<= 1.2");

    // A slider dragged through 200 values at 120 Hz; the lag runs from the last change to
    // the answer of the request that carried it.
    int requests = 0;
    float sentB = -1, shownB = -1;
    qint64 shownNs = 0;
    QElapsedTimer drag;
    drag.start();
    const auto counted = QObject::connect(&effect, &TEffect::reqProc, [&](const QString&, const QVariantMap& data) {
        ++requests;
        sentB = data.value(QStringLiteral("params")).toMap().value(QStringLiteral("brightness")).toFloat();
    });
    const auto shown = QObject::connect(&effect, &TEffect::procDone, [&] {
        shownB = sentB;
        shownNs = drag.nsecsElapsed();
    });
    qint64 lastChangeNs = 0;
    for (int i = 0; i < 200; ++i) {
        effect.setBrightness(b += 0.001f);
        effect.procPreview(false);
        lastChangeNs = drag.nsecsElapsed();
        QEventLoop wait;
        QTimer::singleShot(int(std::max<qint64>(0, (i + 1) * 8333333LL - drag.nsecsElapsed()) / 1000000), &wait,
                           &QEventLoop::quit);
        wait.exec();
    }
    while (shownB != b)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double lagMs = (shownNs - lastChangeNs) / 1e6;
    QObject::disconnect(counted);
    QObject::disconnect(shown);
    std::printf("slider drag, 200 changes in %.0f ms: %d requests ran (at most %d: one per 16 ms window, plus one)\n",
                lastChangeNs / 1e6, requests, int(lastChangeNs / 16e6) + 1);
    printRatio("last change shown after / one preview", lagMs, preview, "<= 2");

    // Two effects on two photos, alternating: neither evicts the other's cached work.
    BenchEffect second;
    second.setDecimation(4);
    answered(second, [&] {
        second.setInput(TSMat(photo6000()));
        second.procPreview(true);
    });
    before = BenchEffectWorker::s_doProcs;
    const double alternating = minOf(g_runs, [&] {
        answered(effect, [&] {
            effect.setBrightness(b += 0.01f);
            effect.procPreview(true);
        });
        return answered(second, [&] {
            second.setBrightness(b);
            second.procPreview(true);
        });
    });
    printRatio("two effects alternating, each preview / one effect alone", alternating, preview, "<= 1.1");
    std::printf("doProc runs while alternating: %d of %d requests\n", BenchEffectWorker::s_doProcs - before, 2 * g_runs);
}

// An effect with a mask: its own pass over the input, then the blend through the mask.
class BenchMaskEffect : public TEffectMask
{
public:
    BenchMaskEffect()
    {
        registerParam(QStringLiteral("brightness"), 0.1f);
        finalizeConstructor(QStringLiteral("BenchMaskEffect"), ver(1, 0));
    }
};

class BenchMaskEffectWorker : public TEffectMaskWorker
{
public:
    using TEffectMaskWorker::TEffectMaskWorker;

protected:
    QString doProc(TSFbo& out) override
    {
        out = inputFbo(decimation(), false, TSFbo::workingFormat());
        return out.isEmpty() ? QString() : brighten(out);
    }
};

// The effect with a mask over a 6000 x 4000 photo:
// - brush to preview at decimation 4 ("maskType" BRUSH, a request of 20 dabs of radius 50
//   mask pixels): at most 1.3 times the dabs, the masked blend and one copy pass at
//   1500 x 1000 run alone;
// - the full-size output through a SPOT mask: at most 1.1 times the same output without a
//   mask (opacity 0.5, one plain blend) plus the selection pass alone.
void maskedEffectRequests()
{
    TEFactory::registerClass(
        QStringLiteral("BenchMaskEffect"), [](TEBase*) -> TEBase* { return new BenchMaskEffect; },
        [](const QString& name, uint uid, uint parentUid) -> TEBaseWorker* {
            return new BenchMaskEffectWorker(name, uid, parentUid);
        });
    const cv::Mat big = photo6000();
    const QSize preview(1500, 1000);
    Clock dabs, maskedBlend, copyPass, selection;
    RenderThreadBench::onRenderThread([&] {
        TSFbo mask(preview, GL_R32F);
        TEffectMaskDrawTriangle draw;
        dabs = RenderThreadBench::measure(g_runs, [&] {
            mask.bind();
            draw.draw(preview, 0);
            mask.release();
        }, [&] {
            for (int i = 0; i < 20; ++i) {
                TEffectMaskDrawTriangle::Dab d;
                d.center = QPointF((100 + 25 * i) / 1500.0, 0.5);
                d.halfExtent = QSizeF(50 / 1500.0, 50 / 1000.0);
                d.radius = 50;
                draw.addDab(d);
            }
        });
        const TSFbo image(cv::Mat(1000, 1500, CV_16UC4, cv::Scalar::all(30000)), TSFbo::workingFormat(), true);
        const TSFbo weights(cv::Mat(1000, 1500, CV_8UC1, cv::Scalar(128)), GL_R8, true);
        GLMaskBlend blend;
        maskedBlend = RenderThreadBench::measure(g_runs, [&] {
            TSFbo out = image;
            blend.proc(out, image, weights, 0, 1.f, 0.f, QPointF(), 1.f, 0.f);
        });
        GLImFilter copy;
        TSFbo dst(preview, TSFbo::workingFormat());
        copyPass = RenderThreadBench::measure(g_runs, [&] { copy.proc(image, dst); });
        const TSFbo full(big, TSFbo::workingFormat(), true);
        TSelection::SpotParams spot;
        spot.imageSize = QSizeF(full.size());
        selection = RenderThreadBench::measure(g_runs, [&] { TSelection::spot(spot).mask(full); });
    });

    BenchView view;
    BenchMaskEffect effect;
    effect.setPreviewerUid(view.uid());
    effect.setDecimation(4);
    effect.setMaskType(TEffectMask::BRUSH);
    const QString id = TEffectMask::kGlobalMaskId;
    effect.setBrush(id, 50.f / 333, 1, 0.5f, 0.3f, 0);
    answered(effect, [&] {
        effect.setInput(TSMat(big));
        effect.procPreview(true);
    });
    int stroke = 0;
    const double brushed = minOf(g_runs, [&] {
        return answered(effect, [&] {
            const double y = (200 + 60 * (stroke++ % 10)) / 1000.0;
            // 20 dabs 25 mask pixels apart, sampled every 10 pixels.
            for (int x = 100; x <= 100 + 25 * 19; x += 10)
                effect.drawPoint(id, QPointF(x / 1500.0, y), x == 100, false);
            effect.procPreview(true);
        });
    });
    printRatio("brush to preview, 20 dabs / dabs + masked blend + copy alone", brushed,
               dabs.minMs + maskedBlend.minMs + copyPass.minMs, "<= 1.3");

    effect.setOpacity(0.5f);
    effect.setMaskType(TEffectMask::NONE);
    answered(effect, [&] { effect.procOutput(); });
    const double plain = minOf(std::min(g_runs, 3), [&] { return answered(effect, [&] { effect.procOutput(); }); });
    effect.setMaskType(TEffectMask::SPOT);
    const double spotted = minOf(std::min(g_runs, 3), [&] { return answered(effect, [&] { effect.procOutput(); }); });
    std::printf("alone: spot selection into GL_R8 at 6000 x 4000 %.1f ms\n", selection.minMs);
    printRatio("output through a SPOT mask / NONE output + selection pass", spotted, plain + selection.minMs,
               "<= 1.1");
}

} // namespace

int main(int argc, char** argv)
{
    Korvane::takeVerboseFlag(argc, argv);
    Korvane::prepareApplication();
    QGuiApplication app(argc, argv);
    if (argc > 1)
        g_runs = std::max(1, std::atoi(argv[1]));
    if (!RenderThreadBench::start("bench_effects", 512000))
        return 1;
    RenderThreadBench::onRenderThread(runAll);
    RenderThreadBench::onRenderThread([] { BrushMaskBench::run(g_runs); });
    effectRequests();
    maskedEffectRequests();
    RenderThreadBench::stop();
    return 0;
}
