// Rendered framebuffers reaching views: the provider's subscriptions, copies, resizes and
// forgetting, and the synchronous draw into a view with its timeout and request pairing.

#include "korvanetest.h"
#include "pixelview.h"

#include "engine/tdrawtexturebase.h"
#include "engine/tfboviewprovider.h"
#include "engine/timpserverthread.h"

#include <opencv2/imgproc.hpp>

#include <QElapsedTimer>
#include <QTimer>
#include <atomic>

namespace {
// A w x h RGBA8 image whose red channel is the column index and green the row index.
cv::Mat ramp(int w, int h)
{
    cv::Mat m(h, w, CV_8UC4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            m.at<cv::Vec4b>(y, x) = cv::Vec4b(uchar(x), uchar(y), 7, 255);
    return m;
}

TSFbo upload(const cv::Mat& m)
{
    return onGpu([&] { return TSFbo(m, GL_RGBA8); });
}

cv::Mat download(const TSFbo& fbo)
{
    return onGpu([&] { return fbo.dataToMat(CV_8UC4); });
}

void deliver(TFboViewProvider& p, const QString& tag, int uid, const QString& id, const TSFbo& fbo)
{
    GpuFixture::onRenderThread([&] { p.procOutputFbo(tag, uid, id, fbo); });
}
} // namespace

class TstTFboViewProvider : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(GpuFixture::renderThread()); }

    void secondSubscriberIsAnsweredAtOnce()
    {
        TFboViewProvider p;
        QSignalSpy ready(&p, &TFboViewProvider::textureReady);
        p.insertReq(1, QSize());
        QCOMPARE(ready.count(), 0);
        p.insertReq(1, QSize());
        QCOMPARE(p.viewerCount(1), 2);
        QCOMPARE(ready.count(), 1);
        QCOMPARE(ready.first().at(1).toInt(), 0);  // nothing rendered yet
    }

    void outputsAreCopiedAtTheirOwnSize()
    {
        TFboViewProvider p;
        const unsigned k = TFboViewProvider::key("t", 9, "_output_");
        QSignalSpy ready(&p, &TFboViewProvider::textureReady);
        deliver(p, "nobody", 9, "_output_", upload(ramp(8, 6)));
        QCOMPARE(ready.count(), 0);

        p.insertReq(k, QSize());
        const cv::Mat source = ramp(30, 20);
        deliver(p, "t", 9, "_output_", upload(source));
        QCOMPARE(ready.count(), 1);
        const int texture = ready.last().at(1).toInt();
        QVERIFY(texture != 0);
        QCOMPARE(ready.last().at(2).toSize(), QSize(30, 20));
        // Same size again: same display texture, nearest copy, pixels identical.
        deliver(p, "t", 9, "_output_", upload(source));
        QCOMPARE(ready.last().at(1).toInt(), texture);
    }

    void requestedSizesCropAroundTheCentre()
    {
        TFboViewProvider p;
        const unsigned k = TFboViewProvider::key("", 3, "_output_");
        p.insertReq(k, QSize(20, 20));
        deliver(p, "", 3, "_output_", upload(ramp(100, 50)));
        const cv::Mat shown = download(p.display(k));
        QCOMPARE(shown.cols, 20);
        QCOMPARE(shown.rows, 20);
        // A 100 x 50 output shown at 20 x 20 is its centred 50 x 50 square (columns 25..75),
        // scaled by 2.5 with bilinear filtering; the ramp makes the sampled position visible.
        for (int i = 0; i < 20; ++i) {
            for (int j = 0; j < 20; ++j) {
                const double srcX = 25 + (j + 0.5) * 2.5 - 0.5;
                const double srcY = (i + 0.5) * 2.5 - 0.5;
                const cv::Vec4b px = shown.at<cv::Vec4b>(i, j);
                QVERIFY2(std::abs(px[0] - srcX) <= 1.0 && std::abs(px[1] - srcY) <= 1.0,
                         qPrintable(QString("pixel %1,%2 shows %3,%4").arg(j).arg(i).arg(px[0]).arg(px[1])));
            }
        }
    }

    // Smaller views take each pixel as the mean of the output pixels it covers: a one-pixel
    // grating shows as its mean grey, not as moire (a bilinear copy shows 0.625 for 0.47).
    void smallerViewsAreReducedByArea()
    {
        TFboViewProvider p;
        const unsigned k = TFboViewProvider::key("", 4, "_output_");
        p.insertReq(k, QSize(80, 40));
        cv::Mat grating(150, 300, CV_8UC4, cv::Scalar(0, 0, 0, 255));
        for (int x = 1; x < grating.cols; x += 2)
            grating.col(x).setTo(cv::Scalar(255, 255, 255, 255));
        deliver(p, "", 4, "_output_", upload(grating));
        cv::Mat expected;
        cv::resize(grating, expected, cv::Size(80, 40), 0, 0, cv::INTER_AREA);
        GPU_COMPARE_IMAGES(download(p.display(k)), expected, 2.0, 0.0, "view_area_reduction");
    }

    void viewersReleaseTheOldFramebufferAfterAResize()
    {
        TFboViewProvider p;
        const unsigned k = TFboViewProvider::key("r", 1, "");
        p.insertReq(k, QSize());
        const int before = TSFbo::fboUsed();
        deliver(p, "r", 1, "", upload(ramp(10, 10)));
        deliver(p, "r", 1, "", upload(ramp(12, 10)));
        // The 10 x 10 display framebuffer is kept for the viewer that may still draw it.
        QCOMPARE(TSFbo::fboUsed(), before + 2);
        p.releaseTexture(k);
        deliver(p, "r", 1, "", upload(ramp(12, 10)));
        QCOMPARE(TSFbo::fboUsed(), before + 1);
    }

    void keysNobodyWatchesAreForgotten()
    {
        TFboViewProvider p;
        const int before = TSFbo::fboUsed();
        const TSFbo output = upload(ramp(4, 4));
        for (unsigned k = 1; k <= 1000; ++k) {
            p.insertReq(k, QSize());
            GpuFixture::onRenderThread([&] { p.procOutputFbo(QString(), 0, QString(), TSFbo()); });
        }
        for (unsigned k = 1; k <= 1000; ++k) {
            const QString tag = QString::number(k);
            const unsigned key = TFboViewProvider::key(tag, 0, "");
            p.insertReq(key, QSize());
            deliver(p, tag, 0, "", output);
            p.removeReq(key);
            p.removeReq(k);
        }
        QCOMPARE(p.entryCount(), 0);
        GpuFixture::onRenderThread([] {});
        QCOMPARE(TSFbo::fboUsed(), before + 1);  // only `output` itself is left
    }

    void receiversMayCallBackIntoTheProvider()
    {
        TFboViewProvider p;
        const unsigned k = 77;
        int answered = 0;
        bool inside = false;
        connect(&p, &TFboViewProvider::textureReady, this, [&](uint key) {
            ++answered;
            if (inside)
                return;
            inside = true;
            p.releaseTexture(key);
            p.emitTexture(key);
            inside = false;
        }, Qt::DirectConnection);
        p.insertReq(k, QSize());
        p.insertReq(k, QSize());
        QCOMPARE(answered, 1);
        deliver(p, "", 0, "", upload(ramp(4, 4)));
        const unsigned k2 = TFboViewProvider::key("", 0, "");
        p.insertReq(k2, QSize());
        deliver(p, "", 0, "", upload(ramp(4, 4)));
        // The slot re-announces from inside the announcement: a relocked mutex would hang here.
        QVERIFY(answered >= 3);
    }
};

