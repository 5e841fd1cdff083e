// Textures reach views in every window: a view in a second window (its own GL context,
// shared through the application-wide share context) shows the engine's render of the root,
// and a view smaller than the image shows its fine detail averaged, not aliased.

#include "korvane-demo/engineview.h"

#include "hostnodes/colorchart.h"
#include "testhost.h"
#include "testregistry.h"

#include "engine/timpserver.h"
#include "nodes/tnoderootwithadjust.h"

#include <QQuickView>
#include <QTest>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

class TstEngineView : public QObject
{
    Q_OBJECT
    TestHost m_host;
    std::unique_ptr<QQuickView> m_serverWindow;
    TImpServer* m_server = nullptr;

    // A second window with a view of the root filling it.
    std::unique_ptr<QQuickView> showView(const QSize& size, EngineView** view)
    {
        auto window = m_host.show("import QtQuick 2.15\nimport Korvane 1.0\n"
                                  "Rectangle { color: \"black\"; EngineView { objectName: \"view\"; anchors.fill: parent } }");
        if (!window)
            return window;
        window->resize(size);
        *view = window->rootObject()->findChild<EngineView*>("view");
        if (*view)
            (*view)->setNode(qobject_cast<TNode*>(m_server->rootNode()));
        return window;
    }

private slots:
    void initTestCase()
    {
        qmlRegisterType<EngineView>("Korvane", 1, 0, "EngineView");
        m_server = m_host.showServer(m_serverWindow);
        QVERIFY(m_server);
    }

    void cleanup() { TImpServer::discardQueue(); }

    void aViewInASecondWindowShowsTheRender()
    {
        EngineView* view = nullptr;
        auto viewWindow = showView(QSize(320, 240), &view);
        QVERIFY(viewWindow && view);
        QVERIFY(viewWindow->openglContext() != m_serverWindow->openglContext());
        // Opaque (40, 160, 220) everywhere: whatever part of the view the image covers shows it.
        qobject_cast<TNodeRootWithAdjust*>(m_server->rootNode())->setInput(TSMat(cv::Mat(30, 40, CV_8UC4, cv::Scalar(40, 160, 220, 255))));
        QTRY_VERIFY_WITH_TIMEOUT(view->hasImage(), 10000);

        QColor centre;
        QTRY_VERIFY_WITH_TIMEOUT((centre = viewWindow->grabWindow().pixelColor(160, 120),
                                  std::abs(centre.red() - 40) <= 2 && std::abs(centre.green() - 160) <= 2
                                      && std::abs(centre.blue() - 220) <= 2),
                                 5000);
    }

    // The chart's zone plate, 3000 pixels wide, in a 900-pixel view: its rings up to the
    // rim must look like the image reduced by area (smooth grey where they are too fine),
    // not like a sampling of it (strong moire).
    void theViewAveragesWhatItShrinks()
    {
        const cv::Mat chart = ColorChart::make(QSize(3000, 2000));
        EngineView* view = nullptr;
        auto viewWindow = showView(QSize(900, 600), &view);
        QVERIFY(viewWindow && view);
        qobject_cast<TNodeRootWithAdjust*>(m_server->rootNode())->setInput(TSMat(chart));
        cv::Mat expected;
        cv::resize(chart, expected, cv::Size(900, 600), 0, 0, cv::INTER_AREA);
        const cv::Rect plate(450 + 8, int(600 * 0.54) + 8, 450 - 16, int(600 * 0.28) - 16);
        double psnr = 0;
        QTRY_VERIFY2_WITH_TIMEOUT((psnr = greyPsnr(viewWindow->grabWindow(), expected, plate)) >= 35.0,
                                  qPrintable(QString("zone plate PSNR %1 dB").arg(psnr)), 20000);
    }

private:
    // PSNR (dB, 8 bits) of a window grab's grey against 16-bit RGBA `expected` over `area`.
    static double greyPsnr(const QImage& grab, const cv::Mat& expected, const cv::Rect& area)
    {
        if (grab.width() < expected.cols || grab.height() < expected.rows)
            return 0.0;
        double squares = 0;
        for (int y = area.y; y < area.y + area.height; ++y)
            for (int x = area.x; x < area.x + area.width; ++x) {
                const double want = expected.at<cv::Vec4w>(y, x)[1] / 257.0;
                const double d = qGreen(grab.pixel(x, y)) - want;
                squares += d * d;
            }
        const double mse = squares / double(area.area());
        return mse <= 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
    }
};

KORVANE_TEST_CASE(TstEngineView)
#include "tst_engineview.moc"
