// Sampled textures: DDS headers parsed from untrusted bytes, DDS files decoded by the driver
// against a CPU decoder written from the S3TC description, every mip level really stored,
// matrices uploaded exactly, the memory count, and textures in the GPU cache's budget.

#include "gpu/estexture.h"
#include "gpu/glcache.h"
#include "gpu/glcontextinfo.h"
#include "gpu/tsmat.h"

#include "ddstestfile.h"
#include "gpufixture.h"
#include "gputest.h"
#include "testregistry.h"

#include <QImage>
#include <QOpenGLFunctions_3_3_Core>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

namespace {

QByteArray dds(quint32 w, quint32 h, quint32 mips, const char* fourCC, qint64 dataBytes, quint32 headerSize = 124,
               const char* magic = "DDS ")
{
    return ddsTestFile(w, h, mips, fourCC, QByteArray(int(dataBytes), '\0'), headerSize, magic);
}

// 256 x 256 DXT5 with its 9 levels: 65536 + 16384 + ... + 16 bytes.
constexpr qint64 kDxt5Chain = 65536 + 16384 + 4096 + 1024 + 256 + 64 + 16 + 16 + 16;

using Pixel = cv::Vec4b;

Pixel from565(quint16 c)
{
    const auto scale = [](int v, int max) { return uchar(std::lround(v * 255.0 / max)); };
    return {scale(c >> 11, 31), scale((c >> 5) & 63, 63), scale(c & 31, 31), 255};
}

// One 4 x 4 colour block: the four (or three and transparent black) colours and 2-bit indices.
void decodeColour(const uchar* b, bool dxt1, cv::Mat& out, int bx, int by)
{
    const quint16 c0 = qFromLittleEndian<quint16>(b), c1 = qFromLittleEndian<quint16>(b + 2);
    Pixel p[4] = {from565(c0), from565(c1)};
    const bool four = !dxt1 || c0 > c1;
    for (int k = 0; k < 3; ++k) {
        p[2][k] = uchar(four ? (2 * p[0][k] + p[1][k]) / 3.0 + 0.5 : (p[0][k] + p[1][k]) / 2.0 + 0.5);
        p[3][k] = four ? uchar((p[0][k] + 2 * p[1][k]) / 3.0 + 0.5) : 0;
    }
    p[2][3] = 255;
    p[3][3] = four ? 255 : 0;
    const quint32 indices = qFromLittleEndian<quint32>(b + 4);
    for (int i = 0; i < 16; ++i) {
        Pixel& px = out.at<Pixel>(by * 4 + i / 4, bx * 4 + i % 4);
        const uchar alpha = px[3]; // DXT3/5 decoded their alpha first
        px = p[(indices >> (2 * i)) & 3];
        if (!dxt1)
            px[3] = alpha;
    }
}

void decodeAlpha(const uchar* b, bool explicitAlpha, cv::Mat& out, int bx, int by)
{
    int a[8] = {b[0], b[1]};
    for (int i = 2; i < 8; ++i)
        a[i] = b[0] > b[1] ? ((8 - i) * b[0] + (i - 1) * b[1] + 3) / 7
               : i < 6      ? ((6 - i) * b[0] + (i - 1) * b[1] + 2) / 5
                            : (i == 6 ? 0 : 255);
    const quint64 bits = qFromLittleEndian<quint64>(b) >> (explicitAlpha ? 0 : 16);
    for (int i = 0; i < 16; ++i)
        out.at<Pixel>(by * 4 + i / 4, bx * 4 + i % 4)[3] =
            uchar(explicitAlpha ? ((bits >> (4 * i)) & 15) * 17 : a[(bits >> (3 * i)) & 7]);
}

cv::Mat decode(const QByteArray& blocks, int w, int h, const QByteArray& fourCC)
{
    cv::Mat out(h, w, CV_8UC4);
    const int blockBytes = fourCC == "DXT1" ? 8 : 16;
    const auto* b = reinterpret_cast<const uchar*>(blocks.constData());
    for (int by = 0; by < h / 4; ++by)
        for (int bx = 0; bx < w / 4; ++bx, b += blockBytes) {
            if (fourCC != "DXT1")
                decodeAlpha(b, fourCC == "DXT3", out, bx, by);
            decodeColour(b + blockBytes - 8, fourCC == "DXT1", out, bx, by);
        }
    return out;
}

QByteArray colourBlock(quint16 c0, quint16 c1, quint32 indices)
{
    QByteArray b(8, '\0');
    qToLittleEndian(c0, b.data());
    qToLittleEndian(c1, b.data() + 2);
    qToLittleEndian(indices, b.data() + 4);
    return b;
}

QByteArray alphaBlock(quint64 bits)
{
    QByteArray b(8, '\0');
    qToLittleEndian(bits, b.data());
    return b;
}

// Four hand-set colour blocks: two four-colour (c0 > c1), two three-colour with transparent black.
const QByteArray kColours = colourBlock(0xF800, 0x001F, 0xE4E4E4E4) + colourBlock(0x07E0, 0x8410, 0x1B1B1B1B)
    + colourBlock(0x001F, 0xF800, 0xE4E4E4E4) + colourBlock(0x4208, 0xFFFF, 0x3C3C9393);

cv::Mat readLevel(const ESTexture& t, int level, int w, int h, int type = CV_8UC4)
{
    cv::Mat out(h, w, type);
    QOpenGLFunctions_3_3_Core* f = GLContextInfo::renderFuncs();
    f->glBindTexture(GL_TEXTURE_2D, t.textureId());
    f->glPixelStorei(GL_PACK_ALIGNMENT, 1);
    f->glGetTexImage(GL_TEXTURE_2D, level, out.channels() == 3 ? GL_RGB : GL_RGBA,
                     out.depth() == CV_8U ? GL_UNSIGNED_BYTE : GL_UNSIGNED_SHORT, out.data);
    f->glBindTexture(GL_TEXTURE_2D, 0);
    return out;
}

} // namespace

