#include "renderjob.h"

#include "hostnodes/imagelayer.h"

#include "engine/timpserver.h"
#include "gpu/tsfbo.h"
#include "io/imageiomanager.h"
#include "io/workspace.h"
#include "nodes/tnoderootwithadjust.h"

#include <QFileInfo>

#include <cstdio>
#include <sys/resource.h>

namespace {
constexpr int kRenderMs = 30 * 60 * 1000;
} // namespace

std::future<RenderJob::Read> RenderJob::readLater(const QString& path)
{
    // The decoder uses one core: the other starts the engine, reads layers' files or renders.
    return std::async(std::launch::async, [path] {
        Read read;
        ColorManagementSystem cms = Workspace::colorManagmentSystem(); // one per thread: not locked
        read.image = ImageIOManager::tryLoadFile(path, cms, &read.error);
        return read;
    });
}

RenderJob::RenderJob(const RenderArguments& arguments)
    : m_arguments(arguments)
{
}

RenderJob::~RenderJob() = default;

bool RenderJob::fail(const QString& message)
{
    m_error = message;
    return false;
}

void RenderJob::step(const char* what)
{
    const qint64 now = m_clock.elapsed();
    std::printf("  %-28s %8.2f s\n", what, (now - m_stepStart) / 1000.0);
    std::fflush(stdout);
    m_stepStart = now;
}

TNodeRootWithAdjust* RenderJob::exportRoot() const
{
    auto* root = qobject_cast<TNodeRootWithAdjust*>(m_host.server()->rootNode());
    // No view shows the tree: only saves render (at full size whatever the mode), so setting
    // the input and the preset must not queue preview walks, nor keep their images.
    root->setProcMode(TImproc::NONE);
    return root;
}

bool RenderJob::run()
{
    return m_arguments.batch() ? runBatch() : runOne();
}

void RenderJob::askSave(TNodeRootWithAdjust* root, const QString& output, const QVariantMap& params)
{
    if (!m_savesWatched) {
        connect(root, &TNodeRoot::saveFinished, this,
                [this](const QUrl& url, const QString& error) { m_saveOutcomes.insert(url, error); });
        m_savesWatched = true;
    }
    root->saveOutputToFile(QUrl::fromLocalFile(output), params);
}

QString RenderJob::waitForSave(const QString& output)
{
    const QUrl url = QUrl::fromLocalFile(output);
    if (!EngineHost::waitUntil([&] { return m_saveOutcomes.contains(url); }, kRenderMs))
        return QStringLiteral("output \"%1\": the render did not finish").arg(output);
    const QString error = m_saveOutcomes.take(url);
    if (!error.isEmpty())
        return QStringLiteral("output \"%1\": %2").arg(output, error);
    return QString();
}

bool RenderJob::runOne()
{
    m_clock.start();
    std::printf("korvane-render: %s -> %s\n", qPrintable(m_arguments.inputPath()), qPrintable(m_arguments.outputPath()));
    // The input and the layers' files are read while the engine starts.
    ImageLayer::readAhead(m_arguments.preset());
    std::future<Read> reading = readLater(m_arguments.inputPath());
    const bool started = m_host.start();
    step("start engine");
    Read read = reading.get();
    if (read.image.isEmpty())
        return fail(read.error); // names the file and the reason
    const QSize size = read.image.size();
    std::printf("  input %d x %d\n", size.width(), size.height());
    step("read input");
    if (!started)
        return fail(m_host.error());

    TNodeRootWithAdjust* root = exportRoot();
    root->setInput(read.image);
    read.image = TSMat(); // the engine holds it until it is on the GPU, then lets it go
    if (!root->setPreset(m_arguments.preset()))
        return fail(QStringLiteral("preset \"%1\" was refused by the root node").arg(m_arguments.presetPath()));
    step("build tree");

    askSave(root, m_arguments.outputPath(), m_arguments.fileParams());
    const QString saveError = waitForSave(m_arguments.outputPath());
    if (!saveError.isEmpty())
        return fail(saveError);
    step("render and save");
    // Where the memory went, per pixel of the input: the whole process at its peak, and the
    // GPU images alive at once (the rest is decoded, read-back and encoded data).
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double pixels = double(size.width()) * size.height();
    std::printf("  peak memory per pixel: %.1f bytes resident, %.1f in GPU images\n", usage.ru_maxrss * 1024.0 / pixels,
                TSFbo::maxKBytesUsed() * 1024.0 / pixels);
    std::printf("  total %.2f s, written %s\n", m_clock.elapsed() / 1000.0, qPrintable(m_arguments.outputPath()));
    return true;
}

