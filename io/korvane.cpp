#include "io/korvane.h"

#include "gpu/eglheadlessintegration.h"
#include "gpu/estexture.h"
#include "gpu/tsfbo.h"
#include "gpu/tsmat.h"
#include "io/fileinfo.h"
#include "io/imageiomanager.h"
#include "io/workspace.h"
#include "io/standardprofiles.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSurfaceFormat>
#include <QtGlobal>
#include <cstring>

QString Korvane::s_userDataFolder;
QUrl Korvane::s_ostrelCloudRootUrl;
QString Korvane::s_quarnFolder;

// Outside any namespace, as Q_INIT_RESOURCE requires.
static void registerShaderResources()
{
    // The resource also registers itself when the library loads; doing it again is harmless.
    Q_INIT_RESOURCE(korvane_glshaders);
}

void Korvane::init(const QString& userDataFolder, const QUrl& ostrelCloudRootUrl, const QString& quarnFolder)
{
    registerShaderResources();
    TSMat::registerMetaType();
    TSFbo::registerMetaType();
    Ostrel::FileInfo::registerMetaType();
    // Textures read image files through the file layer, which the GPU layer cannot see.
    ESTexture::setImageReader([](const QString& path, QString* error) {
        return ImageIOManager::tryLoadFile(path, Workspace::colorManagmentSystem(), error);
    });
    // The output colour spaces work out of the box; profiles a host ships as resources win.
    StandardProfiles::install();
    s_userDataFolder = userDataFolder;
    s_ostrelCloudRootUrl = ostrelCloudRootUrl;
    s_quarnFolder = quarnFolder;
}

void Korvane::shutDown()
{
}

const QString& Korvane::userDataFolder()
{
    return s_userDataFolder;
}

const QUrl& Korvane::ostrelCloudRootUrl()
{
    return s_ostrelCloudRootUrl;
}

const QString& Korvane::quarnFolder()
{
    return s_quarnFolder;
}

QString Korvane::prepareApplication(Platform platform)
{
    const bool hasDisplay = !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    const bool chosenByUser = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    QString problem;
    if (platform == Headless || (platform == Automatic && !hasDisplay && !chosenByUser)) {
        qputenv("QT_QPA_PLATFORM", EglHeadlessIntegration::platformName());
        const QString egl = EglHeadlessIntegration::probe();
        if (!egl.isEmpty())
            problem = (hasDisplay ? QStringLiteral("no headless OpenGL: ")
                                  : QStringLiteral("no display (DISPLAY and WAYLAND_DISPLAY are unset) and no headless OpenGL: "))
                + egl;
    }
    QSurfaceFormat format;
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    QSurfaceFormat::setDefaultFormat(format);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    return problem;
}

bool Korvane::takeVerboseFlag(int& argc, char** argv)
{
    bool found = false;
    int kept = 0;
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && std::strcmp(argv[i], "--verbose") == 0)
            found = true;
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    argv[kept] = nullptr;
    if (found)
        QLoggingCategory::setFilterRules(QStringLiteral("korvane.*.debug=true\nkorvane.*.info=true"));
    return found;
}
