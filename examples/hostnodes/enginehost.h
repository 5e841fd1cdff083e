#pragma once
// Thread: GUI thread; the engine renders on its own thread.
// Owns: the QML engine and the window holding the server item, for its lifetime.
// Errors: start() returns false with the reason in error().

#include <QString>
#include <functional>
#include <memory>

class QQmlEngine;
class QQuickWindow;
class TImpServer;

// The engine started as a host starts it, for tools: a TImpServer item in a small window
// placed off-screen, whose context the engine shares.
class EngineHost
{
public:
    EngineHost();
    ~EngineHost();

    bool start();
    TImpServer* server() const { return m_server; }
    QString error() const { return m_error; }

    // Runs the event loop until `done` returns true or `ms` pass; true when `done` held.
    static bool waitUntil(const std::function<bool()>& done, int ms);

private:
    // The window (and the server item in it) goes before the QML engine that made the item.
    std::unique_ptr<QQmlEngine> m_engine;
    std::unique_ptr<QQuickWindow> m_window;
    TImpServer* m_server = nullptr;
    QString m_error;
};
