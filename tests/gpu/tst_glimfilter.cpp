#include "gpu/glcache.h"
#include "gpu/glimfilter.h"
#include "gpu/glprog.h"
#include "gpu/glvertices.h"
#include "korvanetest.h"

#include <QDir>
#include <QOpenGLShader>

namespace {

using Setup = std::function<void(GLImFilter&)>;
// Expected RGBA of output pixel (x, y) from the input image (CV_32FC4).
using Reference = std::function<cv::Vec4f(const cv::Mat&, int, int)>;

QString shaderPath(const char* name)
{
    return QStringLiteral(":/korvane/glshaders/") + QLatin1String(name);
}

cv::Mat reference(const cv::Mat& in, const QSize& size, const Reference& f)
{
    cv::Mat out(size.height(), size.width(), CV_32FC4);
    for (int y = 0; y < out.rows; ++y) {
        for (int x = 0; x < out.cols; ++x)
            out.at<cv::Vec4f>(y, x) = f(in, x, y);
    }
    return out;
}

cv::Vec4f px(const cv::Mat& in, int x, int y)
{
    return in.at<cv::Vec4f>(y, x);
}

cv::Mat constant(float r, float g, float b, float a, int rows = 9, int cols = 13)
{
    return cv::Mat(rows, cols, CV_32FC4, cv::Scalar(r, g, b, a));
}

// Reads one channel from each of three samplers, so the output shows which texture each
// sampler's unit holds.
const QByteArray kThreeSamplersFrag = "#version 330 core\n"
                                      "uniform sampler2D inputTexture0;\nuniform sampler2D inputTexture1;\n"
                                      "uniform sampler2D mask;\nin vec2 vUV;\nout vec4 vColor;\n"
                                      "void main() { vColor = vec4(texture(inputTexture0, vUV).r,\n"
                                      "  texture(inputTexture1, vUV).g, texture(mask, vUV).b, 1.0); }\n";

struct ShaderRow { QString frag; QString vert; Setup setup; Reference expected; double lo; double hi; };

} // namespace

Q_DECLARE_METATYPE(cv::Mat)
Q_DECLARE_METATYPE(ShaderRow)

