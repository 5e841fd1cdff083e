#include "gpu/glcache.h"
#include "gpu/glprog.h"
#include "korvanetest.h"
#include "gpu/tsmat.h"

#include <opencv2/imgproc.hpp>

namespace {

// How each storage rounds what it keeps, in normalised units.
enum class Storage { Unorm8, Unorm16, Half, Float32, Packed111110 };

struct FormatCase
{
    GLenum format;
    const char* name;
    int channels;
    Storage storage;
};

const FormatCase kFormats[] = {
    {GL_R8, "R8", 1, Storage::Unorm8},
    {GL_R16, "R16", 1, Storage::Unorm16},
    {GL_R16F, "R16F", 1, Storage::Half},
    {GL_R32F, "R32F", 1, Storage::Float32},
    {GL_RG8, "RG8", 2, Storage::Unorm8},
    {GL_RG16, "RG16", 2, Storage::Unorm16},
    {GL_RG16F, "RG16F", 2, Storage::Half},
    {GL_RG32F, "RG32F", 2, Storage::Float32},
    {GL_RGB16, "RGB16", 3, Storage::Unorm16},
    {GL_RGB16F, "RGB16F", 3, Storage::Half},
    {GL_R11F_G11F_B10F, "R11F_G11F_B10F", 3, Storage::Packed111110},
    {GL_RGB32F, "RGB32F", 3, Storage::Float32},
    {GL_RGBA8, "RGBA8", 4, Storage::Unorm8},
    {GL_RGBA16, "RGBA16", 4, Storage::Unorm16},
    {GL_RGBA16F, "RGBA16F", 4, Storage::Half},
    {GL_RGBA32F, "RGBA32F", 4, Storage::Float32},
};

const char* depthName(int depth)
{
    return depth == CV_8U ? "8U" : depth == CV_16U ? "16U" : "32F";
}

// Tolerances of a round trip, from the storage's precision and the matrix depth: one level
// of the matrix when the storage is coarser; the mantissa for float storage (half: 11 bits;
// 11/11/10-bit floats: 6 bits red and green, 5 blue, GUIDE bounds 1/64 and 1/32).
void tolerances(Storage storage, int depth, cv::Scalar& absTol, cv::Scalar& relTol)
{
    const double level = depth == CV_8U ? 1.0 / 255 : depth == CV_16U ? 1.0 / 65535 : 1e-7;
    absTol = cv::Scalar::all(0);
    relTol = cv::Scalar::all(0);
    switch (storage) {
    case Storage::Unorm8:
        if (depth != CV_8U)
            absTol = cv::Scalar::all(1.0 / 255);
        break;
    case Storage::Unorm16:
        if (depth == CV_32F)
            absTol = cv::Scalar::all(1.0 / 65535);
        break;
    case Storage::Half:
        if (depth != CV_8U) {
            absTol = cv::Scalar::all(level);
            relTol = cv::Scalar::all(1.0 / 2048);
        }
        break;
    case Storage::Float32:
        break;
    case Storage::Packed111110:
        // Below 2^-14 the format is denormal: steps of 2^-20 (red, green), 2^-19 (blue).
        absTol = depth == CV_32F ? cv::Scalar(1.0 / (1 << 21), 1.0 / (1 << 21), 1.0 / (1 << 20), 0)
                                 : cv::Scalar::all(level);
        relTol = cv::Scalar(1.0 / 64, 1.0 / 64, 1.0 / 32, 0);
        break;
    }
}

// What a download of `m` uploaded into a `formatChannels` format gives back: channels the
// format lacks read as opaque alpha.
cv::Mat expectedBack(const cv::Mat& m, int formatChannels)
{
    if (m.channels() != 4 || formatChannels != 3)
        return m;
    cv::Mat e = m.clone();
    const double one = m.depth() == CV_8U ? 255 : m.depth() == CV_16U ? 65535 : 1.0;
    cv::Mat alpha(m.size(), CV_MAKETYPE(m.depth(), 1), cv::Scalar(one));
    cv::insertChannel(alpha, e, 3);
    return e;
}

} // namespace


