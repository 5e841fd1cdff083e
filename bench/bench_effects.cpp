// Effect bookkeeping and layer-tree walks against the GPU work they steer, all at the preview
// size of 1600 x 1067 and measured in the same run:
// - one request's state update and change detection (30 parameters, ten groups) beside one
//   copy pass: under 1/50 of it;
// - one request's tree bookkeeping for a 20-node tree (tree state out and back in on the GUI
//   side, every node's state and change detection on the render side): under 1/20 of it;
// - the walk of a 10-layer tree beside its passes run alone (ten own passes and ten blends;
//   with spot selections, ten selection passes and ten masked blends): at most 1.2 times;
// - the default empty tree over an effect's own result: no pass, under 1/20 of a copy.
// Usage: xvfb-run -a -s "-screen 0 1920x1080x24" bench_effects [runs]

#include "renderthreadbench.h"

#include "effects/tebase.h"
#include "effects/tebaseworker.h"
#include "effects/tefactory.h"
#include "effects/tenodeempty.h"
#include "effects/ttreenodelayerworker.h"
#include "gpu/glblendmode.h"
#include "gpu/glimfilter.h"
#include "gpu/glmaskblend.h"
#include "gpu/tselection.h"
#include "gpu/tsfbo.h"
#include "io/korvane.h"

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

} // namespace

int main(int argc, char** argv)
{
    Korvane::takeVerboseFlag(argc, argv);
    Korvane::prepareApplication();
    QGuiApplication app(argc, argv);
    if (argc > 1)
        g_runs = std::max(1, std::atoi(argv[1]));
    return RenderThreadBench::run("bench_effects", 512000, runAll) ? 0 : 1;
}
