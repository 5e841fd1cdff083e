// korvane-soak: a seeded random storm of edits through the public API, checked after every
// burst; prints the seed and the shortest failing step list when an invariant breaks.
// Usage: korvane-soak [--seconds N] [--seed S] [--read-only-folder DIR]

#include "soakstorm.h"

#include "hostnodes/colorchart.h"
#include "hostnodes/enginehost.h"
#include "hostnodes/hostnodeclasses.h"

#include "engine/timpserver.h"
#include "io/imageiomanager.h"
#include "io/korvane.h"
#include "io/workspace.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdio>

namespace {
// The storm sets bad values on purpose, so the library's warnings are expected: counted, and
// shown only with --verbose.
int s_libraryWarnings = 0;
void countWarnings(QtMsgType type, const QMessageLogContext&, const QString&)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        ++s_libraryWarnings;
}

// A folder made read-only, or empty when this user (root) may write there all the same.
QString unwritableFolder(const QString& path)
{
    QDir().mkpath(path);
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    QFile probe(QDir(path).filePath("probe"));
    if (!probe.open(QIODevice::WriteOnly))
        return path;
    probe.remove();
    return QString();
}
} // namespace

int main(int argc, char** argv)
{
    if (!Korvane::takeVerboseFlag(argc, argv))
        qInstallMessageHandler(countWarnings);
    Korvane::prepareApplication();
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption seconds("seconds", "How long the storm runs (default 60).", "n", "60");
    const QCommandLineOption seed("seed", "The storm's seed (default: the time).", "s");
    const QCommandLineOption readOnly("read-only-folder",
                                      "A folder saves must fail in (default: one made read-only here, left out "
                                      "when this user can write there anyway).", "dir");
    parser.addOptions({seconds, seed, readOnly});
    parser.process(app);
    bool ok = false;
    const int duration = parser.value(seconds).toInt(&ok);
    if (!ok || duration <= 0) {
        std::fprintf(stderr, "korvane-soak: --seconds needs a positive whole number\n");
        return 1;
    }
    const quint32 theSeed = parser.isSet(seed) ? parser.value(seed).toUInt() : quint32(QDateTime::currentMSecsSinceEpoch());

    QTemporaryDir scratch;
    Korvane::init(scratch.path(), QUrl(), QString());
    HostNodeClasses::registerAll();
    const QString chart = scratch.filePath("chart.png");
    QString error;
    if (!ColorChart::write(chart, QSize(1600, 1067), &error)) {
        std::fprintf(stderr, "korvane-soak: cannot write the input: %s\n", qPrintable(error));
        return 1;
    }
    const TSMat input = ImageIOManager::tryLoadFile(chart, Workspace::colorManagmentSystem(), &error);
    EngineHost host;
    if (input.isEmpty() || !host.start()) {
        std::fprintf(stderr, "korvane-soak: %s\n", qPrintable(input.isEmpty() ? error : host.error()));
        return 1;
    }

    QString readOnlyFolder = parser.value(readOnly);
    if (readOnlyFolder.isEmpty())
        readOnlyFolder = unwritableFolder(scratch.filePath("read-only"));
    std::printf("korvane-soak: seed %u, %d s%s\n", theSeed, duration,
                readOnlyFolder.isEmpty() ? ", no read-only folder (this user writes everywhere)" : "");
    std::fflush(stdout);
    SoakStorm storm(host.server(), input, chart, scratch.path(), readOnlyFolder, theSeed);
    const bool clean = storm.run(duration);
    const SoakStorm::Figures f = storm.figures();
    std::printf("  bursts %d, steps %d, renders %d, saves %d, preset checks %d\n", f.bursts, f.steps, f.renders,
                f.saves, f.presetChecks);
    std::printf("  library warnings %d (bad values are refused with one)\n", s_libraryWarnings);
    std::printf("  resident memory: start %lld MB, after warm-up %lld MB, end %lld MB\n", f.rssStartKB / 1024,
                f.rssWarmKB / 1024, f.rssEndKB / 1024);
    if (clean)
        std::printf("  clean\n");
    else
        std::printf("FAILED: %s", qPrintable(storm.report()));
    TImpServer::shutDown();
    return clean ? 0 : 1;
}
