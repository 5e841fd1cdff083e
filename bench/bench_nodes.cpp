// Layer-tree benchmark through the real server, as QML drives it: a 6000 x 4000 input, trees
// of 1, 5 and 20 layers (each layer one shift pass of its input plus its blend), and
//  - the latency from a property change of the top, middle or bottom layer (GUI thread) to
//    textureReady of the LOWREZ preview (1600 x 1067), beside the passes that edit needs,
//  - a repeated identical request (nothing changed) in LOWREZ, beside a whole walk,
//  - top-layer edits at full resolution.
// Passes are timed alone on the render thread (glFinish-bracketed), so the ratios show the
// engine's overhead on any machine. Each case checks the centre pixel of its output against
// the tree's formula. Lines starting "summary:" are gathered by bench/run into its table.
// Usage: xvfb-run -a -s "-screen 0 1920x1080x24" bench_nodes [runs] [imagelist]

#include "engine/tfboviewprovider.h"
#include "engine/timpserver.h"
#include "engine/tundohistory.h"
#include "engine/timprocworker.h"
#include "engine/timpserverthread.h"
#include "gpu/glblendmode.h"
#include "gpu/glcache.h"
#include "gpu/glimfilter.h"
#include "gpu/glprog.h"
#include "gpu/tsfbo.h"
#include "nodes/timpimagelist.h"
#include "nodes/timpimagelistworker.h"
#include "nodes/tnodefactory.h"
#include "nodes/tnoderootwithadjust.h"
#include "nodes/tnoderootwithadjustworker.h"
#include "nodes/tnoderootworker.h"
#include "io/imageiomanager.h"
#include "io/korvane.h"
#include "io/workspace.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QOpenGLFunctions_3_3_Core>
#include <QQmlEngine>
#include <QQuickView>
#include <QSurfaceFormat>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr float kShift = 0.01f;
int g_runs = 5;
bool g_allCorrect = true;

// One pass per layer: its input shifted by "shift" (then blended by the node).
class ShiftWorker : public TNodeWorker
{
public:
    using TNodeWorker::TNodeWorker;
    QString doProc(TSFbo& io) override
    {
        GLImFilter shift(QStringLiteral(":/korvane/glshaders/testbc.frag"));
        shift.setUniformValue(QStringLiteral("brightness"), paramValue(QStringLiteral("shift")).toFloat());
        shift.setUniformValue(QStringLiteral("contrast"), 1.0f);
        io = shift.filter(io);
        return io.isEmpty() ? QStringLiteral("shift: no framebuffer") : QString();
    }
};

class ShiftLayer : public TNode
{
public:
    explicit ShiftLayer(TImproc* parent = nullptr, unsigned int uid = 0)
        : TNode(parent, uid)
    {
        m_params.insert(QStringLiteral("shift"), double(kShift));
        finalizeTNodeClass(QStringLiteral("ShiftLayer"));
    }
};

struct Stats
{
    double minMs = 0;
    double medianMs = 0;
};

Stats stats(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    return ms.empty() ? Stats{} : Stats{ms.front(), ms[ms.size() / 2]};
}

// Median over g_runs of `f` on the render thread, bracketed by glFinish.
double medianGpuMs(const std::function<void()>& f)
{
    std::vector<double> ms;
    for (int i = 0; i < g_runs; ++i) {
        GLProg::funcs()->glFinish();
        QElapsedTimer t;
        t.start();
        f();
        GLProg::funcs()->glFinish();
        ms.push_back(t.nsecsElapsed() / 1e6);
    }
    return stats(ms).medianMs;
}

bool waitFor(const std::function<bool()>& done, int timeoutMs = 120000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        // A host's GUI thread sleeps in its event loop: spinning here would take one of the
        // two cores the software rasteriser renders with, and time this loop, not the engine.
        QThread::usleep(200);
    }
    return true;
}

bool queueDrained()
{
    return TImpServer::isIdle();
}

