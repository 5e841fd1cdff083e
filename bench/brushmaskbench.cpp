#include "brushmaskbench.h"

#include "renderthreadbench.h"

#include "effects/teffectmaskdrawtriangle.h"
#include "effects/tmask.h"
#include "gpu/glimfilter.h"
#include "gpu/glprog.h"
#include "gpu/tsfbo.h"

#include <QElapsedTimer>
#include <QOpenGLFunctions_3_3_Core>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace BrushMaskBench {
namespace {

const QString kId = QStringLiteral("bench");
const QSize kImage(6000, 4000); // a 1500 x 1000 mask
const QSize kMask(1500, 1000);
constexpr double kPi = 3.14159265358979;
using Timing = RenderThreadBench::Timing;

QVariantMap brush(double radiusPx, double aware = 0.0)
{
    return {{"radius", radiusPx / 333.0}, {"strength", 1.0}, {"hardness", 0.5}, {"flow", 0.3}, {"coloraware", aware}};
}

// A stroke sweeping back and forth over the mask, `count` samples about 1.3 mask pixels apart,
// sharing one brush as a host's samples do.
QList<BrushPoint> sweepingStroke(int count, double radiusPx)
{
    const QVariantMap settings = brush(radiusPx);
    QList<BrushPoint> s;
    for (int i = 0; i < count; ++i) {
        const double t = double(i) / (count - 1);
        const double sweep = std::fmod(t * 10.0, 2.0);
        const double x = 100 + 1300 * (sweep < 1 ? sweep : 2 - sweep);
        s.append({kId, QPointF(x / kMask.width(), (100 + 800 * t) / kMask.height()), i == 0, i == count - 1,
                  settings});
    }
    return s;
}

TSFbo photo()
{
    cv::Mat m(512, 768, CV_8UC4);
    cv::randu(m, cv::Scalar::all(0), cv::Scalar::all(255));
    TSFbo small(m, GL_RGBA8);
    TSFbo big(kImage, GL_RGBA8);
    GLImFilter().proc(small, big);
    return big;
}

void placementBeside(const TSFbo& image, int runs)
{
    const QList<BrushPoint> stroke = sweepingStroke(10000, 10);
    std::vector<double> placeMs;
    int dabs = 0;
    // Well under a millisecond: more runs than the GPU cases for a steady minimum.
    for (int r = 0; r < std::max(runs, 25); ++r) {
        TMask twin(kId);
        twin.setup(image);
        GLProg::funcs()->glFinish(); // the rasteriser's threads would share the CPU otherwise
        QElapsedTimer t;
        t.start();
        twin.procDrawCmds(stroke, twin.maskSize());
        placeMs.push_back(t.nsecsElapsed() / 1e6);
        dabs = twin.dabs().size();
    }
    std::sort(placeMs.begin(), placeMs.end());
    TMask mask(kId);
    mask.setup(image);
    const Timing all = RenderThreadBench::measure(runs, [&] {
        BrushPointsByMask cmds{{kId, stroke}};
        mask.procCmds(cmds);
    });
    const double rasterMs = all.minMs - placeMs.front();
    std::printf("%-58s %9.3f ms (%d dabs)\n", "dab placement, 10,000-sample stroke (CPU)", placeMs.front(), dabs);
    std::printf("%-58s %9.3f ms\n", "rasterising its dabs and the copy", rasterMs);
    std::printf("placement / rasterisation: 1/%.0f (target: at most 1/20)\n", rasterMs / placeMs.front());
}

void rasterisation(const TSFbo& image, int runs)
{
    std::printf("%-34s %12s %12s %12s\n", "rasterisation, 1500 x 1000", "ms", "kdabs/s", "Mpix/s");
    std::mt19937 random(7);
    std::uniform_real_distribution<double> where(0.0, 1.0);
    TSFbo colorSource(kMask / 2, GL_RGBA8);
    GLImFilter().proc(image, colorSource);
    for (GLenum format : {GLenum(GL_R32F), GLenum(GL_R8)}) {
        for (const int radius : {4, 50, 300}) {
            for (const bool aware : {false, true}) {
                const int count = radius == 4 ? 20000 : radius == 50 ? 1000 : 30;
                TSFbo target(kMask, format);
                TEffectMaskDrawTriangle draw;
                const Timing t = RenderThreadBench::measure(runs, [&] {
                    target.bind();
                    draw.draw(kMask, colorSource.texture());
                    target.release();
                }, [&] {
                    for (int i = 0; i < count; ++i) {
                        TEffectMaskDrawTriangle::Dab d;
                        d.center = QPointF(where(random), where(random));
                        d.halfExtent = QSizeF(double(radius) / kMask.width(), double(radius) / kMask.height());
                        d.radius = radius;
                        d.flow = 0.3f;
                        d.hardness = 0.5f;
                        d.colorAware = aware;
                        draw.addDab(d);
                    }
                });
                const double pixels = count * kPi * radius * radius;
                std::printf("%-6s radius %3d%-17s %12.3f %12.1f %12.1f\n", format == GL_R32F ? "R32F" : "R8", radius,
                            aware ? ", colour-aware" : "", t.minMs, count / t.minMs, pixels / t.minMs / 1e3);
            }
        }
    }
}

void batchBesideCopy(const TSFbo& image, int runs)
{
    // About 100 dabs of radius 50 (spacing 25) along a path of 2500 mask pixels.
    const QPointF corners[] = {{50, 300}, {1450, 300}, {1450, 700}, {750, 700}};
    QList<BrushPoint> stroke;
    for (int c = 1; c < 4; ++c) {
        const QLineF leg(corners[c - 1], corners[c]);
        for (double d = 0; d < leg.length(); d += 10) {
            const QPointF p = leg.pointAt(d / leg.length());
            stroke.append({kId, QPointF(p.x() / kMask.width(), p.y() / kMask.height()), stroke.isEmpty(), false,
                           brush(50)});
        }
    }
    TMask mask(kId);
    mask.setup(image);
    TMask counter(kId);
    counter.setup(image);
    counter.procDrawCmds(stroke, counter.maskSize());
    const Timing batch = RenderThreadBench::measure(runs, [&] {
        BrushPointsByMask cmds{{kId, stroke}};
        mask.procCmds(cmds);
    });
    const TSFbo painted(kMask, GL_R32F);
    TSFbo out(kMask, GL_R8);
    GLImFilter copy(QStringLiteral(":/korvane/glshaders/glcopy_4chto1ch.frag"));
    const Timing pass = RenderThreadBench::measure(runs, [&] { copy.proc(painted, out); });
    std::printf("%-58s %9.3f ms (%d dabs)\n", "a request of dabs of radius 50 with the copy", batch.minMs,
                counter.dabs().size());
    std::printf("%-58s %9.3f ms\n", "one copy pass over the mask (R32F to R8)", pass.minMs);
    std::printf("request / copy pass: %.2f (target: at most 2)\n", batch.minMs / pass.minMs);
}

void historyEntries(const TSFbo& image, int runs)
{
    TMask mask(kId);
    mask.setup(image);
    const TSFbo colorSource;
    MaskDab dab;
    dab.type = MaskDab::Type::Start;
    dab.center = QPointF(750, 500);
    dab.radius = 48.f;
    dab.flow = 0.3f;
    dab.coloraware = 0.f;
    MaskDab small;
    small.type = MaskDab::Type::Snapshot;
    small.area = QRectF(702, 452, 96, 96);
    MaskDab whole = small;
    whole.area = QRectF();
    // The same dab without an entry: the open stroke is closed untimed before each run.
    const Timing strokeOnly = RenderThreadBench::measure(
        runs, [&] { mask.painter().process({dab}, colorSource); },
        [&] { mask.painter().process({whole}, colorSource); });
    const Timing smallEntry = RenderThreadBench::measure(runs, [&] {
        mask.painter().process({dab, small}, colorSource);
    });
    const Timing wholeEntry = RenderThreadBench::measure(runs, [&] {
        mask.painter().process({dab, whole}, colorSource);
    });
    std::printf("%-58s %9.3f ms\n", "one dab, no history entry", strokeOnly.minMs);
    std::printf("%-58s %9.3f ms\n", "one dab with the entry of its 100 x 100 area", smallEntry.minMs);
    std::printf("%-58s %9.3f ms\n", "one dab with a whole-mask entry (1500 x 1000)", wholeEntry.minMs);
    // The dab is part of both; the ratio is therefore an upper bound for the entries alone.
    std::printf("small / whole: 1/%.0f (target: at most 1/20)\n", wholeEntry.minMs / smallEntry.minMs);
}

} // namespace

void run(int runs)
{
    const TSFbo image = photo();
    placementBeside(image, runs);
    rasterisation(image, runs);
    batchBesideCopy(image, runs);
    historyEntries(image, runs);
}

} // namespace BrushMaskBench