class TstGLImFilter : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(GpuFixture::renderThread());
        QVERIFY(m_dir.isValid());
    }

    void catalogueShaders_data()
    {
        QTest::addColumn<ShaderRow>("row");
        const auto add = [](const QByteArray& tag, const char* frag, const Reference& f, double lo = 0.0, double hi = 1.0,
                            const Setup& setup = [](GLImFilter&) {}, const char* vert = "default.vert") {
            QTest::newRow(tag.constData()) << ShaderRow{shaderPath(frag), shaderPath(vert), setup, f, lo, hi};
        };
        add("copy: alpha 1", "copy.frag", [](const cv::Mat& in, int x, int y) {
            const cv::Vec4f p = px(in, x, y);
            return cv::Vec4f(p[0], p[1], p[2], 1.f);
        });
        add("clamping: both sides", "clamping.frag", [](const cv::Mat& in, int x, int y) {
            cv::Vec4f p = px(in, x, y);
            for (int c = 0; c < 4; ++c)
                p[c] = std::min(1.f, std::max(0.f, p[c]));
            return p;
        }, -0.5, 1.5);
        add("opacity through uvscale.vert", "opacity.frag", [](const cv::Mat& in, int x, int y) {
            const cv::Vec4f p = px(in, x, y);
            return cv::Vec4f(p[0], p[1], p[2], p[3] * 0.3f);
        }, 0.0, 1.0, [](GLImFilter& f) {
            f.setUniformValue("vUVScale", QSizeF(1, 1));
            f.setUniformValue("opacity", 0.3f);
        }, "uvscale.vert");
        add("glcopy_1chto4ch: grey", "glcopy_1chto4ch.frag", [](const cv::Mat& in, int x, int y) {
            const float r = px(in, x, y)[0];
            return cv::Vec4f(r, r, r, 1.f);
        });
        add("glcopy_4chto1ch: red only", "glcopy_4chto1ch.frag",
            [](const cv::Mat& in, int x, int y) { return cv::Vec4f(px(in, x, y)[0], 0.f, 0.f, 1.f); });
        add("tglmaskinvert", "tglmaskinvert.frag",
            [](const cv::Mat& in, int x, int y) { return cv::Vec4f(1.f - px(in, x, y)[0], 0.f, 0.f, 1.f); });
        for (const char* bc : {"testbc.frag", "brightnesscontrast.frag"}) {
            add(QByteArray(bc) + ": around mid grey", bc, [](const cv::Mat& in, int x, int y) {
                cv::Vec4f p = px(in, x, y);
                for (int c = 0; c < 3; ++c)
                    p[c] = 0.5f + 1.5f * (p[c] - 0.5f) + 0.1f; // contrast around 0.5, then lift; alpha kept
                return p;
            }, 0.0, 1.0, [](GLImFilter& f) {
                f.setUniformValue("brightness", 0.1f);
                f.setUniformValue("contrast", 1.5f);
            });
        }
    }

    void catalogueShaders()
    {
        QFETCH(ShaderRow, row);
        const auto& [frag, vert, setup, expected, lo, hi] = row;

        // 1:1 passes in RGBA32F sample at texel centres: bilinear filtering returns the texel up
        // to the rasteriser's float arithmetic (a few 1e-6 here), hence 1e-5.
        const QSize size(23, 15);
        const cv::Mat in = GpuTest::randomImage(size.height(), size.width(), CV_32FC4, 31, lo, hi);
        cv::Mat out;
        bool ran = false;
        QVERIFY(GpuFixture::onRenderThread([&] {
            const TSFbo src(in, GL_RGBA32F);
            TSFbo dst(size, GL_RGBA32F);
            GLImFilter filter(frag, vert);
            setup(filter);
            ran = filter.proc(src, dst);
            out = dst.dataToMat(CV_32FC4, true);
        }));
        QVERIFY(ran);
        GPU_COMPARE_IMAGES(out, reference(in, size, expected), 1e-5, 0.0, QTest::currentDataTag());
    }

    void allCatalogueShadersCompile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("vertex");
        const QStringList files = QDir(":/korvane/glshaders").entryList(QDir::Files);
        QVERIFY(files.size() >= 14);
        for (const QString& f : files)
            QTest::newRow(qPrintable(f)) << shaderPath(qPrintable(f)) << f.endsWith(".vert");
    }

    void allCatalogueShadersCompile()
    {
        QFETCH(QString, path);
        QFETCH(bool, vertex);
        bool compiled = false;
        QString log;
        QVERIFY(GpuFixture::onRenderThread([&] {
            QOpenGLShader shader(vertex ? QOpenGLShader::Vertex : QOpenGLShader::Fragment);
            compiled = shader.compileSourceFile(path);
            log = shader.log();
        }));
        QVERIFY2(compiled, qPrintable(log));
    }

    void textureUnitsFollowUniformNames()
    {
        const QString frag = GpuTest::writeShader(m_dir, "threesamplers.frag", kThreeSamplersFrag);
        cv::Mat first, second;
        QVERIFY(GpuFixture::onRenderThread([&] {
            const TSFbo a(constant(0.25f, 0.f, 0.f, 1.f), GL_RGBA32F);
            const TSFbo b(constant(0.f, 0.5f, 0.f, 1.f), GL_RGBA32F);
            const TSFbo m(constant(0.f, 0.f, 0.75f, 1.f), GL_RGBA32F);
            const TSFbo c(constant(0.125f, 0.f, 0.f, 1.f), GL_RGBA32F);
            TSFbo out(13, 9, GL_RGBA32F);
            GLImFilter filter(frag);
            filter.setTexture("mask", m); // sorts after inputTexture0 and inputTexture1: unit 2
            filter.proc(a, b, out);
            first = out.dataToMat(CV_32FC4, true);
            // inputTexture1 stays registered from the earlier two-input pass.
            filter.proc(c, out);
            second = out.dataToMat(CV_32FC4, true);
        }));
        GPU_COMPARE_IMAGES(first, constant(0.25f, 0.5f, 0.75f, 1.f), 0.0, 0.0, "units_by_name");
        GPU_COMPARE_IMAGES(second, constant(0.125f, 0.5f, 0.75f, 1.f), 0.0, 0.0, "registered_texture_persists");
    }

    void lateUniformReachesItsLocation()
    {
        cv::Mat out;
        const cv::Mat in = constant(0.2f, 0.4f, 0.6f, 0.8f);
        QVERIFY(GpuFixture::onRenderThread([&] {
            const TSFbo src(in, GL_RGBA32F);
            TSFbo dst(13, 9, GL_RGBA32F);
            GLImFilter filter(shaderPath("testbc.frag"));
            filter.setUniformValue("contrast", 1.f);
            filter.proc(src, dst); // brightness still unset
            filter.setUniformValue("brightness", 0.25f);
            filter.proc(src, dst);
            out = dst.dataToMat(CV_32FC4, true);
        }));
        GPU_COMPARE_IMAGES(out, constant(0.45f, 0.65f, 0.85f, 0.8f), 1e-6, 0.0, "late_uniform");
    }

    void blendedPassDrawsOverOut_data()
    {
        QTest::addColumn<QString>("frag");
        QTest::addColumn<cv::Mat>("expected");
        // Source over: colour src x a + dst x (1 - a), alpha a + dst alpha x (1 - a), so
        // blending.frag's a = 0.5 over opaque blue leaves it opaque (a x a would give 0.75).
        QTest::newRow("alpha below 1 keeps out visible") << shaderPath("blending.frag")
                                                         << constant(0.5f, 0.f, 0.5f, 1.f);
        // copy.frag writes alpha 1: nothing of out remains.
        QTest::newRow("opaque source covers out") << shaderPath("copy.frag") << constant(1.f, 0.f, 0.f, 1.f);
    }

    void blendedPassDrawsOverOut()
    {
        QFETCH(QString, frag);
        QFETCH(cv::Mat, expected);
        const cv::Mat out = onGpu([&] {
            const TSFbo red(constant(1.f, 0.f, 0.f, 1.f), GL_RGBA32F);
            TSFbo dst(13, 9, GL_RGBA32F);
            GpuTest::clearTo(dst, 0.f, 0.f, 1.f, 1.f);
            GLImFilter filter(frag);
            filter.proc(0.5f, red, dst);
            return dst.dataToMat(CV_32FC4, true);
        });
        GPU_COMPARE_IMAGES(out, expected, 1e-6, 0.0, QTest::currentDataTag());
    }

    void outputIsBoundBeforeInputs_data()
    {
        QTest::addColumn<bool>("useFilter");
        QTest::newRow("proc into a shared out") << false;
        QTest::newRow("filter into a new framebuffer") << true;
    }

    void outputIsBoundBeforeInputs()
    {
        QFETCH(bool, useFilter);
        const cv::Mat in = GpuTest::randomImage(9, 13, CV_32FC4, 51);
        cv::Mat out, held;
        QVERIFY(GpuFixture::onRenderThread([&] {
            const TSFbo src(in, GL_RGBA32F);
            TSFbo dst(13, 9, GL_RGBA32F);
            GpuTest::clearTo(dst, 0.f, 0.f, 0.f, 0.f);
            const TSFbo keep = dst; // shared: writing dst must allocate a private framebuffer
            GLCache::clearAll(false); // empty pool: that allocation creates one
            GLImFilter filter;
            if (useFilter)
                dst = filter.filter(src);
            else
                filter.proc(src, dst);
            out = dst.dataToMat(CV_32FC4, true);
            held = keep.dataToMat(CV_32FC4, true);
        }));
        cv::Mat expected = in.clone();
        expected.reshape(1, int(expected.total())).col(3).setTo(1.0);
        // Bilinear at texel centres, as in catalogueShaders; a lost input binding reads 0.
        GPU_COMPARE_IMAGES(out, expected, 1e-5, 0.0, QTest::currentDataTag());
        GPU_COMPARE_IMAGES(held, constant(0.f, 0.f, 0.f, 0.f), 0.0, 0.0, "shared_out_untouched");
    }

    void procInPlaceReadsOldPixels()
    {
        // Each output pixel reads its neighbour 2 to the left: writing the texture being read
        // would show.
        const QSize size(16, 10);
        const cv::Mat in = GpuTest::randomImage(size.height(), size.width(), CV_32FC4, 61);
        cv::Mat inPlace, separate;
        GLuint before = 0, after = 0;
        QVERIFY(GpuFixture::onRenderThread([&] {
            const QTransform shift = QTransform::fromTranslate(2 * 2.0 / size.width(), 0);
            GLImFilter filter(shaderPath("copy2.frag"), shaderPath("transform.vert"));
            filter.setUniformValue("vTransform", shift);

            TSFbo x(in, GL_RGBA32F);
            const TSFbo copyOfX = x.clone();
            TSFbo y = x.clone();
            before = x.texture();
            filter.proc(x, x);
            after = x.texture();
            filter.proc(copyOfX, y);
            inPlace = x.dataToMat(CV_32FC4, true);
            separate = y.dataToMat(CV_32FC4, true);
        }));
        QVERIFY(after != before);
        GPU_COMPARE_IMAGES(inPlace, separate, 0.0, 0.0, "proc_x_x");
    }

    void emptyInputsDoNothing()
    {
        bool ran = true, renderEmpty = false, filterEmpty = false, uidKept = false;
        QVERIFY(GpuFixture::onRenderThread([&] {
            GLImFilter filter;
            TSFbo out(5, 5, GL_RGBA8);
            const uint uid = out.uid();
            ran = filter.proc(TSFbo(), out);
            uidKept = out.uid() == uid;
            renderEmpty = filter.render(QSize(0, 5)).isEmpty();
            filterEmpty = filter.filter(TSFbo()).isEmpty();
        }));
        QCOMPARE((QVector<bool>{ran, uidKept, renderEmpty, filterEmpty}), (QVector<bool>{false, true, true, true}));
    }
};

KORVANE_TEST_CASE(TstGLImFilter)
#include "tst_glimfilter.moc"
