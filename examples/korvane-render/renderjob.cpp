#include "renderjob.h"

#include "engine/timpserver.h"
#include "io/imageiomanager.h"
#include "io/workspace.h"
#include "nodes/tnoderootwithadjust.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QTimer>
#include <cstdio>

namespace {
// Runs the event loop until `done` holds or `ms` pass; true when `done` holds.
template <typename Predicate>
bool waitUntil(Predicate done, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

const QByteArray kServerQml = "import QtQuick 2.15\nimport Korvane 1.0\nTImpServer { width: 64; height: 64 }\n";
constexpr int kEngineStartMs = 30000;
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

bool RenderJob::startEngine()
{
    m_engine = std::make_unique<QQmlEngine>();
    m_window = std::make_unique<QQuickWindow>();
    m_window->setFlags(Qt::Tool | Qt::FramelessWindowHint);
    m_window->setPosition(-10000, -10000); // the window only hosts the engine's context
    m_window->resize(64, 64);
    QQmlComponent component(m_engine.get());
    component.setData(kServerQml, QUrl());
    QObject* created = component.create();
    m_server = qobject_cast<TImpServer*>(created);
    if (!m_server) {
        delete created;
        return fail(QStringLiteral("the server item could not be created: %1").arg(component.errorString()));
    }
    m_server->setParent(m_window.get());
    m_server->setParentItem(m_window->contentItem());
    m_window->show();
    if (!waitUntil([this] { return m_server->isReady(); }, kEngineStartMs))
        return fail(QStringLiteral("the engine did not start (no OpenGL 3.3 core context?)"));
    return true;
}

bool RenderJob::run()
{
    m_clock.start();
    std::printf("korvane-render: %s -> %s\n", qPrintable(m_arguments.inputPath()), qPrintable(m_arguments.outputPath()));
    QString readError;
    const TSMat input = ImageIOManager::tryLoadFile(m_arguments.inputPath(), Workspace::colorManagmentSystem(), &readError);
    if (input.isEmpty())
        return fail(QStringLiteral("input \"%1\": %2").arg(m_arguments.inputPath(), readError));
    std::printf("  input %d x %d\n", input.size().width(), input.size().height());
    step("read input");

    if (!startEngine())
        return false;
    step("start engine");

    TNodeRootWithAdjust* root = qobject_cast<TNodeRootWithAdjust*>(m_server->rootNode());
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
    if (!waitUntil([&] { return finished; }, kRenderMs))
        return fail(QStringLiteral("output \"%1\": the render did not finish").arg(m_arguments.outputPath()));
    if (!saveError.isEmpty())
        return fail(QStringLiteral("output \"%1\": %2").arg(m_arguments.outputPath(), saveError));
    step("render and save");
    std::printf("  total %.2f s, written %s\n", m_clock.elapsed() / 1000.0, qPrintable(m_arguments.outputPath()));
    return true;
}
