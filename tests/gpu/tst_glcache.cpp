#include "gpu/glcache.h"
#include "korvanetest.h"

#include <thread>

namespace {
// 64 x 64 RGBA8: 16 KB of cost.
constexpr int kEntryKB = 16;

TSFbo entry(int value)
{
    return TSFbo(cv::Mat(64, 64, CV_8UC4, cv::Scalar::all(value)), GL_RGBA8);
}
} // namespace

class TstGLCache : public QObject
{
    Q_OBJECT
    int m_savedKB = 0;
    int m_savedCount = 0;

private slots:
    void initTestCase() { QVERIFY(GpuFixture::renderThread()); }

    void init()
    {
        m_savedKB = GLCache::maxKB();
        m_savedCount = GLCache::maxCount();
        QVERIFY(GpuFixture::onRenderThread([] { GLCache::clearAll(true); }));
    }

    void cleanup()
    {
        QVERIFY(GpuFixture::onRenderThread([this] {
            GLCache::clearAll(true);
            GLCache::setMax(m_savedKB, m_savedCount);
        }));
    }

    void evictsLeastRecentlyUsed()
    {
        bool a = false, b = true, c = false, d = false;
        const uint cost = onGpu([&] {
            GLCache::setMax(int(3 * kEntryKB / 0.7) + 1, 24); // room for three entries
            const TSFbo fa = entry(1), fb = entry(2), fc = entry(3), fd = entry(4);
            GLCache::set("a", fa);
            GLCache::set("b", fb);
            GLCache::set("c", fc);
            GLCache::get("a", 0); // a becomes the most recently used, b the least
            GLCache::set("d", fd);
            a = GLCache::contains("a", fa.uid());
            b = GLCache::contains("b", fb.uid());
            c = GLCache::contains("c", fc.uid());
            d = GLCache::contains("d", fd.uid());
            return GLCache::fboCacheKB();
        });
        QCOMPARE((QVector<bool>{a, b, c, d}), (QVector<bool>{true, false, true, true}));
        QCOMPARE(cost, uint(3 * kEntryKB));
    }

    // Spare entries live in the room the others leave: a regular entry pushes the oldest
    // spare out, never the other way round.
    void sparesGiveWayFirst()
    {
        QVector<bool> kept;
        onGpu([&] {
            GLCache::setMax(int(3 * kEntryKB / 0.7) + 1, 24); // room for three entries
            const TSFbo fa = entry(1), fs1 = entry(2), fs2 = entry(3), fb = entry(4), fs3 = entry(5), fc = entry(6);
            GLCache::set("a", fa);
            GLCache::setSpare("s1", fs1);
            GLCache::setSpare("s2", fs2);
            GLCache::set("b", fb);    // the cache is full: s1, the older spare, goes
            GLCache::setSpare("s3", fs3); // no room left but a spare's: s2 goes
            GLCache::set("c", fc);    // only the spare s3 is left to go
            for (const auto& [key, fbo] : {std::pair{"a", fa}, {"b", fb}, {"c", fc}, {"s1", fs1}, {"s2", fs2}, {"s3", fs3}})
                kept << GLCache::contains(key, fbo.uid());
            return 0;
        });
        QCOMPARE(kept, (QVector<bool>{true, true, true, false, false, false}));
    }

    void uidValidation_data()
    {
        QTest::addColumn<bool>("askSameUid");
        QTest::addColumn<bool>("askAnyUid");
        QTest::addColumn<bool>("found");
        QTest::newRow("stored uid") << true << false << true;
        QTest::newRow("uid 0 takes any") << false << true << true;
        QTest::newRow("other uid removes the entry") << false << false << false;
    }

    void uidValidation()
    {
        QFETCH(bool, askSameUid);
        QFETCH(bool, askAnyUid);
        QFETCH(bool, found);
        bool hit = false, stillThere = false;
        GLuint storedTexture = 0, gotTexture = 0;
        QVERIFY(GpuFixture::onRenderThread([&] {
            const TSFbo stored = entry(9);
            storedTexture = stored.texture();
            GLCache::set("key", stored);
            const uint asked = askSameUid ? stored.uid() : askAnyUid ? 0 : stored.uid() + 1;
            const TSFbo got = GLCache::get("key", asked);
            hit = !got.isEmpty();
            gotTexture = got.texture();
            stillThere = GLCache::contains("key", stored.uid());
        }));
        QCOMPARE(hit, found);
        QCOMPARE(stillThere, found);
        if (found)
            QCOMPARE(gotTexture, storedTexture); // a hit is the shared handle, no GPU copy
    }

