// Effect bookkeeping against the GPU work it steers: one request's state update and change
// detection on the render thread (a 30-parameter state taken in, ten parameter groups
// tested, the hashes kept) beside one copy pass at the preview size of 1600 x 1067, measured
// in the same run. The bookkeeping should stay under 1/50 of the pass.
// Usage: xvfb-run -a -s "-screen 0 1920x1080x24" bench_effects [runs]

#include "renderthreadbench.h"

#include "effects/tebase.h"
#include "effects/tebaseworker.h"
#include "gpu/glimfilter.h"
#include "gpu/tsfbo.h"
#include "io/korvane.h"

#include <QElapsedTimer>
#include <QGuiApplication>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kParams = 30;
constexpr int kGroups = 10;
constexpr int kRequests = 2000;
int g_runs = 5;

class ThirtyParams : public TEBase
{
public:
    ThirtyParams()
    {
        for (int i = 0; i < kParams; ++i)
            registerParam(QStringLiteral("p%1").arg(i), float(i) / kParams);
        finalizeConstructor(QStringLiteral("ThirtyParams"), ver(1, 0));
    }
    // A slider drag: one parameter moves per request.
    void drag(int step) { setParam(QStringLiteral("p%1").arg(step % kParams), float(step) * 1e-3f); }
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
