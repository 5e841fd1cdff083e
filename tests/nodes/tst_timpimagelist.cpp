// The image list as QML uses it: declared on its own beside the server, it loads, browses and
// saves by itself; opening is not an undo step; bad URLs are reported.

#include "renderprobe.h"
#include "testhost.h"
#include "korvanetest.h"

#include "engine/timpserver.h"
#include "engine/timpserverthread.h"
#include "io/imageiomanager.h"
#include "io/workspace.h"
#include "nodes/timpimagelist.h"
#include "nodes/timpimagelistworker.h"
#include "nodes/tnodefactory.h"
#include "nodes/tnoderoot.h"

#include <QQuickItem>
#include <QQuickView>

#include <OpenImageIO/imageio.h>
#include <opencv2/imgcodecs.hpp>

namespace {
cv::Mat currentImageOf(TImpImageList* list)
{
    cv::Mat image;
    QMetaObject::invokeMethod(TImpServer::impThread(), [&] {
        if (auto* w = qobject_cast<TImpImageListWorker*>(TImprocWorker::ptr(unsigned(list->uid()))))
            image = w->currentImage().clone();
    }, Qt::BlockingQueuedConnection);
    return image;
}
} // namespace

class TstTImpImageList : public ServerTest
{
    Q_OBJECT
    QTemporaryDir m_dir;
    TImpImageList* m_list = nullptr;

private slots:
    void initTestCase()
    {
        QVERIFY(startServer("import QtQuick 2.15\nimport Korvane 1.0\n"
                            "Item { TImpImageList { objectName: \"list\" }\n"
                            "       TImpServer { objectName: \"server\"; anchors.fill: parent } }"));
        m_list = m_view->rootObject()->findChild<TImpImageList*>("list");
        QVERIFY(m_list);
    }

    void opensBrowsesAndSavesOnItsOwn()
    {
        cv::Mat pixels(30, 40, CV_16UC4);
        cv::randu(pixels, 0, 65535);
        pixels.reshape(1, int(pixels.total())).col(3).setTo(65535);
        const QString path = m_dir.filePath("photo.tif");
        {
            // Written with metadata, which a save of the list must carry along.
            OIIO::ImageSpec spec(40, 30, 4, OIIO::TypeDesc::UINT16);
            spec.attribute("Artist", "list test");
            auto out = OIIO::ImageOutput::create(path.toStdString());
            QVERIFY(out && out->open(path.toStdString(), spec));
            QVERIFY(out->write_image(OIIO::TypeDesc::UINT16, pixels.data));
            out->close();
        }
        const TSMat expected = ImageIOManager::tryLoadFile(path, Workspace::colorManagmentSystem());
        QVERIFY(!expected.isEmpty());

        QTRY_VERIFY(TestHost::queueDrained());
        const bool couldUndo = m_server->canUndo();
        QSignalSpy sizes(m_list, &TImpImageList::imageSizeChanged);
        m_list->setImageUrl(QUrl::fromLocalFile(path));
        QTRY_COMPARE(m_list->count(), 1);
        QTRY_COMPARE(m_list->index(), 0);
        QTRY_COMPARE(sizes.count(), 1);
        QCOMPARE(sizes.at(0).at(0).toSize(), QSize(40, 30));
        QVERIFY(cv::norm(currentImageOf(m_list), expected.mat(), cv::NORM_INF) == 0.0);
        QCOMPARE(m_server->canUndo(), couldUndo);
        m_list->setImageUrl(QUrl::fromLocalFile(path)); // the same URL: no second load
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(sizes.count(), 1);
        QVERIFY(!m_list->bCanNext() && !m_list->bCanPrev());
        m_list->next();
        m_list->prev();
        QCOMPARE(m_list->index(), 0);

        QSignalSpy saved(m_list, &TImpImageList::saveFinished);
        const QString out = m_dir.filePath("saved.tif");
        m_list->saveOutputToFile(QUrl::fromLocalFile(out), saveOptions("TIFF"));
        QTRY_COMPARE(saved.count(), 1);
        QCOMPARE(saved.at(0).at(1).toString(), QString());
        const TSMat back = ImageIOManager::tryLoadFile(out, Workspace::colorManagmentSystem());
        QVERIFY(!back.isEmpty() && cv::norm(back.mat(), expected.mat(), cv::NORM_INF) == 0.0);
        auto reread = OIIO::ImageInput::open(out.toStdString());
        QVERIFY(reread);
        QCOMPARE(reread->spec().get_string_attribute("Artist"), std::string("list test"));
    }

    // Inside a tree the list loads in its own step and changes no pixel.
    void inATreeItLoadsAndChangesNothing()
    {
        auto* root = qobject_cast<TNodeRoot*>(m_server->rootNode());
        cv::Mat input(24, 32, CV_16UC4);
        cv::randu(input, 0, 65535);
        root->setInput(TSMat(input));
        const cv::Mat without = renderedOutput(root);
        QVERIFY(!without.empty());
        auto* inside = qobject_cast<TImpImageList*>(TestHost::addChild(m_server, "TImpImageList", root));
        QVERIFY(inside);
        cv::Mat pixels(8, 8, CV_16UC4, cv::Scalar::all(1000));
        const QString path = m_dir.filePath("inside.tif");
        QVERIFY(cv::imwrite(path.toStdString(), pixels));
        inside->setImageUrl(QUrl::fromLocalFile(path));
        const cv::Mat with = renderedOutput(root);
        QTRY_COMPARE(inside->count(), 1);
        QVERIFY(!with.empty() && cv::norm(with, without, cv::NORM_INF) == 0.0);
        m_server->deleteNode(inside);
        QTRY_VERIFY(TestHost::queueDrained());
    }

    // Another class outside any tree cannot save: it says so instead of failing silently.
    void aStandaloneNodeOfAnotherClassCannotSave()
    {
        std::unique_ptr<TNode> standalone(TNodeFactory::create(QStringLiteral("HostLayer"), nullptr, 0));
        QVERIFY(standalone);
        QSignalSpy errors(standalone.get(), &TImproc::errorMessage);
        standalone->saveOutputToFile(QUrl::fromLocalFile(m_dir.filePath("never.png")), {});
        QTRY_COMPARE(errors.count(), 1);
        QVERIFY(errors.at(0).at(0).toString().contains("is in no tree and cannot save"));
        QVERIFY(!QFile::exists(m_dir.filePath("never.png")));
    }

    void aBadUrlIsReported()
    {
        QSignalSpy errors(m_list, &TImproc::errorMessage);
        QSignalSpy sizes(m_list, &TImpImageList::imageSizeChanged);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("URL in wrong scheme"));
        m_list->setImageUrl(QUrl("https://example.com/photo.jpg"));
        QTRY_COMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("ERROR - URL in wrong scheme!!!"));
        QTRY_COMPARE(sizes.count(), 1);
        QCOMPARE(sizes.at(0).at(0).toSize(), QSize(0, 0));
    }
};

KORVANE_TEST_CASE(TstTImpImageList)
#include "tst_timpimagelist.moc"