bool RenderJob::runBatch()
{
    m_clock.start();
    const QStringList inputs = m_arguments.inputPaths();
    std::printf("korvane-render: %d image(s) through %s\n", int(inputs.size()), qPrintable(m_arguments.presetPath()));
    ImageLayer::readAhead(m_arguments.preset());
    std::future<Read> next;
    if (!inputs.isEmpty())
        next = readLater(inputs[0]);
    if (!m_host.start())
        return fail(m_host.error());
    step("start engine");

    TNodeRootWithAdjust* root = exportRoot();
    QElapsedTimer batchClock;
    batchClock.start();
    // While image i renders, image i - 1 is converted and written: one save stays in flight.
    std::optional<BatchImage> inFlight;
    for (int i = 0; i < inputs.size(); ++i) {
        BatchImage image{i, inputs[i], m_arguments.outputPathFor(inputs[i])};
        image.clock.start();
        std::future<Read> reading = std::move(next);
        if (!reading.valid() && inFlight) {
            // This input is the output still being written: it is read once it is complete.
            reportBatchImage(*inFlight, waitForSave(inFlight->output));
            inFlight.reset();
        }
        const QString problem = startBatchImage(root, image, std::move(reading));
        if (!m_error.isEmpty())
            return false; // the tree itself failed: no later image could render either
        if (inFlight) {
            reportBatchImage(*inFlight, waitForSave(inFlight->output));
            inFlight.reset();
        }
        // The next input is read while this one renders, unless this one's output replaces it.
        if (i + 1 < inputs.size() && QFileInfo(inputs[i + 1]).absoluteFilePath() != QFileInfo(image.output).absoluteFilePath())
            next = readLater(inputs[i + 1]);
        if (problem.isEmpty())
            inFlight = image;
        else
            reportBatchImage(image, problem);
    }
    if (inFlight)
        reportBatchImage(*inFlight, waitForSave(inFlight->output));
    const int rendered = int(inputs.size()) - m_failed;
    std::printf("korvane-render: %d rendered, %d failed, %.2f s in all, %.2f s per rendered image\n", rendered, m_failed,
                m_clock.elapsed() / 1000.0, rendered ? batchClock.elapsed() / 1000.0 / rendered : 0.0);
    if (m_failed)
        return fail(QStringLiteral("%1 of %2 images failed").arg(m_failed).arg(inputs.size()));
    return true;
}

void RenderJob::reportBatchImage(const BatchImage& image, const QString& problem)
{
    const QByteArray tag = QStringLiteral("[%1/%2] %3")
                               .arg(image.index + 1)
                               .arg(m_arguments.inputPaths().size())
                               .arg(QFileInfo(image.input).fileName())
                               .toLocal8Bit();
    const double seconds = image.clock.elapsed() / 1000.0;
    if (problem.isEmpty()) {
        std::printf("  %s  %d x %d  %.2f s  written %s\n", tag.constData(), image.size.width(), image.size.height(),
                    seconds, qPrintable(image.output));
        std::fflush(stdout);
        return;
    }
    ++m_failed;
    // A failed save leaves no file: a later image may still take that name.
    if (image.claimed)
        m_written.remove(QFileInfo(image.output).absoluteFilePath());
    std::fprintf(stderr, "korvane-render: %s  failed after %.2f s: %s\n", tag.constData(), seconds,
                 qPrintable(problem));
}

QString RenderJob::startBatchImage(TNodeRootWithAdjust* root, BatchImage& image, std::future<Read> reading)
{
    const QString& input = image.input;
    const QString& output = image.output;
    const QString problem = RenderArguments::outputProblem(output);
    if (!problem.isEmpty())
        return problem;
    const QString target = QFileInfo(output).absoluteFilePath();
    if (target == QFileInfo(input).absoluteFilePath())
        return QStringLiteral("output \"%1\" would replace its own input").arg(output);
    if (m_written.contains(target))
        return QStringLiteral("output \"%1\" was already written from \"%2\"").arg(output, m_written.value(target));
    const QFileInfo file(input);
    if (!file.isFile() || !file.isReadable())
        return QStringLiteral("input \"%1\": no such readable file").arg(input);
    const Read read = reading.valid() ? reading.get() : readLater(input).get();
    if (read.image.isEmpty())
        return read.error; // names the file and the reason
    image.size = read.image.size();

    root->setInput(read.image);
    // The tree is built on the first image, in the same order as a single render.
    if (!m_treeBuilt && !root->setPreset(m_arguments.preset()))
        return m_error = QStringLiteral("preset \"%1\" was refused by the root node").arg(m_arguments.presetPath());
    m_treeBuilt = true;
    QString paramsError; // every option was checked for every format before the engine started
    askSave(root, output, m_arguments.fileParamsFor(output, &paramsError));
    m_written.insert(target, input);
    image.claimed = true;
    return QString();
}
