#include "gpu/glvertices.h"

#include "gpufixture.h"
#include "testregistry.h"

#include <QTest>

#include <type_traits>

class TstGLVertices : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(GpuFixture::renderThread()); }
    void haveOneOwner();
};

void TstGLVertices::haveOneOwner()
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

KORVANE_TEST_CASE(TstGLVertices)
#include "tst_glvertices.moc"
