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

QString RenderJob::save(TNodeRootWithAdjust* root, const QString& output, const QVariantMap& params)
{
    bool finished = false;
    QString saveError;
    const QMetaObject::Connection connection =
        connect(root, &TNodeRoot::saveFinished, this, [&](const QUrl&, const QString& error) {
            finished = true;
            saveError = error;
        });
    root->saveOutputToFile(QUrl::fromLocalFile(output), params);
    const bool done = EngineHost::waitUntil([&] { return finished; }, kRenderMs);
    disconnect(connection);
    if (!done)
        return QStringLiteral("output \"%1\": the render did not finish").arg(output);
    if (!saveError.isEmpty())
        return QStringLiteral("output \"%1\": %2").arg(output, saveError);
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
    const Read read = reading.get();
    const TSMat& input = read.image;
    if (input.isEmpty())
        return fail(read.error); // names the file and the reason
    std::printf("  input %d x %d\n", input.size().width(), input.size().height());
    step("read input");
    if (!started)
        return fail(m_host.error());

    TNodeRootWithAdjust* root = exportRoot();
    root->setInput(input);
    if (!root->setPreset(m_arguments.preset()))
        return fail(QStringLiteral("preset \"%1\" was refused by the root node").arg(m_arguments.presetPath()));
    step("build tree");

    const QString saveError = save(root, m_arguments.outputPath(), m_arguments.fileParams());
    if (!saveError.isEmpty())
        return fail(saveError);
    step("render and save");
    // Where the memory went, per pixel of the input: the whole process at its peak, and the
    // GPU images alive at once (the rest is decoded, read-back and encoded data).
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double pixels = double(input.size().width()) * input.size().height();
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
    int failed = 0;
    qint64 renderedMs = 0;
    for (int i = 0; i < inputs.size(); ++i) {
        QElapsedTimer clock;
        clock.start();
        const QString output = m_arguments.outputPathFor(inputs[i]);
        std::future<Read> current = std::move(next);
        // The next input is read while this one renders, unless this one's output replaces it.
        if (i + 1 < inputs.size() && QFileInfo(inputs[i + 1]).absoluteFilePath() != QFileInfo(output).absoluteFilePath())
            next = readLater(inputs[i + 1]);
        QSize size;
        const QString problem = renderImage(root, inputs[i], output, std::move(current), &size);
        if (!m_error.isEmpty())
            return false; // the tree itself failed: no later image could render either
        const QByteArray tag = QStringLiteral("[%1/%2] %3").arg(i + 1).arg(inputs.size()).arg(QFileInfo(inputs[i]).fileName()).toLocal8Bit();
        const double seconds = clock.elapsed() / 1000.0;
        if (problem.isEmpty()) {
            renderedMs += clock.elapsed();
            std::printf("  %s  %d x %d  %.2f s  written %s\n", tag.constData(), size.width(), size.height(), seconds,
                        qPrintable(output));
            std::fflush(stdout);
        } else {
            ++failed;
            std::fprintf(stderr, "korvane-render: %s  failed after %.2f s: %s\n", tag.constData(), seconds,
                         qPrintable(problem));
        }
    }
    const int rendered = int(inputs.size()) - failed;
    std::printf("korvane-render: %d rendered, %d failed, %.2f s in all, %.2f s per rendered image\n", rendered, failed,
                m_clock.elapsed() / 1000.0, rendered ? renderedMs / 1000.0 / rendered : 0.0);
    if (failed)
        return fail(QStringLiteral("%1 of %2 images failed").arg(failed).arg(inputs.size()));
    return true;
}

QString RenderJob::renderImage(TNodeRootWithAdjust* root, const QString& input, const QString& output,
                               std::future<Read> reading, QSize* size)
{
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
    const TSMat& image = read.image;
    if (image.isEmpty())
        return read.error; // names the file and the reason
    *size = image.size();

    root->setInput(image);
    // The tree is built on the first image, in the same order as a single render.
    if (!m_treeBuilt && !root->setPreset(m_arguments.preset()))
        return m_error = QStringLiteral("preset \"%1\" was refused by the root node").arg(m_arguments.presetPath());
    m_treeBuilt = true;
    QString paramsError; // every option was checked for every format before the engine started
    const QString saveError = save(root, output, m_arguments.fileParamsFor(output, &paramsError));
    if (saveError.isEmpty())
        m_written.insert(target, input);
    return saveError;
}
