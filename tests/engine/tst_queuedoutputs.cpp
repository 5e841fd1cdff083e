// What views and files receive when edits, undo and saves share the queue: undo delivers the
// earlier picture, image loads survive undo, and queued saves to different files all land.

#include "renderprobe.h"
#include "testhost.h"
#include "korvanetest.h"

#include "engine/timpserver.h"
#include "nodes/tnoderootwithadjust.h"

#include <opencv2/imgcodecs.hpp>

class TstQueuedOutputs : public QObject
{
    Q_OBJECT
private:
    TestHost m_host;
    std::unique_ptr<QQuickView> m_view;
    TImpServer* m_server = nullptr;
    TNodeRootWithAdjust* m_root = nullptr;

    void settle()
    {
        m_root->setUndoPoint();
        QTRY_VERIFY(TestHost::queueDrained());
    }

private slots:
    void initTestCase()
    {
        m_server = m_host.showServer(m_view);
        QVERIFY(m_server);
        m_root = qobject_cast<TNodeRootWithAdjust*>(m_server->rootNode());
        m_root->setInput(TSMat(cv::Mat(12, 16, CV_8UC4, cv::Scalar(90, 120, 150, 255))));
        settle();
    }

    void undoDeliversTheEarlierPicture()
    {
        const cv::Mat before = renderedOutput(m_root);
        QVERIFY(!before.empty());
        m_root->setBrightness(m_root->brightness() + 0.3f);
        settle();
        const cv::Mat edited = renderedOutput(m_root);
        QVERIFY(!edited.empty());
        QVERIFY(cv::norm(edited, before, cv::NORM_INF) > 1000);
        m_server->undo();
        QTRY_VERIFY(TestHost::queueDrained());
        const cv::Mat undone = renderedOutput(m_root);
        QVERIFY(!undone.empty());
        QCOMPARE(cv::norm(undone, before, cv::NORM_INF), 0.0);
    }

    void imageLoadsSurviveUndo()
    {
        m_root->setInput(TSMat(cv::Mat(10, 20, CV_8UC4, cv::Scalar(200, 30, 60, 255))));
        settle();
        m_root->setContrast(m_root->contrast() + 0.2f);
        settle();
        m_server->undo();
        QTRY_VERIFY(TestHost::queueDrained());
        m_server->undo();
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(m_root->canvasSize(), QSize(20, 10));
        const cv::Mat out = renderedOutput(m_root);
        QCOMPARE(out.cols, 20);
        QCOMPARE(out.rows, 10);
    }

    void queuedSavesToDifferentFilesAllLand()
    {
        QTemporaryDir dir;
        const QVariantMap png{{"IMAGE_FORMAT", "PNG"}, {"PNG_COMPRESSION", "DEFAULT"}, {"PNG_INTERLACE", "NONE"},
                              {"PNG_BITDEPTH", "8 bit"}, {"COLOR_SPACE", "DEFAULT"}};
        QSignalSpy finished(m_root, &TNodeRoot::saveFinished);
        // An edit with its render, then two saves, all in one turn of the event loop.
        m_root->setBrightness(m_root->brightness() + 0.05f);
        m_root->saveOutputToFile(QUrl::fromLocalFile(dir.filePath("first.png")), png);
        m_root->saveOutputToFile(QUrl::fromLocalFile(dir.filePath("second.png")), png);
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 20000);
        for (const QList<QVariant>& args : finished)
            QVERIFY2(args.at(1).toString().isEmpty(), qPrintable(args.at(1).toString()));
        QCOMPARE(cv::imread(dir.filePath("first.png").toStdString()).cols, 20);
        QCOMPARE(cv::imread(dir.filePath("second.png").toStdString()).cols, 20);
    }
};

KORVANE_TEST_CASE(TstQueuedOutputs)
#include "tst_queuedoutputs.moc"
