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
    // For hosts, before the QGuiApplication exists: OpenGL 3.3 core as the default surface
    // format, and contexts shared across windows so the engine's textures are valid in every
    // window's views, not only the server's.
    static void prepareApplication();
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
