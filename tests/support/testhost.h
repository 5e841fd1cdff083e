#pragma once
// Thread: GUI thread.
// Owns: the QML documents it writes (a temporary folder); callers own the windows.
// Errors: a QML error fails load() and is printed.

#include <QQuickView>
#include <QString>
#include <QTemporaryDir>
#include <memory>

class TImpServer;

// What a host application does, reduced to what tests need: registers the node classes
// (one named "TNodeRoot") and the QML types, and shows QML with a TImpServer in a window.
class TestHost
{
public:
    // Idempotent: registers the classes and QML types once per process.
    static void registerClasses();

    // Shows `qml` (a QML document) in a new window; null when it fails to load.
    std::unique_ptr<QQuickView> show(const QByteArray& qml);
    // The first TImpServer item found in the window.
    static TImpServer* server(QQuickView* view);
    // True when the request queue is empty and no command cycle is waiting for a render.
    static bool queueDrained();

private:
    QTemporaryDir m_dir;
    int m_documents = 0;
};
