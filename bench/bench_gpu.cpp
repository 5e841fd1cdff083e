// GPU image layer benchmark on 24 MP (6000 x 4000) images: upload and download per internal
// format and matrix type, the copy pass, and framebuffer allocation from the pool against a
// fresh one, and sampled textures from a matrix and from a DDS file. GPU time is bracketed by glFinish. Every case checks the pixels it produced;
// timings never fail the run (exit code 1 only for wrong pixels).
// Usage: xvfb-run -a -s "-screen 0 1920x1080x24" bench_gpu [runs] [text]
//        (with text, only the transfer cases whose name contains it; "textures" for the
//        texture cases alone)

#include "renderthreadbench.h"

#include "io/korvane.h"
#include "gpu/estexture.h"
#include "gpu/glcache.h"
#include "gpu/glblockproc.h"
#include "gpu/glimfilter.h"
#include "gpu/glprog.h"
#include "gpu/tsfbo.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QGuiApplication>
#include <QOpenGLFunctions_3_3_Core>

#include <opencv2/core.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
int g_runs = 5;
QString g_only;
bool g_allCorrect = true;

using RenderThreadBench::Timing;

QOpenGLFunctions_3_3_Core* gl()
{
    return GLProg::funcs();
}

Timing measure(const std::function<void()>& f, const std::function<void()>& prepare = {})
{
    return RenderThreadBench::measure(g_runs, f, prepare);
}

const char* formatName(GLenum f)
{
    switch (f) {
    case GL_R8: return "R8";
    case GL_R16: return "R16";
    case GL_R16F: return "R16F";
    case GL_R32F: return "R32F";
    case GL_RG8: return "RG8";
    case GL_RG16: return "RG16";
    case GL_RG16F: return "RG16F";
    case GL_RG32F: return "RG32F";
    case GL_RGB16: return "RGB16";
    case GL_RGB16F: return "RGB16F";
    case GL_R11F_G11F_B10F: return "R11F_G11F_B10F";
    case GL_RGB32F: return "RGB32F";
    case GL_RGBA8: return "RGBA8";
    case GL_RGBA16: return "RGBA16";
    case GL_RGBA16F: return "RGBA16F";
    case GL_RGBA32F: return "RGBA32F";
    default: return "?";
    }
}

QString typeName(int type)
{
    const int depth = CV_MAT_DEPTH(type);
    return QStringLiteral("%1C%2")
        .arg(depth == CV_8U ? "8U" : depth == CV_16U ? "16U" : "32F")
        .arg(CV_MAT_CN(type));
}

cv::Mat testImage(int type)
{
    cv::Mat m(kHeight, kWidth, type);
    cv::RNG rng(1234);
    const int depth = CV_MAT_DEPTH(type);
    const double hi = depth == CV_8U ? 256 : depth == CV_16U ? 65536 : 1.0;
    rng.fill(m, cv::RNG::UNIFORM, cv::Scalar::all(0), cv::Scalar::all(hi));
    return m;
}

int formatChannels(GLenum f)
{
    switch (f) {
    case GL_R8: case GL_R16: case GL_R16F: case GL_R32F: return 1;
    case GL_RG8: case GL_RG16: case GL_RG16F: case GL_RG32F: return 2;
    case GL_RGB16: case GL_RGB16F: case GL_R11F_G11F_B10F: case GL_RGB32F: return 3;
    default: return 4;
    }
}

// Largest deviation on a sample of rows, in units of the matrix's full scale, over the
// first `channels` channels (a 3-channel format reads alpha back as opaque).
double maxError(const cv::Mat& a, const cv::Mat& b, int channels = 4)
{
    const double full = a.depth() == CV_8U ? 255 : a.depth() == CV_16U ? 65535 : 1.0;
    const int cn = std::min({a.channels(), b.channels(), channels});
    double worst = 0;
    for (int y = 0; y < a.rows; y += 97) {
        cv::Mat ra, rb;
        a.row(y).convertTo(ra, CV_64F, 1.0 / full);
        b.row(y).convertTo(rb, CV_64F, 1.0 / full);
        const double* pa = ra.ptr<double>();
        const double* pb = rb.ptr<double>();
        for (int x = 0; x < a.cols; ++x) {
            for (int c = 0; c < cn; ++c)
                worst = std::max(worst, std::fabs(pa[x * a.channels() + c] - pb[x * b.channels() + c]));
        }
    }
    return worst;
}

void printRow(const QString& name, const Timing& t, double megabytes, const char* unit, bool ok)
{
    const double rate = megabytes / (t.medianMs / 1000.0);
    std::printf("%-44s %9.1f %9.1f %10.1f %-6s %s\n", qPrintable(name), t.minMs, t.medianMs, rate, unit,
                ok ? "ok" : "WRONG PIXELS");
    std::fflush(stdout);
    g_allCorrect = g_allCorrect && ok;
}

