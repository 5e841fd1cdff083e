#pragma once
// Thread: GUI thread.
// Owns: the QML documents it writes (a temporary folder); callers own the windows.
// Errors: a QML error fails load() and is printed.

#include <QProcessEnvironment>
#include <QQuickView>
#include <QString>
#include <QVariantMap>
#include <QTemporaryDir>
#include <memory>

class TImpServer;
class TNode;
class TNodeRootWithAdjust;

// What a host application does, reduced to what tests need: registers the node classes
// (one named "TNodeRoot") and the QML types, and shows QML with a TImpServer in a window.
class TestHost
{
public:
    // Idempotent: registers the classes and QML types once per process.
    static void registerClasses();

    // Shows `qml` (a QML document) in a new window, with the given context properties;
    // null when it fails to load.
    std::unique_ptr<QQuickView> show(const QByteArray& qml, const QVariantMap& contextProperties = {});
    // The first TImpServer item found in the window.
    static TImpServer* server(QQuickView* view);
    // Shows `qml` (by default a window holding just a TImpServer) in `view` and waits until its
    // server is ready; null when it does not get there.
    TImpServer* showServer(std::unique_ptr<QQuickView>& view, const QByteArray& qml = {});
    // Creates a child of `className` under `parent` through the server's command queue and
    // returns it once the queue has run; null when it was not made.
    static TNode* addChild(TImpServer* server, const QString& className, TNode* parent);
    // The environment for the example tools a test starts. The tools unload Mesa's driver at
    // exit, so a leak check inside them reports the driver's allocations as leaks; the
    // library's own leaks are checked in the test process, which keeps the driver loaded.
    static QProcessEnvironment toolEnvironment();
    // True when the request queue is empty and no command cycle is waiting for a render.
    static bool queueDrained();

private:
    QTemporaryDir m_dir;
    int m_documents = 0;
};

// A test case around one server window, shown once for the whole case, and its root.
class ServerTest : public QObject
{
protected:
    // Shows the window (see TestHost::showServer); false when the server is not ready.
    bool startServer(const QByteArray& qml = {});

    TestHost m_host;
    std::unique_ptr<QQuickView> m_view;
    TImpServer* m_server = nullptr;
    TNodeRootWithAdjust* m_root = nullptr;
};
