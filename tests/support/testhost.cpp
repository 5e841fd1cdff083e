#include "testhost.h"

#include <QQmlContext>
#include "testnodes_host.h"

#include "engine/tcmd.h"
#include "engine/timpserver.h"
#include "nodes/nodeqmltypes.h"
#include "nodes/tnodefactory.h"
#include "nodes/tnoderootwithadjust.h"

#include <QFile>
#include <QQmlEngine>
#include <QQuickItem>
#include <QTest>
#include <QThread>

QAtomicInt HostRootWorker::s_renders;
QAtomicInt HostRootWorker::s_commandRunning;
QAtomicInt HostRootWorker::s_overlaps;

HostRootWorker::HostRootWorker(unsigned int uid, unsigned int parentUid)
    : TNodeRootWithAdjustWorker(uid, parentUid)
{
    connect(this, &TImprocWorker::updateReq, this, [this](TImprocWorker*, QString& tag, QString&) {
        ++renders;
        lastTag = tag;
        if (s_commandRunning.loadAcquire())
            s_overlaps.ref();
        // Long enough for an overlapping command to be caught in the act.
        QThread::usleep(50);
        if (s_commandRunning.loadAcquire())
            s_overlaps.ref();
        s_renders.ref();
    }, Qt::DirectConnection);
}

HostRootWorker::~HostRootWorker() = default;

HostLayer::HostLayer(TImproc* parent, unsigned int uid)
    : TNode(parent, uid)
{
    m_params.insert(QStringLiteral("amount"), 0.0f);
    finalizeTNodeClass(QStringLiteral("HostLayer"));
}

void TestHost::registerClasses()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    TNodeFactory::registerNodeClass(
        QStringLiteral("TNodeRoot"),
        [](TImproc* parent, uint uid) -> TNode* { return new TNodeRootWithAdjust(parent, uid); },
        [](uint uid, uint parent) -> TNodeWorker* { return new HostRootWorker(uid, parent); });
    TNodeFactory::registerNodeClass(
        QStringLiteral("HostLayer"),
        [](TImproc* parent, uint uid) -> TNode* { return new HostLayer(parent, uid); },
        [](uint uid, uint parent) -> TNodeWorker* { return new IdentityWorker(uid, parent); });

    qmlRegisterType<HostLayer>("Korvane", 1, 0, "HostLayer");
    // The library's own types; its "TNodeRoot" is refused, the one above counts renders.
    NodeQmlTypes::registerTypes("Korvane", 1, 0);
}

std::unique_ptr<QQuickView> TestHost::show(const QByteArray& qml, const QVariantMap& contextProperties)
{
    registerClasses();
    auto view = std::make_unique<QQuickView>();
    for (auto it = contextProperties.cbegin(); it != contextProperties.cend(); ++it)
        view->rootContext()->setContextProperty(it.key(), it.value());
    view->setResizeMode(QQuickView::SizeRootObjectToView);
    view->resize(320, 240);
    const QString path = m_dir.filePath(QStringLiteral("view%1.qml").arg(++m_documents));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(qml) != qml.size())
        return nullptr;
    file.close();
    view->setSource(QUrl::fromLocalFile(path));
    if (view->status() != QQuickView::Ready) {
        for (const QQmlError& e : view->errors())
            qWarning() << e.toString();
        return nullptr;
    }
    view->show();
    if (!QTest::qWaitForWindowExposed(view.get()))
        return nullptr;
    return view;
}

TImpServer* TestHost::server(QQuickView* view)
{
    if (!view || !view->rootObject())
        return nullptr;
    if (auto* s = qobject_cast<TImpServer*>(view->rootObject()))
        return s;
    return view->rootObject()->findChild<TImpServer*>();
}

TImpServer* TestHost::showServer(std::unique_ptr<QQuickView>& view, const QByteArray& qml)
{
    view = show(qml.isEmpty() ? QByteArray("import QtQuick 2.15\nimport Korvane 1.0\nTImpServer { }") : qml);
    TImpServer* s = server(view.get());
    return s && QTest::qWaitFor([s] { return s->isReady(); }, 10000) ? s : nullptr;
}

bool ServerTest::startServer(const QByteArray& qml)
{
    m_server = m_host.showServer(m_view, qml);
    m_root = m_server ? qobject_cast<TNodeRootWithAdjust*>(m_server->rootNode()) : nullptr;
    return m_root;
}

TNode* TestHost::addChild(TImpServer* server, const QString& className, TNode* parent)
{
    const int before = parent->childCount();
    server->createChild(className, parent);
    if (!QTest::qWaitFor([parent, before] { return queueDrained() && parent->childCount() > before; }, 5000))
        return nullptr;
    return qobject_cast<TNode*>(parent->child(parent->childCount() - 1));
}

bool TestHost::queueDrained()
{
    return TImpServer::isIdle();
}

QProcessEnvironment TestHost::toolEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
    env.insert(QStringLiteral("ASAN_OPTIONS"), asan.isEmpty() ? QStringLiteral("detect_leaks=0")
                                                              : asan + QStringLiteral(":detect_leaks=0"));
    return env;
}