// The root's "_output_" as views receive it: the time until textureReady for the key of
// renders that edits cause (empty request tag), and the delivered texture's centre pixel.
class OutputProbe
{
public:
    explicit OutputProbe(TNodeRoot* root)
        : m_key(TFboViewProvider::key(QString(), int(root->uid()), QStringLiteral("_output_")))
    {
        TFboViewProvider* provider = TImpServerThread::fboViewProvider();
        provider->insertReq(m_key, QSize());
        m_connection = QObject::connect(provider, &TFboViewProvider::textureReady, provider,
                                        [this](uint key, int, QSize size, float) {
                                            if (key == m_key) {
                                                m_size = size;
                                                ++m_count;
                                            }
                                        }, Qt::DirectConnection);
        // Every "_output_" the root publishes, whoever asked: renders per request.
        m_renderConnection = QObject::connect(TImprocWorker::ptr(root->uid()), &TImprocWorker::outputFbo,
                                              TImprocWorker::ptr(root->uid()),
                                              [this](QString, int, QString fboId, TSFbo) {
                                                  if (fboId == QLatin1String("_output_"))
                                                      m_renders.ref();
                                              }, Qt::DirectConnection);
    }
    ~OutputProbe()
    {
        QObject::disconnect(m_connection);
        QObject::disconnect(m_renderConnection);
        TImpServerThread::fboViewProvider()->removeReq(m_key);
    }

    // Milliseconds from `change` (on the GUI thread) to the next textureReady; -1 on timeout.
    double latency(const std::function<void()>& change)
    {
        const int before = m_count.loadAcquire();
        QElapsedTimer t;
        t.start();
        change();
        if (!waitFor([&] { return m_count.loadAcquire() > before; }))
            return -1;
        const double ms = t.nsecsElapsed() / 1e6;
        waitFor(queueDrained);
        return ms;
    }
    QSize size() const { return m_size; }
    int renders() const { return m_renders.loadAcquire(); }
    cv::Vec4b centre() const
    {
        cv::Mat m;
        TImpServerThread* t = TImpServer::impThread();
        QMetaObject::invokeMethod(t, [&] { m = TImpServerThread::fboViewProvider()->display(m_key).dataToMat(CV_8UC4); },
                                  Qt::BlockingQueuedConnection);
        return m.empty() ? cv::Vec4b() : m.at<cv::Vec4b>(m.rows / 2, m.cols / 2);
    }

private:
    unsigned m_key;
    QMetaObject::Connection m_connection;
    QMetaObject::Connection m_renderConnection;
    QAtomicInt m_count;
    QAtomicInt m_renders;
    QSize m_size;
};

// The same passes run alone on the render thread at `size`: the canvas clear and loading the
// input onto it, then per layer its shift and its blend. (An unmoved input needs no placement
// pass and the root's adjust at 0 / 0 none either: the engine skips both.)
struct PassCosts
{
    double baseMs = 0;
    double layerMs = 0;
};

PassCosts passesAlone(const QSize& size, const TSFbo& input)
{
    const auto time = medianGpuMs;
    const GLenum format = TSFbo::workingFormat();
    TSFbo canvas(size, format), placed(size, format), layer(size, format);
    GLImFilter copy(QStringLiteral(":/korvane/glshaders/opacity.frag"), QStringLiteral(":/korvane/glshaders/uvscale.vert"));
    GLImFilter adjust(QStringLiteral(":/korvane/glshaders/testbc.frag"));
    adjust.setUniformValue(QStringLiteral("brightness"), 0.0f);
    adjust.setUniformValue(QStringLiteral("contrast"), 1.0f);
    PassCosts c;
    c.baseMs = time([&] {
                   canvas.bind();
                   GLProg::funcs()->glClearColor(1, 1, 1, 1);
                   GLProg::funcs()->glClear(GL_COLOR_BUFFER_BIT);
                   canvas.release();
               })
        + time([&] { copy.proc(1.0f, input, placed); });
    GLBlendMode blend;
    c.layerMs = time([&] { adjust.proc(placed, layer); })
        + time([&] { blend.proc(layer, QPointF(), 1.0f, 0.0f, TNode::BLENDMODE_NORMAL, 0.5f, placed); });
    return c;
}

