#include "gpu/glcache.h"
#include "gpu/glimfilter.h"
#include "gpu/glresources.h"
#include "gpu/tsfbo.h"

#include "gpufixture.h"
#include "gputest.h"
#include "testregistry.h"

#include <QTest>

class TstGLResources : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(GpuFixture::renderThread()); }
    void teardownFreesEverythingAndPassesRebuild();
};

void TstGLResources::teardownFreesEverythingAndPassesRebuild()
{
    GLResources::LiveCounts before, after;
    int imagesBefore = 0, imagesAfter = -1, pooledAfterLateRelease = -1;
    cv::Mat rebuilt;
    const cv::Mat in = GpuTest::randomImage(6, 9, CV_8UC4, 17);
    QVERIFY(GpuFixture::onRenderThread([&] {
        imagesBefore = TSFbo::fboUsed();
        TSFbo survivor(5, 5, GL_RGBA8);
        {
            const TSFbo pooled(6, 6, GL_RGBA8);
            GLCache::set("teardown", TSFbo(7, 7, GL_RGBA8));
            GLImFilter().proc(pooled, survivor);
        }
        before = GLResources::liveCounts();
        GLResources::teardown();
        after = GLResources::liveCounts();
        // An image outliving the teardown is deleted, not pooled.
        survivor = TSFbo();
        pooledAfterLateRelease = GLCache::pooledCount();
        imagesAfter = TSFbo::fboUsed();
        // Everything is rebuilt on demand.
        const TSFbo src(in, GL_RGBA8);
        TSFbo dst(9, 6, GL_RGBA8);
        GLImFilter().proc(src, dst);
        rebuilt = dst.dataToMat(CV_8UC4, true);
    }));
    QVERIFY(before.programs > 0 && before.shaders > 0 && before.vertexBuffers > 0);
    QVERIFY(before.pooledFramebuffers > 0 && before.cachedResults > 0);
    QCOMPARE(after.programs, 0);
    QCOMPARE(after.shaders, 0);
    QCOMPARE(after.vertexBuffers, 0);
    QCOMPARE(after.pooledFramebuffers, 0);
    QCOMPARE(after.cachedResults, 0);
    QCOMPARE(pooledAfterLateRelease, 0);
    QCOMPARE(imagesAfter, imagesBefore);
    cv::Mat expected = in.clone();
    expected.reshape(1, int(expected.total())).col(3).setTo(255); // copy.frag writes alpha 1
    GPU_COMPARE_IMAGES(rebuilt, expected, 0.0, 0.0, "after_teardown");
}

KORVANE_TEST_CASE(TstGLResources)
#include "tst_glresources.moc"
