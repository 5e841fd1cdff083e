#include "renderjob.h"

#include "engine/timpserver.h"
#include "io/imageiomanager.h"
#include "io/workspace.h"
#include "nodes/tnoderootwithadjust.h"

#include <cstdio>

namespace {
constexpr int kRenderMs = 30 * 60 * 1000;
} // namespace

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

bool RenderJob::run()
{
    m_clock.start();
    std::printf("korvane-render: %s -> %s\n", qPrintable(m_arguments.inputPath()), qPrintable(m_arguments.outputPath()));
    QString readError;
    const TSMat input = ImageIOManager::tryLoadFile(m_arguments.inputPath(), Workspace::colorManagmentSystem(), &readError);
    if (input.isEmpty())
        return fail(readError); // names the file and the reason
    std::printf("  input %d x %d\n", input.size().width(), input.size().height());
    step("read input");

    if (!m_host.start())
        return fail(m_host.error());
    step("start engine");

    TNodeRootWithAdjust* root = qobject_cast<TNodeRootWithAdjust*>(m_host.server()->rootNode());
    root->setInput(input);
    if (!root->setPreset(m_arguments.preset()))
        return fail(QStringLiteral("preset \"%1\" was refused by the root node").arg(m_arguments.presetPath()));
    step("build tree");

    bool finished = false;
    QString saveError;
    connect(root, &TNodeRoot::saveFinished, this, [&](const QUrl&, const QString& error) {
        finished = true;
        saveError = error;
    });
    root->saveOutputToFile(QUrl::fromLocalFile(m_arguments.outputPath()), m_arguments.fileParams());
    if (!EngineHost::waitUntil([&] { return finished; }, kRenderMs))
        return fail(QStringLiteral("output \"%1\": the render did not finish").arg(m_arguments.outputPath()));
    if (!saveError.isEmpty())
        return fail(QStringLiteral("output \"%1\": %2").arg(m_arguments.outputPath(), saveError));
    step("render and save");
    std::printf("  total %.2f s, written %s\n", m_clock.elapsed() / 1000.0, qPrintable(m_arguments.outputPath()));
    return true;
}