// Centre pixel of the tree: each layer blends (input + shift) at its opacity over the
// running image, serially: v' = v + o * shift.
bool centreOk(const cv::Vec4b& px, double input, const std::vector<float>& opacities)
{
    double v = input;
    for (float o : opacities)
        v += double(o) * kShift;
    return std::abs(px[0] - v * 255.0) <= 2.0;
}

// Every edit sets an opacity no earlier edit set, so no kept image of that state exists.
float freshOpacity()
{
    static int edits = 0;
    return 0.2f + 0.6f * float((++edits * 37) % 997) / 997.0f;
}

void printRow(const char* name, int layers, const Stats& s, double alone, bool ok)
{
    std::printf("%-34s %6d %9.1f %9.1f %10.1f %7.2f  %s\n", name, layers, s.minMs, s.medianMs, alone,
                alone > 0 ? s.medianMs / alone : 0.0, ok ? "ok" : "WRONG");
    std::fflush(stdout);
    g_allCorrect = g_allCorrect && ok;
}

// Where a LOWREZ render's time goes, measured on the render thread with glFinish around
// each step: the canvas, placing the input, the whole tree walk, and the whole request
// (walk plus delivery to the view); and how many copy-on-write copies one walk makes.
double breakdown(TNodeRoot* root, int layers)
{
    double canvasMs = 0, loadMs = 0, placeMs = 0, walkMs = 0, requestMs = 0, topEditMs = 0;
    int copies = 0;
    QMetaObject::invokeMethod(TImpServer::impThread(), [&] {
        auto* w = qobject_cast<TNodeRootWorker*>(TImprocWorker::ptr(root->uid()));
        if (!w)
            return;
        const auto time = medianGpuMs;
        TSFbo canvas, loaded, placed;
        canvasMs = time([&] { canvas = w->canvasFbo(); });
        loadMs = time([&] {
            loaded = canvas;
            w->loadImage(loaded);
        });
        placeMs = time([&] {
            placed = w->canvasFbo();
            w->doTransform(loaded, placed);
        }) - canvasMs;
        const int before = TSFbo::detachCopies();
        walkMs = time([&] {
            TPendingList pending{w};
            TSFbo c = w->canvasFbo();
            w->proc(c, c, pending, 0);
        });
        copies = (TSFbo::detachCopies() - before) / g_runs;
        requestMs = time([&] { w->emitUpdateReq(w, QStringLiteral("breakdown"), QString()); });
        // The top layer's worker edited directly: the render alone, without the command queue and the view.
        auto* top = qobject_cast<TImprocWorker*>(w->children().constLast());
        const float opacity = top->paramValue(QStringLiteral("opacity")).toFloat();
        topEditMs = time([&] {
            top->setParamValue(QStringLiteral("opacity"), freshOpacity());
            w->emitUpdateReq(w, QStringLiteral("breakdown"), QString());
        });
        top->setParamValue(QStringLiteral("opacity"), opacity);
    }, Qt::BlockingQueuedConnection);
    std::printf("  LOWREZ %d layers on the render thread: canvas %.1f, place input %.1f + %.1f, whole walk %.1f, "
                "request with delivery %.1f ms, top-layer edit %.1f ms; %d copy-on-write copies per walk\n",
                layers, canvasMs, loadMs, placeMs, walkMs, requestMs, topEditMs, copies);
    std::fflush(stdout);
    return walkMs;
}

