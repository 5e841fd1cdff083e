// korvane-demo: a small photo editor on the engine. The image view follows the root's
// renders; layers are added, removed, reordered and adjusted; undo, redo and save work.
// Usage: korvane-demo [IMAGE] [--preset FILE] [--mask-stroke] [--screenshot FILE] [--script FILE]
//   IMAGE       the photo to edit (default: a generated colour chart)
//   --preset    a node tree to start from (a JSON preset of the root)
//   --mask-stroke  shows the levels effect with a stroke painted across its mask
//   --screenshot  saves the window once the first render is shown, then quits
//   --script      plays a list of edits with screenshots (see DemoScript), then quits

#include "demoscript.h"
#include "effectpreview.h"
#include "engineview.h"

#include "hostnodes/colorchart.h"
#include "hostnodes/hostnodeclasses.h"
#include "hostnodes/hugepages.h"

#include "effects/teffect.h"
#include "engine/timpserver.h"
#include "engine/tjson.h"
#include "io/imageiomanager.h"
#include "io/korvane.h"
#include "io/workspace.h"
#include "nodes/tnoderootwithadjust.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {
// The photo: the given file, or the chart written to `scratch`.
TSMat loadPhoto(const QString& path, const QTemporaryDir& scratch, QString* error)
{
    QString file = path;
    if (file.isEmpty()) {
        file = scratch.filePath(QStringLiteral("chart.png"));
        if (!ColorChart::write(file, QSize(2400, 1600), error))
            return TSMat();
    }
    return ImageIOManager::tryLoadFile(file, Workspace::colorManagmentSystem(), error);
}
} // namespace

int main(int argc, char** argv)
{
    HugePages::restartWithHugePages(argv);
    Korvane::takeVerboseFlag(argc, argv);
    Korvane::prepareApplication(Korvane::Windowed);
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("korvane-demo"));

    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addPositionalArgument("image", "Photo to edit (default: a generated colour chart).");
    const QCommandLineOption preset("preset", "Node tree to start from (JSON preset of the root).", "file");
    const QCommandLineOption screenshot("screenshot", "Save the window once the first render shows, then quit.", "file");
    const QCommandLineOption maskStroke("mask-stroke", "Show the levels effect with a stroke painted on its mask.");
    const QCommandLineOption script("script", "Play a JSON list of edits and screenshots, then quit.", "file");
    parser.addOptions({preset, screenshot, maskStroke, script});
    parser.process(app);

    Korvane::init(QDir::home().filePath(QStringLiteral(".local/share/korvane-demo")), QUrl(), QString());
    HostNodeClasses::registerAll();
    qmlRegisterType<EngineView>("Korvane", 1, 0, "EngineView");
    qmlRegisterType<EffectPreview>("Korvane", 1, 0, "EffectPreview");

    QTemporaryDir scratch;
    QString error;
    const TSMat photo = loadPhoto(parser.positionalArguments().value(0), scratch, &error);
    if (photo.isEmpty()) {
        std::fprintf(stderr, "korvane-demo: %s\n", qPrintable(error));
        return 1;
    }
    QVariantMap tree;
    if (parser.isSet(preset)) {
        QFile file(parser.value(preset));
        tree = file.open(QIODevice::ReadOnly) ? TJson::stringToQMap(QString::fromUtf8(file.readAll())) : QVariantMap();
        if (tree.isEmpty()) {
            std::fprintf(stderr, "korvane-demo: preset \"%s\" is not a JSON object\n", qPrintable(parser.value(preset)));
            return 1;
        }
    }

    QQmlApplicationEngine engine;
    engine.rootContext()->setContextProperty(QStringLiteral("saveFolder"), QDir::currentPath());
    engine.load(QUrl(QStringLiteral("qrc:/demo/main.qml")));
    if (engine.rootObjects().isEmpty())
        return 1;
    auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().first());
    auto* server = window->findChild<TImpServer*>(QStringLiteral("server"));
    auto* view = window->findChild<EngineView*>(QStringLiteral("view"));
    auto* effect = window->findChild<TEffect*>(QStringLiteral("effect"));

    // The photo and the starting tree go in once the engine runs.
    auto start = [&] {
        TNodeRootWithAdjust* root = qobject_cast<TNodeRootWithAdjust*>(server->rootNode());
        root->setInput(photo);
        if (!tree.isEmpty() && !root->setPreset(tree))
            std::fprintf(stderr, "korvane-demo: the preset is not a root preset; starting empty\n");
        // The effect previews at about 1200 pixels across.
        effect->setDecimation(std::max(1, photo.width() / 1200));
        effect->setInput(photo);
        if (parser.isSet(maskStroke))
            QMetaObject::invokeMethod(window, "paintDemoStroke");
    };
    if (server->isReady())
        start();
    else
        QObject::connect(server, &TImpServer::isReadyChanged, &app, [&](bool ready) { if (ready) start(); });

    // Every queued edit has rendered and the view shows the last render.
    const auto settled = [&] {
        const QQueue<TCmd*>* queue = TImpServer::requestQueue();
        return server->isReady() && view->hasImage() && !(queue && !queue->isEmpty()) && !TImpServer::isCycleInFlight()
            && (!parser.isSet(maskStroke) || window->property("maskDemoShown").toBool());
    };
    DemoScript demoScript(window, server, settled);
    QObject::connect(view, &EngineView::imageShown, &demoScript, &DemoScript::imageShown);
    if (parser.isSet(script)) {
        QString error;
        if (!demoScript.load(parser.value(script), &error)) {
            std::fprintf(stderr, "korvane-demo: %s\n", qPrintable(error));
            return 2;
        }
        QObject::connect(&demoScript, &DemoScript::finished, &app, [&](bool ok) { app.exit(ok ? 0 : 1); });
        demoScript.start();
    }

    if (parser.isSet(screenshot)) {
        const QString file = parser.value(screenshot);
        auto* poll = new QTimer(&app);
        QObject::connect(poll, &QTimer::timeout, &app, [&, poll, file] {
            if (!settled())
                return;
            poll->stop();
            QTimer::singleShot(500, &app, [&, file] {
                const bool saved = window->grabWindow().save(file);
                std::printf("korvane-demo: screenshot %s %s\n", saved ? "written to" : "FAILED for", qPrintable(file));
                app.exit(saved ? 0 : 1);
            });
        });
        poll->start(250);
        QTimer::singleShot(120000, &app, [&] {
            std::fprintf(stderr, "korvane-demo: the engine did not settle within two minutes\n");
            app.exit(1);
        });
    }

    const int status = app.exec();
    TImpServer::shutDown();
    return status;
}