// A view that draws by recording, and answers either at once or after a delay.
class RecordingView : public TDrawTextureBase
{
    Q_OBJECT
public:
    std::atomic<int> draws{0};
    int answerDelayMs = 0;   // < 0: never answer
    QList<int> nextDelays;   // per request, before answerDelayMs applies
protected slots:
    void drawTexture(uint, QSize, float) override
    {
        ++draws;
        const int delay = nextDelays.isEmpty() ? answerDelayMs : nextDelays.takeFirst();
        if (delay == 0)
            doneDrawing();
        else if (delay > 0)
            QTimer::singleShot(delay, this, [this] { doneDrawing(); });
    }
};

class TstTDrawTextureBase : public QObject
{
    Q_OBJECT
private:
    // Starts a synchronous draw on the render thread and returns at once; the result and
    // the time the render thread waited arrive in `done` and `waitedMs`.
    void startDraw(const TSFbo& fbo, uint uid, std::atomic<int>& done, std::atomic<qint64>& waitedMs)
    {
        QMetaObject::invokeMethod(GpuFixture::renderThread(), [fbo, uid, &done, &waitedMs] {
            QElapsedTimer t;
            t.start();
            const bool found = TDrawTextureBase::drawToTGLImageView(fbo, uid);
            waitedMs = t.elapsed();
            done = found ? 1 : 2;
        }, Qt::QueuedConnection);
    }

private slots:
    void initTestCase() { QVERIFY(GpuFixture::renderThread()); }