// Edit latencies of a tree of `layers` layers. In LOWREZ, edits of the top, middle and
// bottom layer (each beside the passes that edit needs: its layer and those above it), and
// the same request again (beside a whole walk of the tree). In FULL, top-layer edits beside
// the whole tree's passes (full-size running images are kept only where the budget allows).
void runTree(TImpServer* server, TNodeRootWithAdjust* root, int layers, const PassCosts& lowrez,
             const PassCosts& full, double inputValue)
{
    root->removeAllChildren();
    waitFor(queueDrained);
    for (int i = 0; i < layers; ++i) {
        server->createChild(QStringLiteral("ShiftLayer"), root);
        waitFor(queueDrained);
        qobject_cast<TNode*>(root->child(i))->setOpacity(0.5f);
    }
    waitFor(queueDrained);
    std::vector<float> opacities(std::size_t(layers), 0.5f);
    OutputProbe probe(root);
    // Median latency of g_runs edits of layer `index`, each to a fresh opacity.
    const auto edits = [&](int index, int runs) {
        std::vector<double> ms;
        auto* node = qobject_cast<TNode*>(root->child(index));
        for (int i = 0; i < runs; ++i) {
            opacities[std::size_t(index)] = freshOpacity();
            ms.push_back(probe.latency([&] { node->setOpacity(opacities[std::size_t(index)]); }));
        }
        return stats(ms);
    };
    const auto rightSize = [&](const QSize& size) { return probe.size() == size; };

    root->setProcMode(TImproc::LOWREZ);
    waitFor(queueDrained);
    probe.latency([&] { root->updateFbo(QString()); });
    const int rendersBefore = probe.renders();
    struct Edit { const char* name; int index; };
    for (const Edit& e : {Edit{"top-layer edit, LOWREZ", layers - 1}, Edit{"middle-layer edit, LOWREZ", layers / 2},
                          Edit{"bottom-layer edit, LOWREZ", 0}}) {
        if (e.index != layers - 1 && layers < 3)
            continue;
        const Stats s = edits(e.index, g_runs);
        const double alone = (layers - e.index) * lowrez.layerMs;
        printRow(e.name, layers, s, alone, centreOk(probe.centre(), inputValue, opacities) && rightSize({1600, 1067}));
        if (layers == 20)
            std::printf("summary: %s / its passes alone, 20 layers | %.2f\n", e.name, s.medianMs / alone);
    }
    std::printf("  %d tree renders for %d edits\n", probe.renders() - rendersBefore, 3 * g_runs);
    const double walkMs = breakdown(root, layers);
    std::vector<double> again;
    for (int i = 0; i < g_runs; ++i)
        again.push_back(probe.latency([&] { root->updateFbo(QString()); }));
    printRow("same request again, LOWREZ", layers, stats(again), walkMs, centreOk(probe.centre(), inputValue, opacities));
    if (layers == 20)
        std::printf("summary: same request again / whole walk, 20 layers | %.3f\n", stats(again).medianMs / walkMs);

    root->setProcMode(TImproc::FULL);
    waitFor(queueDrained);
    // Full-resolution renders of 20 layers take tens of seconds: fewer runs there.
    const Stats s = edits(layers - 1, std::max(1, (g_runs + 1) / 2));
    printRow("top-layer edit, FULL", layers, s, full.baseMs + layers * full.layerMs,
             centreOk(probe.centre(), inputValue, opacities) && rightSize({kWidth, kHeight}));
    root->setProcMode(TImproc::LOWREZ);
    waitFor(queueDrained);
}

// Bursts, each beside one edit's render of the same tree: 2000 edits queued at once
// (alternating over five layers, so they cannot merge) until the queue has drained, and a
// 200-level preset applied directly until the queue has drained.
void printHistory(const char* when)
{
    const TUndoHistory* history = TImpServer::undoStack();
    std::printf("  undo history %s: %d steps, %lld KB (bounds: %d steps, %lld KB)\n", when, history->count(),
                history->bytes() / 1024, history->stepLimit(), history->byteLimit() / 1024);
}

