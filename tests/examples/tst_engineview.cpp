// Textures reach views in every window: a view in a second window (its own GL context,
// shared through the application-wide share context) shows the engine's render of the root.

#include "korvane-demo/engineview.h"

#include "testhost.h"
#include "testregistry.h"

#include "engine/timpserver.h"
#include "nodes/tnoderootwithadjust.h"

#include <QQuickView>
#include <QTest>

#include <opencv2/core.hpp>

class TstEngineView : public QObject
{
    Q_OBJECT
private slots:
    void aViewInASecondWindowShowsTheRender()
    {
        TestHost host;
        qmlRegisterType<EngineView>("Korvane", 1, 0, "EngineView");
        std::unique_ptr<QQuickView> serverWindow;
        TImpServer* server = host.showServer(serverWindow);
        QVERIFY(server);

        auto viewWindow = host.show("import QtQuick 2.15\nimport Korvane 1.0\n"
                                    "Rectangle { color: \"black\"; EngineView { objectName: \"view\"; anchors.fill: parent } }");
        QVERIFY(viewWindow);
        QVERIFY(viewWindow->openglContext() != serverWindow->openglContext());
        auto* view = viewWindow->rootObject()->findChild<EngineView*>("view");
        QVERIFY(view);
        view->setNode(qobject_cast<TNodeRootWithAdjust*>(server->rootNode()));
        // Opaque (40, 160, 220) everywhere: whatever part of the view the image covers shows it.
        qobject_cast<TNodeRootWithAdjust*>(server->rootNode())->setInput(TSMat(cv::Mat(30, 40, CV_8UC4, cv::Scalar(40, 160, 220, 255))));
        QTRY_VERIFY_WITH_TIMEOUT(view->hasImage(), 10000);

        QColor centre;
        QTRY_VERIFY_WITH_TIMEOUT((centre = viewWindow->grabWindow().pixelColor(160, 120),
                                  std::abs(centre.red() - 40) <= 2 && std::abs(centre.green() - 160) <= 2
                                      && std::abs(centre.blue() - 220) <= 2),
                                 5000);
        TImpServer::discardQueue();
    }
};

KORVANE_TEST_CASE(TstEngineView)
#include "tst_engineview.moc"