    void drawWaitsForTheView()
    {
        RecordingView view;
        std::atomic<int> done{0};
        std::atomic<qint64> waited{0};
        view.answerDelayMs = 100;
        startDraw(upload(ramp(4, 4)), view.uid(), done, waited);
        QTRY_COMPARE(done.load(), 1);
        QCOMPARE(view.draws.load(), 1);
        QVERIFY(waited.load() >= 90);
        QVERIFY(!view.isDrawing());
        // A view that does not exist is refused at once.
        QVERIFY(!onGpu([&] { return TDrawTextureBase::drawToTGLImageView(TSFbo(), 123456789); }));
    }

    void viewsCanBeCreatedWhileADrawWaits()
    {
        RecordingView silent;
        silent.answerDelayMs = -1;
        std::atomic<int> done{0};
        std::atomic<qint64> waited{0};
        startDraw(upload(ramp(4, 4)), silent.uid(), done, waited);
        QTest::qWait(50);  // the render thread is now waiting for `silent`
        QElapsedTimer t;
        t.start();
        { RecordingView another; }
        QVERIFY2(t.elapsed() < 200, "creating a view stalled behind a waiting draw");
        QTRY_COMPARE(done.load(), 1);
        QVERIFY(waited.load() >= 450);  // timed out
    }

    // A view that answers after the render thread stopped waiting still reads the image it
    // was sent (its framebuffer is kept from the pool, which would hand it out again at
    // once); of two requests it gets to late, only the newer is drawn.
    void aLateViewDrawsTheImageItWasSent()
    {
        PixelView view;
        const cv::Mat source = ramp(4, 4);
        std::atomic<int> first{0}, second{0};
        std::atomic<qint64> waited{0};
        startDraw(upload(source), view.uid(), first, waited);
        QThread::msleep(650); // this thread busy: the request times out
        QCOMPARE(first.load(), 1);
        GpuFixture::onRenderThread([] { TSFbo(cv::Mat(4, 4, CV_8UC4, cv::Scalar::all(7)), GL_RGBA8); });
        QTRY_COMPARE(view.draws, 1);
        cv::Mat seen;
        view.last.convertTo(seen, CV_8UC4, 255.0);
        QCOMPARE(cv::norm(seen, source, cv::NORM_INF), 0.0);

        startDraw(upload(ramp(4, 4)), view.uid(), first, waited);
        startDraw(upload(cv::Mat(4, 4, CV_8UC4, cv::Scalar(1, 2, 3, 255))), view.uid(), second, waited);
        QThread::msleep(1200);
        QTRY_COMPARE(second.load(), 1);
        QTRY_COMPARE(view.draws, 2);
        QTest::qWait(50);
        QCOMPARE(view.draws, 2);
        QCOMPARE(view.last.at<cv::Vec4f>(0, 0)[2], 3.f / 255);
    }
};

KORVANE_TEST_CASE(TstTFboViewProvider)
KORVANE_TEST_CASE(TstTDrawTextureBase)
#include "tst_texturedelivery.moc"