void runBursts(TNodeRootWithAdjust* root)
{
    QVariantList five;
    for (int i = 0; i < 5; ++i)
        five << QVariantMap{{"className", "ShiftLayer"}};
    root->setPreset({{"className", root->className()}, {"_children_", five}});
    waitFor(queueDrained);
    {
        OutputProbe probe(root);
        const double one = probe.latency([&] { qobject_cast<TNode*>(root->child(4))->setOpacity(0.7f); });
        const int rendersBefore = probe.renders();
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 2000; ++i)
            qobject_cast<TNode*>(root->child(i % 5))->setOpacity(i % 2 ? 0.5f : 0.6f);
        const bool drained = waitFor(queueDrained);
        const double ms = t.nsecsElapsed() / 1e6;
        const int renders = probe.renders() - rendersBefore;
        std::printf("  %d tree renders for 2000 edits\n", renders);
        printRow("2000 queued edits -> drained", 5, Stats{ms, ms}, one, drained && renders <= 3);
    }
    // A full undo history of single edits: what it holds against its bounds.
    for (int i = 0; i < TImpServer::kUndoLimit + 50; ++i) {
        auto* layer = qobject_cast<TNode*>(root->child(i % 5));
        layer->setOpacity(i % 2 ? 0.5f : 0.6f);
        layer->setUndoPoint();
    }
    waitFor(queueDrained);
    printHistory("after 250 undo steps of one edit each");
    root->removeAllChildren();
    waitFor(queueDrained);

    QVariantMap deep{{"className", "ShiftLayer"}};
    for (int level = 1; level < 200; ++level)
        deep = QVariantMap{{"className", "ShiftLayer"}, {"_children_", QVariantList{deep}}};
    // Built without rendering (NONE mode renders nothing), then its first render and an edit's:
    // the first render of a new tree also fills the framebuffer pool.
    root->setProcMode(TImproc::NONE);
    waitFor(queueDrained);
    QElapsedTimer t;
    t.start();
    root->setPreset({{"className", root->className()}, {"_children_", QVariantList{deep}}});
    const bool drained = waitFor(queueDrained);
    const double buildMs = t.nsecsElapsed() / 1e6;
    int depth = 0;
    for (TNode* n = root; n->childCount() > 0; n = n->child(0))
        ++depth;
    OutputProbe probe(root);
    const double first = probe.latency([&] {
        root->setProcMode(TImproc::LOWREZ);
        root->updateFbo(QString());
    });
    const double one = probe.latency([&] { root->child(0)->setOpacity(0.7f); });
    printRow("200-level preset, built", depth, Stats{buildMs, buildMs}, one, drained && depth == 200);
    printRow("its first render", depth, Stats{first, first}, one, first > 0);
    printHistory("after the 200-level preset");
    root->removeAllChildren();
    waitFor(queueDrained);
}

// Opening a photo in a standalone image list, from setting its URL to the size reported back,
// beside reading the same file alone.
void runImageList(const QTemporaryDir& dir)
{
    cv::Mat photo(kHeight, kWidth, CV_16UC4);
    cv::randu(photo, 0, 65535);
    const QStringList paths{dir.filePath(QStringLiteral("a.tif")), dir.filePath(QStringLiteral("b.tif"))};
    for (const QString& path : paths)
        cv::imwrite(path.toStdString(), photo);
    std::vector<double> alone, listed;
    for (int i = 0; i < g_runs; ++i) {
        QElapsedTimer t;
        t.start();
        const TSMat read = ImageIOManager::tryLoadFile(paths[0], Workspace::colorManagmentSystem());
        alone.push_back(t.nsecsElapsed() / 1e6);
    }
    TImpImageList list(nullptr, 0);
    int loads = 0;
    QObject::connect(&list, &TImpImageList::imageSizeChanged, [&loads](QSize) { ++loads; });
    for (int i = 0; i < g_runs; ++i) {
        // Waits in an event loop that sleeps: a polling wait would take a core from the load.
        QEventLoop loop;
        const auto quit = QObject::connect(&list, &TImpImageList::imageSizeChanged, &loop, &QEventLoop::quit);
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        QElapsedTimer t;
        t.start();
        list.setImageUrl(QUrl::fromLocalFile(paths[i % 2]));
        loop.exec();
        listed.push_back(t.nsecsElapsed() / 1e6);
        QObject::disconnect(quit);
    }
    const Stats a = stats(alone), l = stats(listed);
    printRow("image list: URL to size reported", 0, l, a.minMs, loads == g_runs && list.count() == 1);
}

} // namespace