void header(const char* title, const char* rateUnit)
{
    std::printf("\n%s (%d runs, 6000 x 4000)\n", title, g_runs);
    std::printf("%-44s %9s %9s %10s %-6s %s\n", "case", "min ms", "med ms", "rate", rateUnit, "pixels");
}

// Storage precision of each format, as the tolerance of its round trip.
double tolerance(GLenum format, int type)
{
    const int depth = CV_MAT_DEPTH(type);
    const double level = depth == CV_8U ? 1.0 / 255 : depth == CV_16U ? 1.0 / 65535 : 1e-6;
    switch (format) {
    case GL_R11F_G11F_B10F: return 1.0 / 32 + level;
    case GL_R16F: case GL_RG16F: case GL_RGB16F: case GL_RGBA16F: return 1.0 / 2048 + level;
    case GL_R8: case GL_RG8: case GL_RGBA8: return std::max(level, 1.0 / 255);
    default: return std::max(level, 1.0 / 65535);
    }
}

void transferCase(GLenum format, int type)
{
    const QString name = QStringLiteral("%1 %2").arg(formatName(format)).arg(typeName(type));
    if (!g_only.isEmpty() && !name.contains(g_only))
        return;
    const cv::Mat in = testImage(type);
    const double mb = double(in.total() * in.elemSize()) / (1 << 20);
    TSFbo target(kWidth, kHeight, format);
    cv::Mat back(kHeight, kWidth, type);
    bool uploaded = true, downloaded = true;
    // Into existing storage, as the engine works with pooled framebuffers.
    target.dataFromMat(in, true);
    const Timing up = measure([&] { uploaded = target.dataFromMat(in, true) && uploaded; });
    const Timing down = measure([&] { downloaded = TSFbo::fboToMat(target.fbo(), back, true, false) && downloaded; });
    const bool ok = uploaded && downloaded && maxError(back, in, formatChannels(format)) <= tolerance(format, type);
    printRow(name + " upload", up, mb, "MB/s", ok);
    printRow(name + " download", down, mb, "MB/s", ok);
}

void transfers()
{
    header("Transfers into / out of existing storage", "MB/s");
    const GLenum formats[] = {GL_R8, GL_R16, GL_R16F, GL_R32F, GL_RG8, GL_RG16, GL_RG16F, GL_RG32F,
                              GL_RGB16, GL_RGB16F, GL_R11F_G11F_B10F, GL_RGB32F, GL_RGBA8, GL_RGBA16,
                              GL_RGBA16F, GL_RGBA32F};
    for (GLenum f : formats) {
        const int downloadType = TSFbo::toCvType(f);
        transferCase(f, downloadType);
        // The working formats take the engine's 8-bit and 16-bit images too.
        if (f == GL_RGBA16F || f == GL_R11F_G11F_B10F) {
            for (int t : {CV_8UC4, CV_16UC4, CV_8UC3, CV_16UC3}) {
                if (t != downloadType)
                    transferCase(f, t);
            }
        }
    }
}

// The alternative read-back of the packed working format: a pass into RGBA16 (whose read
// is a memory copy), then the read.
void packedReadViaPass()
{
    header("R11F_G11F_B10F read-back to 16UC4: CPU tables against a GPU pass", "MB/s");
    const cv::Mat in = testImage(CV_16UC4);
    const double mb = double(in.total() * in.elemSize()) / (1 << 20);
    const TSFbo packed(in, GL_R11F_G11F_B10F, true);
    cv::Mat viaTables(kHeight, kWidth, CV_16UC4), viaPass(kHeight, kWidth, CV_16UC4);
    const Timing tables = measure([&] { TSFbo::fboToMat(packed.fbo(), viaTables, true, false); });
    GLImFilter copy;
    TSFbo rgba16(kWidth, kHeight, GL_RGBA16);
    const Timing pass = measure([&] {
        copy.proc(packed, rgba16);
        TSFbo::fboToMat(rgba16.fbo(), viaPass, true, false);
    });
    printRow("CPU tables (packed read + unpack)", tables, mb, "MB/s", maxError(viaTables, in, 3) <= 1.0 / 32);
    printRow("GPU pass into RGBA16 + read", pass, mb, "MB/s", maxError(viaPass, in, 3) <= 1.0 / 32);
}

