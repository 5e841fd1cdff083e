#pragma once
// Thread: GUI thread, once, before any engine object exists.
// Owns: three host values (statics), unread by the library itself.
// Errors: none.

#include <QString>
#include <QUrl>

// The library's set-up entry.
class Korvane
{
public:
    // Where the engine's OpenGL comes from.
    enum Platform {
        // The windowing system when a display is available (DISPLAY or WAYLAND_DISPLAY set),
        // else the headless platform; a platform named in QT_QPA_PLATFORM always wins.
        Automatic,
        // The windowing system, for hosts that show windows.
        Windowed,
        // OpenGL without any display server (Mesa's surfaceless EGL): for command-line tools
        // and batch jobs. Qt Quick windows can still host the server item but show nothing.
        Headless,
    };

    // For hosts, before the QGuiApplication exists: the platform, OpenGL 3.3 core as the
    // default surface format, and contexts shared across windows so the engine's textures are
    // valid in every window's views, not only the server's. When the headless platform is
    // chosen but cannot give OpenGL here, answers what was tried and what failed (the host
    // should report it and stop: Qt Quick aborts without a context); else an empty string.
    static QString prepareApplication(Platform platform = Automatic);
    // Registers the shader resources and the "TSMat", "TSFbo" and "Ostrel::FileInfo" meta
    // types (each once per process), installs the built standard colour profiles (a host's
    // own ":/iccprofiles/" resources still win), and stores the three host values.
    static void init(const QString& userDataFolder, const QUrl& ostrelCloudRootUrl, const QString& quarnFolder);
    static void shutDown();
    // For tools: removes "--verbose" from the arguments and, when it was there, turns on the
    // debug and info lines of every korvane.* category. Returns whether it was there.
    static bool takeVerboseFlag(int& argc, char** argv);

    static const QString& userDataFolder();
    static const QUrl& ostrelCloudRootUrl();
    static const QString& quarnFolder();

private:
    static QString s_userDataFolder;
    static QUrl s_ostrelCloudRootUrl;
    static QString s_quarnFolder;
};
