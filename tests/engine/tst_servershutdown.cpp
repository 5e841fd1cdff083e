// Shutting the engine down with a server window and nodes alive, in both orders a host
// may use, each in a process of its own: nothing hangs and every worker is freed.

#include "testhost.h"
#include "testnodes_host.h"
#include "korvanetest.h"

#include "engine/timprocworker.h"
#include "engine/timpserver.h"
#include "nodes/tnoderootwithadjust.h"

#include <QElapsedTimer>

namespace {

// A server window whose root has one child created through the queue.
std::unique_ptr<QQuickView> showServerWithChild(TestHost& host)
{
    std::unique_ptr<QQuickView> view;
    TImpServer* server = host.showServer(view);
    if (!server || !TestHost::addChild(server, QStringLiteral("HostLayer"), qobject_cast<TNodeRootWithAdjust*>(server->rootNode())))
        return nullptr;
    return view;
}
} // namespace

class TstShutdownBeforeQml : public QObject
{
    Q_OBJECT
private slots:
    void engineFirstThenQml()
    {
        TestHost host;
        auto view = showServerWithChild(host);
        QVERIFY(view);
        TNode* child = qobject_cast<TNodeRootWithAdjust*>(TestHost::server(view.get())->rootNode())->child(0);
        QVERIFY(TImprocWorker::liveCount() >= 3);

        QElapsedTimer timer;
        timer.start();
        child->deleteLater();  // dies only after the engine has stopped
        TImpServer::shutDown();
        QCOMPARE(TImprocWorker::liveCount(), 0);
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        view.reset();
        QVERIFY(timer.elapsed() < 5000);
        QCOMPARE(TImproc::liveCount(), 0);
        TImpServer::shutDown();  // the aboutToQuit path runs it again
    }
};

class TstShutdownAfterQml : public QObject
{
    Q_OBJECT
private slots:
    void qmlFirstThenEngine()
    {
        TestHost host;
        auto view = showServerWithChild(host);
        QVERIFY(view);
        QElapsedTimer timer;
        timer.start();
        view.reset();
        // The nodes went with the window, and so did their workers.
        QCOMPARE(TImproc::liveCount(), 0);
        QCOMPARE(TImprocWorker::liveCount(), 0);
        TImpServer::shutDown();
        QVERIFY(timer.elapsed() < 5000);
        QVERIFY(TImpServer::isStopped());
    }
};

KORVANE_ISOLATED_TEST_CASE(TstShutdownBeforeQml)
KORVANE_ISOLATED_TEST_CASE(TstShutdownAfterQml)
#include "tst_servershutdown.moc"