void copyPasses()
{
    header("Copy pass (copy.frag, bilinear)", "Mpix/s");
    const double mpix = double(kWidth) * kHeight / 1e6;
    for (GLenum f : {GLenum(GL_RGBA16F), GLenum(GL_R11F_G11F_B10F), GLenum(GL_RGBA8)}) {
        const cv::Mat in = testImage(CV_8UC4);
        const TSFbo src(in, f, true);
        TSFbo dst(kWidth, kHeight, f);
        GLImFilter copy;
        const Timing t = measure([&] { copy.proc(src, dst); });
        const cv::Mat out = dst.dataToMat(CV_8UC4, true);
        cv::Mat expected = in.clone();
        expected.reshape(1, int(expected.total())).col(3).setTo(255);
        printRow(QStringLiteral("%1 -> %1").arg(formatName(f)), t, mpix, "Mpix/s",
                 maxError(out, expected) <= tolerance(f, CV_8UC4));
    }
}

void blockProcessing()
{
    header("Split and merge in 4096-pixel blocks (overlap 8) against two copy passes", "Mpix/s");
    const double mpix = double(kWidth) * kHeight / 1e6;
    const cv::Mat in = testImage(CV_8UC4);
    const TSFbo src(in, TSFbo::workingFormat(), true);
    TSFbo dst(kWidth, kHeight, TSFbo::workingFormat());
    const GLBlockProc blocks(src.size(), 8, QSize(4096, 4096));
    const Timing split = measure([&] {
        for (int r = 0; r < blocks.rows(); ++r)
            for (int c = 0; c < blocks.cols(); ++c)
                blocks.mergeBlock(blocks.getBlock(src, r, c), r, c, dst);
    });
    TSFbo a(kWidth, kHeight, TSFbo::workingFormat()), b(kWidth, kHeight, TSFbo::workingFormat());
    GLImFilter copy;
    const Timing copies = measure([&] {
        copy.proc(src, a);
        copy.proc(a, b);
    });
    const cv::Mat out = dst.dataToMat(CV_8UC4, true);
    printRow(QStringLiteral("%1 x %2 blocks, split and merged").arg(blocks.rows()).arg(blocks.cols()), split, mpix,
             "Mpix/s", maxError(out, in) <= tolerance(TSFbo::workingFormat(), CV_8UC4));
    printRow(QStringLiteral("two copy passes (ratio %1)").arg(split.minMs / copies.minMs, 0, 'f', 2), copies, mpix,
             "Mpix/s", true);
}

void allocation()
{
    header("Allocation + first write (glClear) of a 6000 x 4000 framebuffer", "Mpix/s");
    const double mpix = double(kWidth) * kHeight / 1e6;
    for (GLenum f : {GLenum(GL_RGBA16F), GLenum(GL_R11F_G11F_B10F)}) {
        auto allocateAndClear = [f](cv::Vec4f colour) {
            TSFbo fbo(kWidth, kHeight, f);
            fbo.bind();
            gl()->glClearColor(colour[0], colour[1], colour[2], colour[3]);
            gl()->glClear(GL_COLOR_BUFFER_BIT);
            fbo.release();
            return fbo;
        };
        GLCache::clearBuffer();
        allocateAndClear({0.f, 0.f, 0.f, 1.f}); // leaves one in the pool
        const GLCache::Stats before = GLCache::stats();
        const Timing pooled = measure([&] { allocateAndClear({0.25f, 0.5f, 0.75f, 1.f}); });
        const GLCache::Stats afterPooled = GLCache::stats();
        const Timing fresh = measure([&] {
            GLCache::clearBuffer();
            allocateAndClear({0.25f, 0.5f, 0.75f, 1.f});
        });
        GLCache::clearBuffer();
        const TSFbo check = allocateAndClear({0.25f, 0.5f, 0.75f, 1.f});
        const cv::Mat px = check.dataToMat(CV_8UC4, true)(cv::Rect(kWidth - 1, kHeight - 1, 1, 1)).clone();
        const bool ok = std::abs(px.at<cv::Vec4b>(0)[1] - 128) <= 1;
        const int hits = afterPooled.poolHits - before.poolHits;
        printRow(QStringLiteral("%1 pool hit (%2 of %3 runs)").arg(formatName(f)).arg(hits).arg(g_runs), pooled,
                 mpix, "Mpix/s", ok);
        printRow(QStringLiteral("%1 fresh framebuffer").arg(formatName(f)), fresh, mpix, "Mpix/s", ok);
    }
}