    void ramCopyIsUploadedForItsExactUid()
    {
        const cv::Mat pixels = GpuTest::randomImage(12, 10, CV_8UC4, 21);
        uint uid = 0, gotUid = 0;
        QString gotName;
        cv::Mat back;
        bool gpuLevelUsed = true, foundWithZero = true, foundAfterZero = true;
        QVERIFY(GpuFixture::onRenderThread([&] {
            TSFbo f(pixels, GL_RGBA8);
            f.setName("ram");
            uid = f.uid();
            GLCache::set("ram", f, GLCache::FboCacheRam);
            gpuLevelUsed = GLCache::fboCacheKB() > 0;
            const TSFbo got = GLCache::get("ram", uid);
            gotUid = got.uid();
            gotName = got.name();
            back = got.dataToMat(CV_8UC4, true);
            foundWithZero = !GLCache::get("ram", 0).isEmpty(); // uid 0 drops a RAM copy
            foundAfterZero = GLCache::contains("ram", uid);
        }));
        QVERIFY(!gpuLevelUsed);
        QCOMPARE(gotUid, uid);
        QCOMPARE(gotName, QString("ram"));
        GPU_COMPARE_IMAGES(back, pixels, 0.0, 0.0, "ram_copy_upload");
        QVERIFY(!foundWithZero);
        QVERIFY(!foundAfterZero);
    }

    void poolReuse_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<uint>("format");
        QTest::addColumn<bool>("reused");
        QTest::newRow("same size and format") << QSize(31, 17) << uint(GL_RGBA8) << true;
        QTest::newRow("other format") << QSize(31, 17) << uint(GL_RGBA16F) << false;
        QTest::newRow("other size") << QSize(17, 31) << uint(GL_RGBA8) << false;
    }

    void poolReuse()
    {
        QFETCH(QSize, size);
        QFETCH(uint, format);
        QFETCH(bool, reused);
        GLuint first = 0, second = 0;
        int pooledAfterRelease = 0, pooledAfterTake = 0;
        QVERIFY(GpuFixture::onRenderThread([&] {
            {
                const TSFbo a(31, 17, GL_RGBA8);
                first = a.texture();
            }
            pooledAfterRelease = GLCache::pooledCount();
            const TSFbo b(size, format);
            second = b.texture();
            pooledAfterTake = GLCache::pooledCount();
        }));
        QCOMPARE(pooledAfterRelease, 1);
        QCOMPARE(pooledAfterTake, reused ? 0 : 1);
        if (reused)
            QCOMPARE(second, first);
        else
            QVERIFY(second != first);
    }

    void lastHandleOnAnotherThreadOnlyQueues()
    {
        TSFbo handedOver;
        int pooledBefore = -1, deletedBefore = -1;
        QVERIFY(GpuFixture::onRenderThread([&] {
            GLCache::setMax(2048000, 2);
            handedOver = TSFbo(40, 30, GL_RGBA8);
            { const TSFbo a(41, 30, GL_RGBA8), b(42, 30, GL_RGBA8); } // the pool is full now
            pooledBefore = GLCache::pooledCount();
            deletedBefore = GLCache::stats().poolDeleted;
        }));
        QCOMPARE(pooledBefore, 2);

        // The last handle dies on a thread without a GL context: the framebuffer is queued over
        // the limit, not deleted (which would be a GL call there).
        std::thread worker([f = std::move(handedOver)]() mutable { f = TSFbo(); });
        worker.join();
        QCOMPARE(GLCache::pooledCount(), 3);
        QCOMPARE(GLCache::stats().poolDeleted, deletedBefore);
        QCOMPARE(GLCache::delayDestroyBuffersKB(), 12u); // 4 KB each (40, 41, 42 x 30 RGBA8)

        // The render thread's next pool call trims it back to the limit, oldest first.
        int pooledAfter = -1, deletedAfter = -1;
        QVERIFY(GpuFixture::onRenderThread([&] {
            const TSFbo next(7, 7, GL_RGBA8);
            pooledAfter = GLCache::pooledCount();
            deletedAfter = GLCache::stats().poolDeleted;
        }));
        QCOMPARE(pooledAfter, 2);
        QCOMPARE(deletedAfter, deletedBefore + 1);
    }
};


KORVANE_TEST_CASE(TstGLCache)
#include "tst_glcache.moc"