class TstESTexture : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    QString write(const QString& name, const QByteArray& bytes)
    {
        QFile f(m_dir.filePath(name));
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() ? f.fileName() : QString();
    }

private slots:
    void initTestCase() { QVERIFY(GpuFixture::renderThread()); }

    void ddsHeaders_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("levels");
        QTest::addColumn<qint64>("lastLevelBytes");
        QTest::newRow("DXT3 odd 5 x 3") << dds(5, 3, 1, "DXT3", 32) << "" << 1 << qint64(32);
        QTest::newRow("mip count 0 is one level") << dds(8, 8, 0, "DXT5", 64) << "" << 1 << qint64(64);
        QTest::newRow("DXT1 16 x 16, 5 levels") << dds(16, 16, 5, "DXT1", 128 + 32 + 8 + 8 + 8) << "" << 5 << qint64(8);
        QTest::newRow("DXT5 256 x 256, 9 levels") << dds(256, 256, 9, "DXT5", kDxt5Chain) << "" << 9 << qint64(16);
        const std::tuple<const char*, QByteArray, const char*> refused[] = {
            {"one byte short of its levels", dds(256, 256, 9, "DXT5", kDxt5Chain - 1), "file too short for its declared levels"},
            {"too short for the header", dds(8, 8, 1, "DXT1", 0).left(100), "file too short for its header"},
            {"header size 100", dds(8, 8, 1, "DXT1", 32, 100), "header size is not 124"},
            {"width 0", dds(0, 8, 1, "DXT1", 32), "width or height out of range"},
            {"width 2^31", dds(0x80000000u, 8, 1, "DXT1", 32), "width or height out of range"},
            {"mip count 40", dds(8, 8, 40, "DXT1", 1 << 20), "mip count beyond the size"},
            {"mip count one beyond the chain", dds(8, 8, 5, "DXT1", 1 << 10), "mip count beyond the size"},
            {"another FourCC", dds(8, 8, 1, "ATI2", 64), "not supported compression mode in dds"}};
        for (const auto& [tag, bytes, error] : refused)
            QTest::newRow(tag) << bytes << QString(error) << 0 << qint64(0);
    }
    // DDS headers from untrusted bytes: the levels of valid files, and every lie a header can
    // tell refused before any allocation.
    void ddsHeaders()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QFETCH(int, levels);
        QFETCH(qint64, lastLevelBytes);
        const DdsFile file = DdsFile::parse(bytes.constData(), bytes.size(), 16384);
        QCOMPARE(file.error(), error);
        QCOMPARE(file.levels().size(), levels);
        if (levels == 0)
            return;
        // Levels follow each other from byte 128, halving down to 1 pixel, inside the file.
        qint64 offset = DdsFile::kHeaderBytes;
        for (int i = 0; i < levels; ++i) {
            const DdsFile::Level& l = file.levels().at(i);
            QCOMPARE(l.offset, offset);
            QCOMPARE(l.width, std::max(1, file.width() >> i));
            offset += l.size;
        }
        QVERIFY(offset <= bytes.size());
        QCOMPARE(file.levels().last().size, lastLevelBytes);
    }

    void ddsDecodesAsPublished_data()
    {
        QTest::addColumn<QByteArray>("fourCC");
        QTest::addColumn<QByteArray>("blocks");
        QTest::newRow("DXT1") << QByteArray("DXT1") << kColours;
        QByteArray dxt3, dxt5;
        for (int i = 0; i < 4; ++i) {
            dxt3 += alphaBlock(0xFEDCBA9876543210ull * (i + 1)) + kColours.mid(8 * i, 8);
            // Both alpha modes: 8 interpolated values (a0 > a1), then 6 with 0 and 255.
            dxt5 += alphaBlock((i % 2 ? 0x20E0ull : 0xE020ull) | (0xFAC688053977ull * (i + 1) << 16)) + kColours.mid(8 * i, 8);
        }
        QTest::newRow("DXT3") << QByteArray("DXT3") << dxt3;
        QTest::newRow("DXT5") << QByteArray("DXT5") << dxt5;
    }
    void ddsDecodesAsPublished()
    {
        QFETCH(QByteArray, fourCC);
        QFETCH(QByteArray, blocks);
        const QString path = write("t.dds", ddsTestFile(8, 8, 1, fourCC.constData(), blocks));
        cv::Mat back;
        QVERIFY(GpuFixture::onRenderThread([&] { back = readLevel(ESTexture(path, false, QOpenGLTexture::Repeat), 0, 8, 8); }));
        GPU_COMPARE_IMAGES(back, decode(blocks, 8, 8, fourCC), 2.0, 0.0, "dds_" + fourCC);
    }

    // Each level a solid colour of its own: each reads back, so every level was stored.
    void everyMipLevelIsStored()
    {
        const quint16 colours[] = {0xF800, 0x07E0, 0x001F, 0xFFE0, 0x8410};
        QByteArray body;
        for (int level = 0, side = 16; level < 5; ++level, side = std::max(1, side / 2))
            for (int b = 0; b < std::max(1, side / 4) * std::max(1, side / 4); ++b)
                body += colourBlock(colours[level], colours[level], 0);
        const QString path = write("mips.dds", ddsTestFile(16, 16, 5, "DXT1", body));
        QVERIFY(GpuFixture::onRenderThread([&] {
            const ESTexture t(path, false, QOpenGLTexture::ClampToEdge);
            for (int level = 0; level < 5; ++level) {
                const cv::Mat back = readLevel(t, level, std::max(1, 16 >> level), std::max(1, 16 >> level));
                const cv::Mat expected(back.size(), CV_8UC4, cv::Scalar(from565(colours[level])));
                QCOMPARE(cv::norm(back, expected, cv::NORM_INF), 0.0);
            }
            QCOMPARE(GLContextInfo::renderFuncs()->glGetError(), GLenum(GL_NO_ERROR));
        }));
    }

    void refusedFilesGiveEmptyTextures_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("loads");
        QTest::newRow("mip count 0 loads level 0") << ddsTestFile(4, 4, 0, "DXT1", kColours.left(8)) << "a.dds" << true;
        QTest::newRow("another FourCC") << ddsTestFile(4, 4, 1, "ATI2", kColours) << "a.dds" << false;
        QTest::newRow("capital suffix is no DDS") << ddsTestFile(4, 4, 1, "DXT1", kColours.left(8)) << "a.DDS" << false;
    }
    void refusedFilesGiveEmptyTextures()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, name);
        QFETCH(bool, loads);
        const QString path = write(name, bytes);
        QStringList readerCalls;
        ESTexture::setImageReader([&](const QString& p, QString*) { readerCalls << p; return TSMat(); });
        QVERIFY(GpuFixture::onRenderThread([&] {
            QCOMPARE(ESTexture(path, false, QOpenGLTexture::Repeat).isEmpty(), !loads);
            QCOMPARE(GLContextInfo::renderFuncs()->glGetError(), GLenum(GL_NO_ERROR));
        }));
        ESTexture::setImageReader({});
        QCOMPARE(readerCalls.size(), name.endsWith(".DDS") ? 1 : 0);
    }

    void imagesAndMatrices()
    {
        const cv::Mat pixels = GpuTest::randomImage(17, 33, CV_16UC3, 5, 0, 65535);
        QVERIFY(GpuFixture::onRenderThread([&] {
            QVERIFY(ESTexture(QImage(2, 1, QImage::Format_ARGB32), false, QOpenGLTexture::Repeat, false).isEmpty());
            QCOMPARE(ESTexture(QImage(3, 1, QImage::Format_ARGB32), false, QOpenGLTexture::Repeat, false).width(), 3);
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("type 5 are not supported"));
            QVERIFY(ESTexture(TSMat(cv::Mat(4, 4, CV_32FC1)), false, QOpenGLTexture::Repeat, false).isEmpty());
            const ESTexture t(TSMat(pixels), false, QOpenGLTexture::Repeat, true);
            GPU_COMPARE_IMAGES(readLevel(t, 0, 33, 17, CV_16UC3), pixels, 0.0, 0.0, "texture_16uc3");
        }));
    }

    // Counted once per texture by its real bytes, whoever holds it; the last handle dropped
    // on another thread frees nothing until the render thread's next GPU call.
    void memoryIsCountedOnceAndFreedOnTheRenderThread()
    {
        const int before = ESTexture::totalKBytesUsed();
        ESTexture a;
        QVERIFY(GpuFixture::onRenderThread([&] { a = ESTexture(TSMat(cv::Mat(64, 64, CV_16UC4)), false, QOpenGLTexture::Repeat, false); }));
        ESTexture copy = a;
        copy.setUid(77);
        QCOMPARE(a.uid(), 77u);
        QCOMPARE(ESTexture::totalKBytesUsed() - before, 32); // 64 x 64 x 8 bytes
        auto* last = new ESTexture(copy);
        a = copy = ESTexture();
        std::thread([last] { delete last; }).join();
        QCOMPARE(ESTexture::totalKBytesUsed() - before, 32);
        QVERIFY(GpuFixture::onRenderThread([] { TSFbo(8, 8, GL_RGBA8); }));
        QCOMPARE(ESTexture::totalKBytesUsed(), before);
    }

    void cachedTexturesCostTheirSize()
    {
        QVERIFY(GpuFixture::onRenderThread([] {
            const int savedKB = GLCache::maxKB(), savedCount = GLCache::maxCount();
            GLCache::clearAll(true);
            GLCache::setMax(200, 24); // 140 KB for results
            const auto texture = [](int w) { return ESTexture(TSMat(cv::Mat(64, w, CV_8UC4)), false, QOpenGLTexture::Repeat, false); };
            GLCache::set("t1", texture(64)); // 16 KB
            GLCache::set("t2", texture(64));
            GLCache::set("t3", texture(256)); // 64 KB
            GLCache::set("t4", texture(256)); // room made by evicting t1 and t2
            QCOMPARE(GLCache::fboCacheKB(), 128u);
            QVERIFY(GLCache::getTexture("t1").isEmpty());
            QVERIFY(!GLCache::getTexture("t4").isEmpty());
            // 72 KB left by the live textures: a released 80 KB framebuffer is freed, not pooled.
            GLCache::setMax(200 + TSFbo::totalKBytesUsed(), 24);
            { TSFbo(160, 128, GL_RGBA8); }
            QCOMPARE(GLCache::pooledCount(), 0);
            GLCache::clearAll(true);
            { TSFbo(160, 128, GL_RGBA8); }
            QCOMPARE(GLCache::pooledCount(), 1);
            GLCache::clearAll(true);
            GLCache::setMax(savedKB, savedCount);
        }));
    }
};

KORVANE_TEST_CASE(TstESTexture)
#include "tst_estexture.moc"