struct RoundTripRow { uint format; int formatChannels; int type; int storage; };
Q_DECLARE_METATYPE(RoundTripRow)

struct WorkingRow { uint workingFormat; int type; cv::Scalar absTol; cv::Scalar relTol; };
Q_DECLARE_METATYPE(WorkingRow)

struct ClampRow { uint format; int type; bool needsPass; double relTol; };
Q_DECLARE_METATYPE(ClampRow)

class TstTSFbo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(GpuFixture::renderThread()); }

    void emptyValues_data()
    {
        QTest::addColumn<bool>("defaultConstructed");
        QTest::addColumn<QSize>("size");
        QTest::newRow("0 x 10") << false << QSize(0, 10);
        QTest::newRow("-3 x 5") << false << QSize(-3, 5);
        QTest::newRow("default") << true << QSize();
    }

    void emptyValues()
    {
        QFETCH(bool, defaultConstructed);
        QFETCH(QSize, size);
        TSFbo f;
        cv::Mat m;
        const cv::Mat fromEmptyMat = onGpu([&] {
            if (!defaultConstructed)
                f = TSFbo(size.width(), size.height(), GL_R8);
            m = f.dataToMat(CV_16UC4);
            return TSFbo(cv::Mat()).dataToMat(CV_8UC1);
        });
        QVERIFY(f.isEmpty());
        QCOMPARE(f.texture(), 0u);
        QVERIFY(m.empty());
        QVERIFY(fromEmptyMat.empty());
        f.setName("named"); // metadata does not make an image
        QVERIFY(f.isEmpty());
        QCOMPARE(f.uid(), 0u);
    }

    void roundTrip_data()
    {
        QTest::addColumn<RoundTripRow>("row");

        for (const FormatCase& fc : kFormats) {
            QVector<int> channelCounts{fc.channels};
            // The two formats that can be the working format also take 3 and 4 channels.
            if (fc.format == GL_R11F_G11F_B10F)
                channelCounts << 4;
            if (fc.format == GL_RGBA16F)
                channelCounts << 3;
            for (int depth : {CV_8U, CV_16U, CV_32F}) {
                for (int cn : channelCounts) {
                    QTest::addRow("%s %sC%d", fc.name, depthName(depth), cn) << RoundTripRow{uint(fc.format),
                            fc.channels, int(CV_MAKETYPE(depth, cn)), int(fc.storage)};
                }
            }
        }
    }

    void roundTrip()
    {
        QFETCH(RoundTripRow, row);
        const auto& [format, formatChannels, type, storage] = row;

        const cv::Mat in = GpuTest::randomImage(37, 61, type, 7);
        cv::Mat back;
        bool allocated = false;
        QVERIFY(GpuFixture::onRenderThread([&] {
            const TSFbo f(in, format, false);
            allocated = !f.isEmpty();
            back = f.dataToMat(type, true, false);
        }));
        QVERIFY(allocated);
        cv::Scalar absTol, relTol;
        tolerances(Storage(storage), CV_MAT_DEPTH(type), absTol, relTol);
        GPU_COMPARE_IMAGES(back, expectedBack(in, formatChannels), absTol, relTol, QTest::currentDataTag());
    }

    void stridedMatrixRoundTrip_data()
    {
        QTest::addColumn<uint>("format");
        QTest::addColumn<int>("type");
        QTest::newRow("RGBA8 8UC4 (driver path)") << uint(GL_RGBA8) << int(CV_8UC4);
        QTest::newRow("RGBA16F 16UC4 (converted path)") << uint(GL_RGBA16F) << int(CV_16UC4);
        QTest::newRow("R11F_G11F_B10F 8UC3 (packed path)") << uint(GL_R11F_G11F_B10F) << int(CV_8UC3);
    }

    void stridedMatrixRoundTrip()
    {
        QFETCH(uint, format);
        QFETCH(int, type);
        // Sub-matrices of larger ones: rows are not contiguous, in either direction.
        const cv::Mat big = GpuTest::randomImage(50, 90, type, 11);
        const cv::Mat in = big(cv::Rect(7, 3, 61, 37));
        cv::Mat bigOut(45, 80, type, cv::Scalar::all(0));
        cv::Mat out = bigOut(cv::Rect(5, 4, 61, 37));
        const bool ok = onGpu([&] {
            const TSFbo f(in, format, false);
            return TSFbo::fboToMat(f.fbo(), out, true, false);
        });
        QVERIFY(ok);
        QVERIFY(!in.isContinuous() && !out.isContinuous());
        cv::Scalar absTol, relTol;
        tolerances(format == GL_RGBA8 ? Storage::Unorm8 : format == GL_RGBA16F ? Storage::Half : Storage::Packed111110,
                   CV_MAT_DEPTH(type), absTol, relTol);
        GPU_COMPARE_IMAGES(out, in, absTol, relTol, QTest::currentDataTag());
        // Nothing outside the target rectangle was written.
        cv::Mat outside = bigOut.clone();
        outside(cv::Rect(5, 4, 61, 37)).setTo(cv::Scalar::all(0));
        QCOMPARE(cv::countNonZero(outside.reshape(1)), 0);
    }

    void workingFormatRoundTrip_data()
    {
        QTest::addColumn<WorkingRow>("row");

        // Half floats keep 11 significant bits: 8-bit levels come back exactly, 16-bit values
        // within 1/2048 relative.
        QTest::newRow("RGBA16F 8UC4 bit-identical") << WorkingRow{GL_RGBA16F, CV_8UC4, cv::Scalar::all(0), cv::Scalar::all(0)};
        QTest::newRow("RGBA16F 16UC4 within 1/2048") << WorkingRow{GL_RGBA16F, CV_16UC4, cv::Scalar::all(1.0 / 65535),
                cv::Scalar::all(1.0 / 2048)};
        // The file reader's CV_16UC4: 6 mantissa bits red and green, 5 blue; alpha reads opaque.
        QTest::newRow("R11F_G11F_B10F 16UC4 (file reader)") << WorkingRow{GL_R11F_G11F_B10F, CV_16UC4,
                cv::Scalar::all(1.0 / 65535), cv::Scalar(1.0 / 64, 1.0 / 64, 1.0 / 32, 0)};
        QTest::newRow("R11F_G11F_B10F 8UC4") << WorkingRow{GL_R11F_G11F_B10F, CV_8UC4, cv::Scalar::all(1.0 / 255),
                cv::Scalar(1.0 / 64, 1.0 / 64, 1.0 / 32, 0)};
    }

    void workingFormatRoundTrip()
    {
        QFETCH(WorkingRow, row);
        const auto& [workingFormat, type, absTol, relTol] = row;

        // One setting, float formats only: a refused format changes nothing.
        QCOMPARE(TSFbo::workingFormat(), GLenum(GL_RGBA16F));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not a working format"));
        QVERIFY(!TSFbo::setWorkingFormat(GL_RGBA8));
        QCOMPARE(TSFbo::workingFormat(), GLenum(GL_RGBA16F));
        const cv::Mat in = GpuTest::randomImage(48, 64, type, 3);
        cv::Mat back;
        uint used = 0, sized = 0;
        QVERIFY(GpuFixture::onRenderThread([&] {
            TSFbo::setWorkingFormat(workingFormat);
            const TSFbo f(in); // the working format, whatever it is
            used = f.internalFormat();
            sized = TSFbo(16, 8).internalFormat();
            back = f.dataToMat(type, true, true);
            TSFbo::setWorkingFormat(GL_RGBA16F);
        }));
        QCOMPARE(used, workingFormat);
        QCOMPARE(sized, workingFormat);
        GPU_COMPARE_IMAGES(back, expectedBack(in, workingFormat == GL_RGBA16F ? 4 : 3), absTol, relTol,
                           QTest::currentDataTag());
    }

    void largeImageRoundTrip_data()
    {
        QTest::addColumn<uint>("format");
        QTest::addColumn<int>("type");
        QTest::newRow("RGBA8 8UC4") << uint(GL_RGBA8) << int(CV_8UC4);
        QTest::newRow("RGBA16F 8UC4") << uint(GL_RGBA16F) << int(CV_8UC4);
    }

    void largeImageRoundTrip()
    {
        QFETCH(uint, format);
        QFETCH(int, type);
        // 5000 columns: two tiles across, 904 columns in the second.
        const cv::Mat in = GpuTest::randomImage(3000, 5000, type, 5);
        const cv::Mat back = onGpu([&] {
            const TSFbo f(in, format, false);
            return f.dataToMat(type, true, false);
        });
        QCOMPARE(back.size(), in.size());
        // Both formats keep 8-bit levels exactly (compared cheaply first: 60 M values).
        if (cv::norm(back, in, cv::NORM_INF) != 0)
            GPU_COMPARE_IMAGES(back, in, 0.0, 0.0, QTest::currentDataTag());
    }

    void clampedDownload_data()
    {
        QTest::addColumn<ClampRow>("row");

        QTest::newRow("RGBA32F to 32F: clamping pass") << ClampRow{GL_RGBA32F, CV_32FC4, true, 0.0};
        QTest::newRow("RGBA16F to 32F: clamped on the CPU") << ClampRow{GL_RGBA16F, CV_32FC4, false, 1.0 / 2048};
        QTest::newRow("R11F_G11F_B10F to 32F") << ClampRow{GL_R11F_G11F_B10F, CV_32FC3, false, 1.0 / 32};
        QTest::newRow("RGBA32F to 8U: no pass") << ClampRow{GL_RGBA32F, CV_8UC4, false, 0.0};
        QTest::newRow("RGBA32F to 16U: no pass") << ClampRow{GL_RGBA32F, CV_16UC4, false, 0.0};
    }

    void clampedDownload()
    {
        QFETCH(ClampRow, row);
        const auto& [format, type, needsPass, relTol] = row;

        const int cn = CV_MAT_CN(type);
        const cv::Mat in = GpuTest::randomImage(37, 61, CV_MAKETYPE(CV_32F, cn), 13, -0.5, 1.5);
        cv::Mat clamped, unclamped;
        const int allocations = onGpu([&] {
            const TSFbo f(in, format, false);
            unclamped = f.dataToMat(CV_MAKETYPE(CV_32F, cn), true, false);
            const GLCache::Stats before = GLCache::stats();
            clamped = f.dataToMat(type, true, true);
            const GLCache::Stats after = GLCache::stats();
            return (after.poolHits + after.poolMisses) - (before.poolHits + before.poolMisses);
        });
        QCOMPARE(allocations, needsPass ? 1 : 0);

        cv::Mat expected = cv::min(cv::max(in, 0.0), 1.0);
        if (type != CV_MAKETYPE(CV_32F, cn)) {
            const double full = CV_MAT_DEPTH(type) == CV_8U ? 255.0 : 65535.0;
            expected.convertTo(expected, type, full);
        }
        GPU_COMPARE_IMAGES(clamped, expected, CV_MAT_DEPTH(type) == CV_32F ? 1e-6 : 1.0 / 65535, relTol,
                           QTest::currentDataTag());
        // Without clamp, float storage keeps what lies above 1.
        double maxValue = 0;
        cv::minMaxLoc(unclamped.reshape(1), nullptr, &maxValue);
        QVERIFY(maxValue > 1.2);
    }

    void unsupportedPairTransfersNothing()
    {
        const cv::Mat rgba = GpuTest::randomImage(8, 8, CV_8UC4, 1);
        const cv::Mat rgb(8, 8, CV_8UC3, cv::Scalar(1, 2, 3));
        cv::Mat untouched(8, 8, CV_8UC3, cv::Scalar(7, 7, 7));
        cv::Mat back;
        bool uploaded = true, downloaded = true;
        TSFbo refused;
        for (int i = 0; i < 3; ++i)
            QTest::ignoreMessage(QtWarningMsg, "Not supported: internalformat= 32856 matType= 16");
        QVERIFY(GpuFixture::onRenderThread([&] {
            TSFbo f(rgba, GL_RGBA8, false);
            uploaded = f.dataFromMat(rgb);
            downloaded = TSFbo::fboToMat(f.fbo(), untouched, true, false);
            back = f.dataToMat(CV_8UC4, true);
            refused = TSFbo(rgb, GL_RGBA8, false);
        }));
        QVERIFY(!uploaded);
        QVERIFY(!downloaded);
        QCOMPARE(cv::norm(untouched, cv::Mat(8, 8, CV_8UC3, cv::Scalar(7, 7, 7)), cv::NORM_INF), 0.0);
        GPU_COMPARE_IMAGES(back, rgba, 0.0, 0.0, "unsupported_upload_kept_texture");
        QVERIFY(refused.isEmpty());
    }

    void copyOnWrite()
    {
        const cv::Mat in = GpuTest::randomImage(48, 64, CV_8UC4, 2);
        cv::Mat aPixels, bPixels;
        uint aUidBefore = 0, aUidAfter = 0, bUid = 0;
        GLuint aTexture = 0, bTexture = 0;
        int copies = -1;
        QVERIFY(GpuFixture::onRenderThread([&] {
            TSFbo a(in, GL_RGBA8, false);
            aUidBefore = a.uid();
            const int before = TSFbo::detachCopies();
            TSFbo b = a;
            GpuTest::clearTo(b, 1.f, 0.f, 0.f, 1.f); // bind, clear, release through the copy
            copies = TSFbo::detachCopies() - before;
            aUidAfter = a.uid();
            bUid = b.uid();
            aTexture = a.texture();
            bTexture = b.texture();
            aPixels = a.dataToMat(CV_8UC4, true);
            bPixels = b.dataToMat(CV_8UC4, true);
        }));
        QCOMPARE(copies, 1);
        QCOMPARE(aUidAfter, aUidBefore);
        QVERIFY(bUid != aUidBefore && bUid != 0);
        QVERIFY(aTexture != bTexture);
        GPU_COMPARE_IMAGES(aPixels, in, 0.0, 0.0, "cow_source_unchanged");
        GPU_COMPARE_IMAGES(bPixels, cv::Mat(48, 64, CV_8UC4, cv::Scalar(255, 0, 0, 255)), 0.0, 0.0, "cow_copy_written");
    }

    void freshUidOnReleaseAndUpload()
    {
        uint created = 0, afterBind = 0, afterRelease = 0, afterUpload = 0, afterBlit = 0;
        QVERIFY(GpuFixture::onRenderThread([&] {
            TSFbo f(8, 8, GL_RGBA8);
            created = f.uid();
            f.bind();
            afterBind = f.uid();
            f.release();
            afterRelease = f.uid();
            f.dataFromMat(cv::Mat(8, 8, CV_8UC4, cv::Scalar::all(3)));
            afterUpload = f.uid();
            const TSFbo other(8, 8, GL_RGBA8);
            TSFbo::blitFramebuffer(&f, &other);
            afterBlit = f.uid();
        }));
        QVERIFY(created != 0);
        QCOMPARE(afterBind, created);
        QVERIFY(afterRelease != created);
        QVERIFY(afterUpload != afterRelease);
        QCOMPARE(afterBlit, afterUpload);
    }

    void creationFailureClearsCacheAndRetriesOnce()
    {
        bool empty = false, ramCopyKept = false;
        int cachedBefore = 0, pooledBefore = 0, cachedAfter = -1, pooledAfter = -1;
        QVERIFY(GpuFixture::onRenderThread([&] {
            uint cachedUid = 0;
            {
                const TSFbo cached(cv::Mat(4, 4, CV_8UC4, cv::Scalar::all(1)), GL_RGBA8);
                cachedUid = cached.uid();
                GLCache::set("creationFailure", cached, GLCache::FboCacheGpuRam);
                const TSFbo pooled(5, 5, GL_RGBA8);
            }
            cachedBefore = GLCache::fboCacheCount();
            pooledBefore = GLCache::pooledCount();
            GLint maxSize = 0;
            GLProg::funcs()->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
            // Fails twice: once with the caches full, once more after freeing them.
            const TSFbo tooLarge(maxSize + 1, 4, GL_R8);
            empty = tooLarge.isEmpty();
            cachedAfter = GLCache::fboCacheCount();
            pooledAfter = GLCache::pooledCount();
            ramCopyKept = !GLCache::get("creationFailure", cachedUid).isEmpty();
            GLCache::release("creationFailure");
        }));
        QVERIFY(cachedBefore >= 1 && pooledBefore >= 1);
        QVERIFY(empty);
        QCOMPARE(cachedAfter, 0);
        QCOMPARE(pooledAfter, 0);
        QVERIFY(ramCopyKept);
    }

    void cloneAndBlit()
    {
        // A clone's pixels are checked where it matters, by the in-place filter test.
        const cv::Mat in = GpuTest::randomImage(20, 30, CV_8UC4, 4);
        uint srcUid = 0, cloneUid = 0, dstUid = 0, dstUidAfter = 0;
        GLuint srcTexture = 0, cloneTexture = 0;
        cv::Mat dstPixels;
        QVERIFY(GpuFixture::onRenderThread([&] {
            const TSFbo src(in, GL_RGBA8);
            const TSFbo copy = src.clone();
            srcUid = src.uid();
            cloneUid = copy.uid();
            srcTexture = src.texture();
            cloneTexture = copy.texture();

            TSFbo dst(30, 20, GL_RGBA8);
            GpuTest::clearTo(dst, 0.f, 0.f, 0.f, 0.f);
            dstUid = dst.uid();
            TSFbo::blitFramebuffer(&dst, QRect(10, 5, 8, 6), &src, QRect(2, 3, 8, 6));
            dstUidAfter = dst.uid();
            dstPixels = dst.dataToMat(CV_8UC4, true);
        }));
        QCOMPARE(cloneUid, srcUid);
        QVERIFY(cloneTexture != srcTexture);
        QCOMPARE(dstUidAfter, dstUid);
        cv::Mat expected(20, 30, CV_8UC4, cv::Scalar::all(0));
        in(cv::Rect(2, 3, 8, 6)).copyTo(expected(cv::Rect(10, 5, 8, 6)));
        GPU_COMPARE_IMAGES(dstPixels, expected, 0.0, 0.0, "blit_rect");
    }

    void scaleTo_data()
    {
        QTest::addColumn<QSize>("target");
        QTest::addColumn<bool>("directCopy");
        // r = 0.75: n = 0, one bilinear copy.
        QTest::newRow("64x48 to 48x36: direct copy") << QSize(48, 36) << true;
        // r = 0.25: n = 2, low-passed by 4 before the copy.
        QTest::newRow("64x48 to 16x12: reduced first") << QSize(16, 12) << false;
    }

    void scaleTo()
    {
        QFETCH(QSize, target);
        QFETCH(bool, directCopy);
        // Vertical stripes of period 4: columns 4k + 1 and 4k + 2 are white. A bilinear copy to a
        // quarter of the width samples exactly between them (white); a low-pass first gives the
        // period's mean, about 0.5.
        cv::Mat in(48, 64, CV_32FC4, cv::Scalar(0, 0, 0, 1));
        for (int x = 0; x < in.cols; ++x) {
            if (x % 4 == 1 || x % 4 == 2)
                in.col(x).setTo(cv::Scalar(1, 1, 1, 1));
        }
        const cv::Mat out = onGpu([&] {
            const TSFbo src(in, GL_RGBA32F);
            TSFbo dst(target, GL_RGBA32F);
            src.scaleTo(dst);
            return dst.dataToMat(CV_32FC4, true);
        });
        QCOMPARE(out.size(), cv::Size(target.width(), target.height()));
        if (directCopy) {
            cv::Mat expected;
            cv::resize(in, expected, out.size(), 0, 0, cv::INTER_LINEAR);
            // The rasteriser's bilinear weights have 8 fractional bits.
            GPU_COMPARE_IMAGES(out, expected, 1.0 / 256, 0.0, QTest::currentDataTag());
        } else {
            double lo = 0, hi = 0;
            cv::minMaxLoc(out.reshape(1).col(0), &lo, &hi);
            QVERIFY2(lo > 0.3 && hi < 0.7, qPrintable(QString("red in [%1, %2]").arg(lo).arg(hi)));
        }
    }
};


KORVANE_TEST_CASE(TstTSFbo)
#include "tst_tsfbo.moc"