int main(int argc, char** argv)
{
    Korvane::takeVerboseFlag(argc, argv);
    QSurfaceFormat format;
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    QSurfaceFormat::setDefaultFormat(format);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QGuiApplication app(argc, argv);
    if (argc > 1)
        g_runs = std::max(1, std::atoi(argv[1]));

    TNodeFactory::registerNodeClass(
        QStringLiteral("TNodeRoot"), [](TImproc* parent, uint uid) -> TNode* { return new TNodeRootWithAdjust(parent, uid); },
        [](uint uid, uint parent) -> TNodeWorker* { return new TNodeRootWithAdjustWorker(uid, parent); });
    TNodeFactory::registerNodeClass(
        QStringLiteral("TImpImageList"), [](TImproc* parent, uint uid) -> TNode* { return new TImpImageList(parent, uid); },
        [](uint uid, uint parent) -> TNodeWorker* { return new TImpImageListWorker(uid, parent); });
    TNodeFactory::registerNodeClass(
        QStringLiteral("ShiftLayer"), [](TImproc* parent, uint uid) -> TNode* { return new ShiftLayer(parent, uid); },
        [](uint uid, uint parent) -> TNodeWorker* { return new ShiftWorker(uid, parent); });
    qmlRegisterType<TImpServer>("Korvane", 1, 0, "TImpServer");

    QTemporaryDir dir;
    const QString qml = dir.filePath(QStringLiteral("bench.qml"));
    QFile file(qml);
    if (!file.open(QIODevice::WriteOnly) || file.write("import QtQuick 2.15\nimport Korvane 1.0\nTImpServer { }\n") <= 0)
        return 1;
    file.close();
    int status = 1;
    {
        QQuickView view;
        view.resize(320, 240);
        view.setSource(QUrl::fromLocalFile(qml));
        view.show();
        auto* server = qobject_cast<TImpServer*>(view.rootObject());
        if (!server || !waitFor([server] { return server->isReady() && server->rootNode(); }, 20000)) {
            std::fprintf(stderr, "bench_nodes: the server did not start\n");
            TImpServer::shutDown();
            return 1;
        }
        TNodeRootWithAdjust* root = qobject_cast<TNodeRootWithAdjust*>(server->rootNode());
        QMetaObject::invokeMethod(TImpServer::impThread(), [] { GLCache::setMax(4096000, 32); }, Qt::BlockingQueuedConnection);

        const int inputLevel = 100;
        root->setInput(TSMat(cv::Mat(kHeight, kWidth, CV_8UC4, cv::Scalar(inputLevel, inputLevel, inputLevel, 255))));
        waitFor(queueDrained);

        PassCosts lowrez, full;
        QMetaObject::invokeMethod(TImpServer::impThread(), [&] {
            const TSFbo input(cv::Mat(kHeight, kWidth, CV_8UC4, cv::Scalar::all(inputLevel)), GL_RGBA8, true);
            lowrez = passesAlone(QSize(1600, 1067), input);
            full = passesAlone(QSize(kWidth, kHeight), input);
        }, Qt::BlockingQueuedConnection);

        std::printf("input %d x %d, %d runs; passes alone: LOWREZ base %.1f ms + %.1f ms per layer, FULL base %.1f ms + "
                    "%.1f ms per layer\n",
                    kWidth, kHeight, g_runs, lowrez.baseMs, lowrez.layerMs, full.baseMs, full.layerMs);
        std::printf("%-34s %6s %9s %9s %10s %7s  %s\n", "case", "layers", "min ms", "median", "alone ms", "ratio", "pixels");
        // "imagelist" as the second argument runs that case alone.
        const bool onlyImageList = argc > 2 && QByteArray(argv[2]) == "imagelist";
        if (!onlyImageList) {
            for (int layers : {1, 5, 20})
                runTree(server, root, layers, lowrez, full, inputLevel / 255.0);
            runBursts(root);
        }
        runImageList(dir);
        status = g_allCorrect ? 0 : 1;
        root->removeAllChildren();
        waitFor(queueDrained);
    }
    TImpServer::shutDown();
    return status;
}
