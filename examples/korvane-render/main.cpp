// korvane-render: renders an image through a node tree given as a JSON preset and saves it,
// starting the engine exactly as a host application does. See --help.

#include "renderarguments.h"
#include "renderjob.h"

#include "hostnodes/colorchart.h"
#include "hostnodes/hostnodeclasses.h"
#include "hostnodes/hugepages.h"
#include "hostnodes/imagelayer.h"

#include "engine/timpserver.h"
#include "io/korvane.h"

#include <QGuiApplication>
#include <QDir>
#include <memory>
#include <cstdio>

namespace {
// Help and the chart need no OpenGL, so they run without any platform.
bool needsOpenGL(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "-h" || a == "--help" || a == "-?" || a.startsWith("--make-chart"))
            return false;
    }
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    HugePages::restartWithHugePages(argv);
    Korvane::takeVerboseFlag(argc, argv);
    std::unique_ptr<QCoreApplication> app;
    if (needsOpenGL(argc, argv)) {
        // Without a display the engine renders on the headless platform.
        const QString problem = Korvane::prepareApplication();
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "korvane-render: %s\n", qPrintable(problem));
            return 1;
        }
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    Korvane::init(QDir::home().filePath(QStringLiteral(".local/share/korvane-render")), QUrl(), QString());
    HostNodeClasses::registerAll();

    RenderArguments arguments;
    if (!arguments.parse(app->arguments())) {
        std::fprintf(stderr, "korvane-render: %s\n", qPrintable(arguments.error()));
        return 1;
    }
    if (arguments.helpRequested()) {
        std::printf("%s", qPrintable(arguments.helpText()));
        return 0;
    }
    if (arguments.makeChart()) {
        QString error;
        if (!ColorChart::write(arguments.chartPath(), arguments.chartSize(), &error)) {
            std::fprintf(stderr, "korvane-render: --make-chart: %s\n", qPrintable(error));
            return 1;
        }
        std::printf("korvane-render: chart written to %s\n", qPrintable(arguments.chartPath()));
        return 0;
    }

    int status = 0;
    {
        RenderJob job(arguments);
        if (!job.run()) {
            std::fprintf(stderr, "korvane-render: %s\n", qPrintable(job.error()));
            status = 1;
        }
    }
    ImageLayer::clearReadAhead(); // a job that failed early may leave reads running
    TImpServer::shutDown();
    return status;
}