// A sampled texture from a 16-bit matrix against the same pixels into a fresh framebuffer of
// the same format (both pay for new storage), with the 11/11/10-bit float storage beside.
void textureFromMatrix()
{
    header("Texture from a 16UC3 matrix against a fresh RGB16 framebuffer", "MB/s");
    const cv::Mat in = testImage(CV_16UC3);
    const TSMat mat(in);
    const double mb = double(in.total() * in.elemSize()) / (1 << 20);
    const Timing fbo = measure([&] { TSFbo(in, GL_RGB16, true); }, [] { GLCache::clearBuffer(); });
    ESTexture texture;
    const Timing tex = measure([&] { texture = ESTexture(mat, false, QOpenGLTexture::ClampToEdge, true); },
                               [&] { texture = ESTexture(); });
    cv::Mat back(kHeight, kWidth, CV_16UC3);
    gl()->glBindTexture(GL_TEXTURE_2D, texture.textureId());
    gl()->glPixelStorei(GL_PACK_ALIGNMENT, 1);
    gl()->glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_SHORT, back.data);
    gl()->glBindTexture(GL_TEXTURE_2D, 0);
    const Timing packed = measure([&] {
        QOpenGLTexture t(QOpenGLTexture::Target2D);
        t.setFormat(QOpenGLTexture::RG11B10F);
        t.setSize(kWidth, kHeight);
        t.setMipLevels(1);
        t.allocateStorage();
        t.bind();
        gl()->glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        gl()->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_SHORT, in.data);
        gl()->glFinish();
        t.release();
    });
    printRow("RGB16 framebuffer, fresh", fbo, mb, "MB/s", true);
    printRow(QStringLiteral("ESTexture RGB16 (ratio %1)").arg(tex.minMs / fbo.minMs, 0, 'f', 2), tex, mb, "MB/s",
             maxError(back, in, 3) == 0.0);
    printRow("R11F_G11F_B10F from unsigned shorts", packed, mb, "MB/s", true);
}

// A 4096 x 4096 DXT5 file with all 13 levels: loading it as a texture against reading the
// same file into memory from the page cache.
void compressedTextureFile()
{
    header("4096 x 4096 DXT5 file, 13 levels: texture against reading the file", "MB/s");
    QTemporaryDir dir;
    const QString path = dir.filePath("big.dds");
    qint64 body = 0;
    for (int side = 4096; side >= 1; side /= 2)
        body += qint64(std::max(1, side / 4)) * std::max(1, side / 4) * 16;
    QByteArray bytes(128 + int(body), '\0');
    cv::Mat noise(1, int(body), CV_8UC1, bytes.data() + 128);
    cv::RNG(7).fill(noise, cv::RNG::UNIFORM, 0, 256);
    const auto put = [&](int at, quint32 v) { std::memcpy(bytes.data() + at, &v, 4); };
    std::memcpy(bytes.data(), "DDS ", 4);
    put(4, 124);
    put(12, 4096);
    put(16, 4096);
    put(28, 13);
    std::memcpy(bytes.data() + 84, "DXT5", 4);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        return;
    out.close();
    const double mb = double(bytes.size()) / (1 << 20);
    QByteArray read;
    const Timing file = measure([&] {
        QFile in(path);
        read = in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    });
    ESTexture texture;
    const Timing load = measure([&] { texture = ESTexture(path, false, QOpenGLTexture::Repeat); ESTexture::glFinish(); },
                                [&] { texture = ESTexture(); });
    printRow("QFile::readAll", file, mb, "MB/s", read == bytes);
    // Medians: the fastest file read is a run whose buffer landed on pages the allocator had
    // already mapped (a memory copy at 10 GB/s and more), which says nothing about reading.
    printRow(QStringLiteral("ESTexture (ratio of medians %1)").arg(load.medianMs / file.medianMs, 0, 'f', 2), load, mb, "MB/s",
             texture.width() == 4096 && texture.texture()->mipLevels() == 13 && gl()->glGetError() == GL_NO_ERROR);
}

void runAll()
{
    const GLenum saved = TSFbo::workingFormat();
    std::printf("renderer: %s\n", reinterpret_cast<const char*>(gl()->glGetString(GL_RENDERER)));
    GLCache::resetStats();
    const bool texturesOnly = g_only == QLatin1String("textures");
    if (!texturesOnly)
        transfers();
    if (g_only.isEmpty()) {
        packedReadViaPass();
        copyPasses();
        blockProcessing();
        allocation();
    }
    if (g_only.isEmpty() || texturesOnly) {
        textureFromMatrix();
        compressedTextureFile();
    }
    const GLCache::Stats s = GLCache::stats();
    std::printf("\npool: %d hits, %d misses, %d deleted; peak live images %d KB\n", s.poolHits, s.poolMisses,
                s.poolDeleted, TSFbo::maxKBytesUsed());
    TSFbo::setWorkingFormat(saved);
}

} // namespace

int main(int argc, char** argv)
{
    Korvane::takeVerboseFlag(argc, argv);
    Korvane::prepareApplication();
    QGuiApplication app(argc, argv);
    if (argc > 1)
        g_runs = std::max(1, std::atoi(argv[1]));
    if (argc > 2)
        g_only = QString::fromLocal8Bit(argv[2]);

    // The budget fits the largest case (RGBA32F: 384 MB per image) with room for the pool.
    if (!RenderThreadBench::run("bench_gpu", 4096000, runAll))
        return 1;
    return g_allCorrect ? 0 : 1;
}
