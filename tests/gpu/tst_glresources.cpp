// The GL objects the library shares and frees: the quad's buffers with one owner, programs
// and shaders compiled once and shared, compile and link failures reported once, and a
// teardown that frees everything and rebuilds on demand.

#include "gpu/glcache.h"
#include "gpu/glimfilter.h"
#include "gpu/glprog.h"
#include "gpu/glresources.h"
#include "gpu/glvertices.h"
#include "korvanetest.h"

#include <malloc.h>
#include <type_traits>

namespace {

const QByteArray kRedFrag = "#version 330 core\nin vec2 vUV;\nout vec4 vColor;\n"
                            "void main() { vColor = vec4(1.0, 0.0, 0.0, 1.0); }\n";
const QByteArray kGreenFrag = "#version 330 core\nin vec2 vUV;\nout vec4 vColor;\n"
                              "void main() { vColor = vec4(0.0, 1.0, 0.0, 1.0); }\n";
const QByteArray kVert = "#version 330 core\nlayout(location = 0) in vec3 vPosition;\nout vec2 vUV;\n"
                         "void main() { gl_Position = vec4(vPosition, 1.0); vUV = vPosition.xy; }\n";
const QByteArray kBrokenFrag = "#version 330 core\nout vec4 vColor;\nvoid main() { vColor = undeclaredThing; }\n";
// Compiles, but has no main: fails at link time.
const QByteArray kUnlinkableFrag = "#version 330 core\nout vec4 vColor;\nvoid notMain() { vColor = vec4(1.0); }\n";

} // namespace

class TstGLResources : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(GpuFixture::renderThread());
        QVERIFY(m_dir.isValid());
    }

    void haveOneOwner()
    {
        static_assert(!std::is_copy_constructible_v<GLVertices>, "GL objects must have one owner");
        static_assert(!std::is_copy_assignable_v<GLVertices>, "GL objects must have one owner");
        bool sameQuad = false, setUp = false;
        int quadCount = 0, buffersWith = 0, buffersAfter = 0;
        GLenum quadMode = 0;
        QVERIFY(GpuFixture::onRenderThread([&] {
            sameQuad = &GLVertices::stdRect() == &GLVertices::stdRect();
            quadCount = GLVertices::stdRect().count();
            quadMode = GLVertices::stdRect().mode();
            const int before = GLVertices::liveBuffers();
            {
                GLVertices triangle;
                setUp = triangle.setup({QVector3D(-1, -1, 0), QVector3D(1, -1, 0), QVector3D(0, 1, 0)}, GL_TRIANGLES);
                buffersWith = GLVertices::liveBuffers() - before;
            }
            buffersAfter = GLVertices::liveBuffers() - before;
        }));
        QVERIFY(sameQuad);
        QCOMPARE(quadCount, 4);
        QCOMPARE(quadMode, GLenum(GL_TRIANGLE_STRIP));
        QVERIFY(setUp);
        QCOMPARE(buffersWith, 1);
        QCOMPARE(buffersAfter, 0);
    }

    void programsAndShadersAreShared()
    {
        const QString red = GpuTest::writeShader(m_dir, "red.frag", kRedFrag);
        const QString green = GpuTest::writeShader(m_dir, "green.frag", kGreenFrag);
        const QString vert = GpuTest::writeShader(m_dir, "shared.vert", kVert);
        int programs0 = 0, shaders0 = 0, programs2 = 0, shaders2 = 0, programs3 = 0, shaders3 = 0;
        bool same = false, different = false, valid = false;
        QVERIFY(GpuFixture::onRenderThread([&] {
            programs0 = GLProg::cachedPrograms();
            shaders0 = GLProg::cachedShaders();
            const GLProg a(red, vert), b(red, vert);
            programs2 = GLProg::cachedPrograms();
            shaders2 = GLProg::cachedShaders();
            const GLProg c(green, vert);
            programs3 = GLProg::cachedPrograms();
            shaders3 = GLProg::cachedShaders();
            same = a.program() == b.program();
            different = c.program() != a.program();
            valid = a.isValid() && c.isValid();
        }));
        QVERIFY(same && different && valid);
        QCOMPARE(programs2 - programs0, 1);
        QCOMPARE(shaders2 - shaders0, 2);
        QCOMPARE(programs3 - programs2, 1);
        QCOMPARE(shaders3 - shaders2, 1); // the vertex shader is reused
    }

    void compileAndLinkFailuresAreReported_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QString>("expected");
        QTest::newRow("compile error") << "broken.frag" << kBrokenFrag << "cannot compile .*broken\\.frag.*\\n.*undeclaredThing";
        QTest::newRow("link error") << "unlinkable.frag" << kUnlinkableFrag << "cannot link .*unlinkable\\.frag.*\\n.*main";
        QTest::newRow("missing file") << "" << QByteArray() << "cannot compile .*missing\\.frag";
    }

    void compileAndLinkFailuresAreReported()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, source);
        QFETCH(QString, expected);
        const QString frag = file.isEmpty() ? m_dir.filePath("missing.frag") : GpuTest::writeShader(m_dir, file, source);
        const QString vert = GpuTest::writeShader(m_dir, "plain.vert", kVert);
        bool valid = true, ran = true, uidKept = false;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(expected, QRegularExpression::DotMatchesEverythingOption));
        if (file.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Unable to open file"));
        QVERIFY(GpuFixture::onRenderThread([&] {
            GLImFilter failing(frag, vert);
            valid = failing.isValid();
            const TSFbo in(4, 4, GL_RGBA8);
            TSFbo out(4, 4, GL_RGBA8);
            const uint uid = out.uid();
            ran = failing.proc(in, out);
            uidKept = out.uid() == uid;
            // Reported once: a second filter on the same files reuses the failed program quietly.
            GLImFilter again(frag, vert);
            valid = valid || again.isValid();
        }));
        QVERIFY(!valid && !ran && uidKept);
    }

    void teardownFreesEverythingAndPassesRebuild()
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
        QCOMPARE(after.programs + after.shaders + after.vertexBuffers + after.pooledFramebuffers + after.cachedResults, 0);
        QCOMPARE(pooledAfterLateRelease, 0);
        QCOMPARE(imagesAfter, imagesBefore);
        cv::Mat expected = in.clone();
        expected.reshape(1, int(expected.total())).col(3).setTo(255); // copy.frag writes alpha 1
        GPU_COMPARE_IMAGES(rebuilt, expected, 0.0, 0.0, "after_teardown");
    }

    // Images the engine freed give their memory back once the render thread goes idle, even
    // the last pass's (a software rasteriser holds those until another pass binds others).
    // On this driver textures are heap blocks; 64 MB ones are mapped, so they show in hblkhd.
    void idleMemoryIsGivenBack()
    {
        std::size_t before = 0, after = 0;
        QVERIFY(GpuFixture::onRenderThread([&] {
            GLCache::clearBuffer();
            before = mallinfo2().hblkhd;
            {
                const TSFbo source(4096, 2048, GL_RGBA16F);
                GLImFilter copy(QStringLiteral(":/korvane/glshaders/copy.frag"));
                copy.setTexture(QStringLiteral("inputTexture0"), source, GL_NEAREST);
                copy.render(source.size(), GL_RGBA16F);
            }
            GLResources::releaseIdleMemory();
            after = mallinfo2().hblkhd;
        }));
        QVERIFY2(after <= before + (8u << 20), qPrintable(QStringLiteral("%1 MB mapped before, %2 MB after")
                                                              .arg(before >> 20).arg(after >> 20)));
    }
};

KORVANE_TEST_CASE(TstGLResources)
#include "tst_glresources.moc"
