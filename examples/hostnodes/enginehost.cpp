#include "enginehost.h"

#include "engine/timpserver.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QTimer>

namespace {
const QByteArray kServerQml = "import QtQuick 2.15\nimport Korvane 1.0\nTImpServer { width: 64; height: 64 }\n";
constexpr int kEngineStartMs = 30000;
} // namespace

EngineHost::EngineHost() = default;

EngineHost::~EngineHost()
{
    m_window.reset();
    m_engine.reset();
}

bool EngineHost::start()
{
    m_engine = std::make_unique<QQmlEngine>();
    m_window = std::make_unique<QQuickWindow>();
    m_window->setFlags(Qt::Tool | Qt::FramelessWindowHint);
    m_window->setPosition(-10000, -10000); // the window only hosts the engine's context
    m_window->resize(64, 64);
    QQmlComponent component(m_engine.get());
    component.setData(kServerQml, QUrl());
    QObject* created = component.create();
    m_server = qobject_cast<TImpServer*>(created);
    if (!m_server) {
        delete created;
        m_error = QStringLiteral("the server item could not be created: %1").arg(component.errorString());
        return false;
    }
    m_server->setParent(m_window.get());
    m_server->setParentItem(m_window->contentItem());
    m_window->show();
    if (!waitUntil([this] { return m_server->isReady(); }, kEngineStartMs)) {
        m_error = QStringLiteral("the engine did not start (no OpenGL 3.3 core context?)");
        return false;
    }
    return true;
}

bool EngineHost::waitUntil(const std::function<bool()>& done, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}
