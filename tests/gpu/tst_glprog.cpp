#include "gpu/glimfilter.h"
#include "gpu/glprog.h"
#include "gpu/tsfbo.h"

#include "gpufixture.h"
#include "gputest.h"
#include "testregistry.h"

#include <QOpenGLShaderProgram>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString writeShader(const QTemporaryDir& dir, const QString& name, const QByteArray& source)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(source);
    return path;
}

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

class TstGLProg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void programsAndShadersAreShared();
    void compileAndLinkFailuresAreReported_data();
    void compileAndLinkFailuresAreReported();

private:
    QTemporaryDir m_dir;
};

void TstGLProg::initTestCase()
{
    QVERIFY(GpuFixture::renderThread());
    QVERIFY(m_dir.isValid());
}

void TstGLProg::programsAndShadersAreShared()
{
    const QString red = writeShader(m_dir, "red.frag", kRedFrag);
    const QString green = writeShader(m_dir, "green.frag", kGreenFrag);
    const QString vert = writeShader(m_dir, "shared.vert", kVert);
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
    QVERIFY(same);
    QVERIFY(different);
    QVERIFY(valid);
    QCOMPARE(programs2 - programs0, 1);
    QCOMPARE(shaders2 - shaders0, 2);
    QCOMPARE(programs3 - programs2, 1);
    QCOMPARE(shaders3 - shaders2, 1); // the vertex shader is reused
}

void TstGLProg::compileAndLinkFailuresAreReported_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("expected");
    QTest::newRow("compile error") << "broken.frag" << kBrokenFrag << "cannot compile .*broken\\.frag.*\\n.*undeclaredThing";
    QTest::newRow("link error") << "unlinkable.frag" << kUnlinkableFrag << "cannot link .*unlinkable\\.frag.*\\n.*main";
    QTest::newRow("missing file") << "" << QByteArray() << "cannot compile .*missing\\.frag";
}

void TstGLProg::compileAndLinkFailuresAreReported()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, source);
    QFETCH(QString, expected);
    const QString frag = file.isEmpty() ? m_dir.filePath("missing.frag") : writeShader(m_dir, file, source);
    const QString vert = writeShader(m_dir, "plain.vert", kVert);
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
    QVERIFY(!valid);
    QVERIFY(!ran);
    QVERIFY(uidKept);
}

KORVANE_TEST_CASE(TstGLProg)
#include "tst_glprog.moc"
