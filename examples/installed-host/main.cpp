// A host that knows Korvane only through its installed package: it registers a layer class
// of its own, loads a QML document that imports the Korvane module, renders a file through a
// tree using that layer (with or without a display) and saves the result.
// Usage: installed-host INPUT OUTPUT   (exit status 0 when the output was written)

#include "engine/timpserver.h"
#include "io/imageiomanager.h"
#include "io/korvane.h"
#include "io/workspace.h"
#include "nodes/tnode.h"
#include "nodes/tnodefactory.h"
#include "nodes/tnoderoot.h"
#include "nodes/tnodeworker.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QTimer>

#include <cstdio>

// The host's own layer: a node whose render step leaves its input as it is.
class KeepLayer : public TNode
{
    Q_OBJECT
public:
    explicit KeepLayer(TImproc* parent = nullptr, unsigned int uid = 0)
        : TNode(parent, uid)
    {
        finalizeTNodeClass(QStringLiteral("KeepLayer"));
    }
};

class KeepLayerWorker : public TNodeWorker
{
    Q_OBJECT
public:
    using TNodeWorker::TNodeWorker;
    QString doProc(TSFbo&) override { return QString(); }
};

namespace {
bool waitFor(const std::function<bool()>& done)
{
    QDeadlineTimer deadline(60000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    return done();
}

int fail(const QString& message)
{
    std::fprintf(stderr, "installed-host: %s\n", qPrintable(message));
    return 1;
}
} // namespace

int main(int argc, char** argv)
{
    const QString problem = Korvane::prepareApplication();
    if (!problem.isEmpty())
        return fail(problem);
    QGuiApplication app(argc, argv);
    if (app.arguments().size() != 3)
        return fail(QStringLiteral("usage: installed-host INPUT OUTPUT"));
    Korvane::init(QDir::temp().filePath(QStringLiteral("korvane-installed-host")), QUrl(), QString());
    TNodeFactory::registerNodeClass(
        QStringLiteral("KeepLayer"), [](TImproc* parent, uint uid) -> TNode* { return new KeepLayer(parent, uid); },
        [](uint uid, uint parent) -> TNodeWorker* { return new KeepLayerWorker(uid, parent); });

    QQmlApplicationEngine engine(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("main.qml")));
    if (engine.rootObjects().isEmpty())
        return fail(QStringLiteral("main.qml did not load (is the Korvane QML module on the import path?)"));
    auto* server = engine.rootObjects().first()->findChild<TImpServer*>(QStringLiteral("server"));
    if (!server || !waitFor([server] { return server->isReady(); }))
        return fail(QStringLiteral("the engine did not start"));

    QString error;
    const TSMat input = ImageIOManager::tryLoadFile(app.arguments().at(1), Workspace::colorManagmentSystem(), &error);
    if (input.isEmpty())
        return fail(error);
    auto* root = qobject_cast<TNodeRoot*>(server->rootNode());
    root->setInput(input);
    const QVariantMap layer{{QStringLiteral("className"), QStringLiteral("KeepLayer")}};
    if (!root->setPreset({{QStringLiteral("className"), QStringLiteral("TNodeRoot")},
                          {QStringLiteral("_children_"), QVariantList{layer}}}))
        return fail(QStringLiteral("the preset with the host's layer was refused"));
    bool finished = false;
    QObject::connect(root, &TNodeRoot::saveFinished, [&](const QUrl&, const QString& saveError) {
        finished = true;
        error = saveError;
    });
    root->saveOutputToFile(QUrl::fromLocalFile(app.arguments().at(2)),
                           {{QStringLiteral("IMAGE_FORMAT"), QStringLiteral("PNG")},
                            {QStringLiteral("PNG_COMPRESSION"), QStringLiteral("DEFAULT")},
                            {QStringLiteral("PNG_INTERLACE"), QStringLiteral("NONE")},
                            {QStringLiteral("PNG_BITDEPTH"), QStringLiteral("DEFAULT")}});
    if (!waitFor([&] { return finished; }) || !error.isEmpty())
        return fail(error.isEmpty() ? QStringLiteral("the render did not finish") : error);
    std::printf("installed-host: %s written through the host's KeepLayer\n", qPrintable(app.arguments().at(2)));
    TImpServer::shutDown();
    return 0;
}

#include "main.moc"
