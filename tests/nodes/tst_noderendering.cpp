// The root delivering "_output_" to a subscribed view: the input placed on the canvas and
// adjusted, and a see-through canvas composited again.

#include "blendreference.h"
#include "korvanetest.h"
#include "testlayers.h"
#include "testhost.h"
#include "testnodes_host.h"

#include "engine/tfboviewprovider.h"
#include "engine/timpserver.h"
#include "engine/timpserverthread.h"
#include "nodes/tnodefactory.h"
#include "nodes/tnoderootwithadjust.h"

namespace {
cv::Vec4b outputPixel(TNodeRoot* root, int x, int y)
{
    TFboViewProvider* provider = TImpServerThread::fboViewProvider();
    const unsigned key = TFboViewProvider::key("probe", root->uid(), "_output_");
    provider->insertReq(key, QSize());
    // Counted on this thread: the provider signals from the render thread.
    int ready = 0;
    QObject receiver;
    QObject::connect(provider, &TFboViewProvider::textureReady, &receiver, [&ready] { ++ready; }, Qt::QueuedConnection);
    root->updateFbo("probe");
    if (!QTest::qWaitFor([&] { return ready > 0; }, 5000))
        return cv::Vec4b(0, 0, 0, 0);
    const cv::Mat m = onGpu([&] { return provider->display(key).dataToMat(CV_8UC4); });
    provider->removeReq(key);
    return m.empty() ? cv::Vec4b(0, 0, 0, 0) : m.at<cv::Vec4b>(y, x);
}

bool near(const cv::Vec4b& px, int r, int g, int b, int tolerance = 2)
{
    return std::abs(px[0] - r) <= tolerance && std::abs(px[1] - g) <= tolerance && std::abs(px[2] - b) <= tolerance;
}
} // namespace

class TstNodeRendering : public ServerTest
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestLayers::registerAll();
        QVERIFY(startServer());
        // A uniform (200, 100, 50) input, 16 x 12.
        m_root->setInput(TSMat(cv::Mat(12, 16, CV_8UC4, cv::Scalar(200, 100, 50, 255))));
        QTRY_VERIFY(TestHost::queueDrained());
    }

    void brightnessAndContrastAdjustTheInput()
    {
        // contrast 0.2 counts five times: factor 2; brightness 0.1.
        m_root->setContrast(0.2f);
        m_root->setBrightness(0.1f);
        QTRY_VERIFY(TestHost::queueDrained());
        auto expected = [](int v) { return std::clamp(int(std::lround(((v / 255.0 - 0.5) * 2.0 + 0.1 + 0.5) * 255)), 0, 255); };
        const cv::Vec4b alone = outputPixel(m_root, 1, 1);
        QVERIFY2(near(alone, expected(200), expected(100), expected(50)),
                 qPrintable(QString("%1 %2 %3").arg(alone[0]).arg(alone[1]).arg(alone[2])));
        m_server->createChild("FillLayer", m_root);
        QTRY_VERIFY(TestHost::queueDrained());
        auto* layer = qobject_cast<TNode*>(m_root->child(0));
        QVERIFY(layer);
        layer->setOpacity(0.0f);  // invisible: the adjusted image alone comes through
        QTRY_VERIFY(TestHost::queueDrained());
        const cv::Vec4b px = outputPixel(m_root, 1, 1);
        QVERIFY2(near(px, expected(200), expected(100), expected(50)),
                 qPrintable(QString("%1 %2 %3").arg(px[0]).arg(px[1]).arg(px[2])));
        m_root->setContrast(0.0f);
        m_root->setBrightness(0.0f);
        QVERIFY(m_server->deleteNode(layer));
        QTRY_VERIFY(TestHost::queueDrained());
    }

    void aSeeThroughCanvasIsCompositedAgain()
    {
        // The input moved right by half the canvas leaves the left half showing a
        // half-transparent blue canvas. The root lays its children's result (here, without
        // children, the placed image itself) over the placed image (NORMAL, full opacity):
        // where the canvas shows through that changes the alpha, so this composite, skipped
        // over an opaque canvas, must run.
        const QColor canvas(0, 0, 255, 128);
        const QColor before = m_root->canvasColor();
        m_root->setCanvasColor(canvas);
        m_root->setInputTranslate(QPointF(1.0, 0.0));
        QTRY_VERIFY(TestHost::queueDrained());

        const cv::Vec4d shown(canvas.redF(), canvas.greenF(), canvas.blueF(), canvas.alphaF());
        const cv::Vec4d input(200 / 255.0, 100 / 255.0, 50 / 255.0, 1.0);
        for (const auto& [x, placed] : {std::pair<int, cv::Vec4d>{2, shown}, {13, input}}) {
            const cv::Vec4d want = BlendReference::blend(TNode::BLENDMODE_NORMAL, placed, placed, 1.0);
            const cv::Vec4b px = outputPixel(m_root, x, 6);
            bool close = true;
            for (int c = 0; c < 4; ++c)
                close = close && std::abs(px[c] - want[c] * 255.0) <= 2.5;
            QVERIFY2(close, qPrintable(QString("x %1: %2 %3 %4 %5, expected %6 %7 %8 %9")
                                           .arg(x).arg(px[0]).arg(px[1]).arg(px[2]).arg(px[3])
                                           .arg(want[0] * 255).arg(want[1] * 255).arg(want[2] * 255)
                                           .arg(want[3] * 255)));
        }
        m_root->setInputTranslate(QPointF());
        m_root->setCanvasColor(before);
        QTRY_VERIFY(TestHost::queueDrained());
    }
};

KORVANE_TEST_CASE(TstNodeRendering)
#include "tst_noderendering.moc"
