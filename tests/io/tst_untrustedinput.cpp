#include "engine/tjson.h"
#include "gpu/ddsfile.h"
#include "io/iccprofilecheck.h"
#include "io/imageiomanager.h"
#include "io/pngfilecheck.h"
#include "io/standardprofiles.h"

#include "iotestfiles.h"
#include "korvanetest.h"

#include <QColor>
#include <QDir>
#include <QUrl>

#include <OpenImageIO/tiffutils.h>
#include <lcms2.h>

#include <stdexcept>

using IoTestFiles::readBytes;
using IoTestFiles::writeBytes;

namespace {

// A "file" column with one row per file of the fuzz target's regression folder `kind`: the
// inputs the fuzz targets found harmful, kept next to the targets.
void regressionRows(const QString& kind)
{
    QTest::addColumn<QString>("file");
    const QDir dir(QFileInfo(QStringLiteral(__FILE__)).absoluteDir().filePath("../../fuzz/regressions/" + kind));
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
        QTest::newRow(qPrintable(name)) << dir.filePath(name);
}

uint32_t be32(const QByteArray& b, int at)
{
    const auto* p = reinterpret_cast<const uint8_t*>(b.constData()) + at;
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

void setBe32(QByteArray& b, int at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (24 - 8 * i)) & 0xff);
}

// Offset of the first tag of the given type in the profile's tag table, or -1.
int tagOfType(const QByteArray& icc, const char* type)
{
    for (uint32_t t = 0; t < be32(icc, 128); ++t) {
        const int offset = int(be32(icc, 132 + 12 * int(t) + 4));
        if (icc.mid(offset, 4) == type)
            return 132 + 12 * int(t);
    }
    return -1;
}

// Rewrites the width and height of a little-endian TIFF's first directory.
bool setTiffSize(QByteArray& tiff, uint16_t width, uint16_t height)
{
    if (!tiff.startsWith("II*"))
        return false;
    const auto u16 = [&](int at) { return uint16_t(uint8_t(tiff[at]) | (uint8_t(tiff[at + 1]) << 8)); };
    const int ifd = int(uint8_t(tiff[4]) | (uint8_t(tiff[5]) << 8) | (uint8_t(tiff[6]) << 16));
    int found = 0;
    for (int e = 0; e < u16(ifd); ++e) {
        const int entry = ifd + 2 + 12 * e;
        const uint16_t tag = u16(entry);
        if (tag != 256 && tag != 257)
            continue;
        const uint16_t v = tag == 256 ? width : height;
        tiff[entry + 8] = char(v & 0xff);
        tiff[entry + 9] = char(v >> 8);
        tiff[entry + 10] = tiff[entry + 11] = 0;
        ++found;
    }
    return found == 2;
}

// Rewrites the frame size in a JPEG's start-of-frame marker.
bool setJpegSize(QByteArray& jpeg, uint16_t width, uint16_t height)
{
    const int sof = jpeg.indexOf(QByteArray("\xff\xc0", 2));
    if (sof < 0)
        return false;
    jpeg[sof + 5] = char(height >> 8);
    jpeg[sof + 6] = char(height & 0xff);
    jpeg[sof + 7] = char(width >> 8);
    jpeg[sof + 8] = char(width & 0xff);
    return true;
}

} // namespace

// Files and presets from anywhere: whatever the bytes, a false result or an empty value
// with a message, never a crash. Covers what the fuzz targets found.
class TstUntrustedInput : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    ColorManagementSystem m_cms;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void cleanup() { ImageIOManager::setMaxImageBytes(qint64(1) << 30); }

    void imageRegressionsLoadOrFailCleanly_data() { regressionRows("image"); }

    void imageRegressionsLoadOrFailCleanly()
    {
        QFETCH(QString, file);
        auto pause = std::make_unique<IoTestFiles::PngLeakPause>();
        QString error;
        const TSMat image = ImageIOManager::tryLoadFile(file, m_cms, &error);
        const QSize size = ImageIOManager::getImageSize(file);
        pause.reset();
        if (image.isEmpty())
            QVERIFY2(!error.isEmpty(), "a refused file gave no message");
        else
            QCOMPARE(image.size(), size);
    }

    void ddsRegressionsAreRefusedOrInsideTheFile_data() { regressionRows("dds"); }

    void ddsRegressionsAreRefusedOrInsideTheFile()
    {
        QFETCH(QString, file);
        const QByteArray bytes = readBytes(file);
        const DdsFile dds = DdsFile::parse(bytes.constData(), bytes.size(), 16384);
        if (!dds.isValid())
            QVERIFY2(!dds.error().isEmpty() && dds.levels().isEmpty(), "a refused file gave no reason");
        for (const DdsFile::Level& level : dds.levels())
            QVERIFY(level.offset >= DdsFile::kHeaderBytes && level.offset + level.size <= bytes.size());
    }

    void profileRegressionsAreRefusedOrUsable_data() { regressionRows("icc"); }

    void profileRegressionsAreRefusedOrUsable()
    {
        QFETCH(QString, file);
        const QByteArray icc = readBytes(file);
        const auto* bytes = reinterpret_cast<const uint8_t*>(icc.constData());
        const std::string problem = IccProfileCheck::problem(bytes, size_t(icc.size()));
        OIIO::ImageSpec spec;
        std::string error;
        QCOMPARE(OIIO::decode_icc_profile(OIIO::cspan<uint8_t>(bytes, icc.size()), spec, error), problem.empty());
        if (!problem.empty())
            QCOMPARE(error, problem);
        // Embedded in a file, the bytes convert pixels into the working space (sRGB when
        // Little CMS cannot use them).
        const unsigned char* data = bytes;
        ColorManagementSystem::setImageColorProfile(spec, &data, unsigned(icc.size()));
        const cv::Mat grey(2, 2, CV_8UC3, cv::Scalar::all(128));
        cv::Mat out(2, 2, CV_16UC4);
        try {
            QVERIFY(m_cms.convert(grey, out, spec, TYPE_RGB_8, TYPE_RGBA_16, ColorManagementSystem::FileToWorkspace,
                                  true));
            QCOMPARE(int(out.at<cv::Vec4w>(1, 1)[3]), 65535);
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString(e.what()), QString("empty transform"));
        }
    }

    void jsonRegressionsReadBackUnchanged_data() { regressionRows("json"); }

    void jsonRegressionsReadBackUnchanged()
    {
        QFETCH(QString, file);
        const QVariantMap first = TJson::stringToQMap(QString::fromUtf8(readBytes(file)));
        QCOMPARE(TJson::stringToQMap(TJson::qmapToString(first)), first);
    }

    void damagedJsonValuesReadAsStableValues()
    {
        // Out-of-range channels: the nearest valid colour, not an invalid one.
        QVariantMap map = TJson::stringToQMap(R"({"c": {"red": 300, "green": -5, "blue": 7, "alpha": 1e9}})");
        QCOMPARE(map.value("c").value<QColor>(), QColor(255, 0, 7, 255));
        // A URL that does not parse reads as no URL (it could not be written back).
        map = TJson::stringToQMap("{\"u\": {\"url\": \"http://[\"}, \"n\": 1}");
        QCOMPARE(map.value("u").toUrl(), QUrl());
        QCOMPARE(map.value("n").toDouble(), 1.0);
        // A member named twice, also through an escape: the text is not read at all.
        QVERIFY(TJson::stringToQMap(R"({"a": {"b": 1}, "a": 2})").isEmpty());
        QVERIFY(TJson::stringToQMap(R"({"n": {"a": [1], "\u0061": 2}})").isEmpty());
        // An unpaired surrogate escape names the same member as U+FFFD.
        QVERIFY(TJson::stringToQMap(QString::fromUtf8("{\"\xef\xbf\xbd\": {\"\": 4}, \"\\ud800\": 8}")).isEmpty());
        QVERIFY(TJson::stringToQMap(R"({"\udc00": {"": 4}, "\ufffd": 8})").isEmpty());
        // A raw NUL ends a name for Qt's parser: text holding one is not read; the escape is fine.
        const char rawNul[] = "{\"a\0b\": [{}], \"a\0c\": 5}";
        QVERIFY(TJson::stringToQMap(QString::fromUtf8(rawNul, int(sizeof(rawNul)) - 1)).isEmpty());
        QCOMPARE(TJson::stringToQMap(R"({"a\u0000b": 1, "a\u0000c": 2})").size(), 2);
        // A surrogate pair is one character, not a damaged one.
        map = TJson::stringToQMap(R"({"\ud83d\ude00": 1, "\ufffd": 2})");
        QCOMPARE(map.size(), 2);
        // The same name in sibling objects is no duplicate.
        map = TJson::stringToQMap(R"({"p": {"a": 1, "b": 2}, "q": {"a": 3, "b": "x"}})");
        QCOMPARE(map.value("q").toMap().value("a").toDouble(), 3.0);
    }

    void damagedProfilesAreRefusedBeforeDecoding_data()
    {
        QTest::addColumn<int>("damage");
        QTest::addColumn<QString>("problem");
        QTest::newRow("sound") << 0 << QString();
        QTest::newRow("cut in the header") << 1 << "the profile is shorter than its header";
        QTest::newRow("no signature") << 2 << "the profile has no ICC signature";
        QTest::newRow("huge tag count") << 3 << "the tag table runs past the end of the profile";
        QTest::newRow("tag after the end") << 4 << "a tag lies outside the profile";
        QTest::newRow("tag size wraps") << 5 << "a tag lies outside the profile";
        QTest::newRow("text tag without head") << 6 << "a text tag is shorter than its head";
        QTest::newRow("string outside") << 7 << "a text tag's string lies outside the profile";
    }

    void damagedProfilesAreRefusedBeforeDecoding()
    {
        QFETCH(int, damage);
        QFETCH(QString, problem);
        QByteArray icc = StandardProfiles::build("sRGB_IEC61966-2-1_black_scaled.icc");
        QVERIFY(icc.size() > 200);
        const int firstTag = 132;
        const int mluc = tagOfType(icc, "mluc");
        QVERIFY(mluc > 0);
        switch (damage) {
        case 1: icc.truncate(100); break;
        case 2: icc[36] = 'x'; break;
        case 3: setBe32(icc, 128, 0x10000000); break;
        case 4: setBe32(icc, firstTag + 4, uint32_t(icc.size())); break;
        case 5: setBe32(icc, firstTag + 4, uint32_t(icc.size() - 4)); setBe32(icc, firstTag + 8, 0xfffffff0u); break;
        case 6: icc.replace(int(be32(icc, mluc + 4)), 4, "text"); setBe32(icc, mluc + 8, 4); break;
        case 7: setBe32(icc, int(be32(icc, mluc + 4)) + 16 + 8, 0xffffff00u); break;
        }
        const auto* bytes = reinterpret_cast<const uint8_t*>(icc.constData());
        QCOMPARE(QString::fromStdString(IccProfileCheck::problem(bytes, size_t(icc.size()))), problem);

        // OpenImageIO's readers reach the check through decode_icc_profile(): the refusal
        // comes back as its error, so the unchecked decoder never saw the bytes.
        OIIO::ImageSpec spec;
        std::string error;
        const bool decoded = OIIO::decode_icc_profile(OIIO::cspan<uint8_t>(bytes, icc.size()), spec, error);
        QCOMPARE(decoded, problem.isEmpty());
        if (!problem.isEmpty())
            QCOMPARE(QString::fromStdString(error), problem);
        else
            QVERIFY(spec.find_attribute("ICCProfile:color_space"));
    }

    void damagedPngsAreRefusedBeforeDecoding_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<bool>("headerIntact"); // the size can still be read
        QTest::newRow("sound") << "" << "" << true;
        QTest::newRow("signature") << "signature" << "the PNG signature is damaged" << false;
        QTest::newRow("damaged header chunk") << "ihdr" << "the PNG chunk IHDR fails its checksum" << false;
        QTest::newRow("flipped image byte") << "flip" << "the PNG chunk IDAT fails its checksum" << true;
        QTest::newRow("cut in the image data") << "cut" << "the PNG chunk IDAT runs past the end of the file" << true;
        QTest::newRow("no IEND") << "noend" << "the PNG file ends before its IEND chunk" << true;
        QTest::newRow("huge chunk length") << "length" << "a PNG chunk header is damaged" << false;
    }

    void damagedPngsAreRefusedBeforeDecoding()
    {
        QFETCH(QString, damage);
        QFETCH(QString, problem);
        QFETCH(bool, headerIntact);
        const QString sound = path("sound.png");
        cv::Mat pixels(6, 8, CV_8UC3);
        cv::randu(pixels, 0, 256);
        QVERIFY(IoTestFiles::writeImage(sound, pixels));
        QByteArray png = readBytes(sound);
        const int idat = png.indexOf("IDAT") - 4; // the chunk's length field
        QVERIFY(idat > 8);
        if (damage == "signature")
            png[6] = '\r'; // a line-end conversion
        else if (damage == "ihdr")
            png[8 + 8 + 3] = char(png[8 + 8 + 3] ^ 0x01); // the width's low byte
        else if (damage == "flip")
            png[idat + 8 + 2] = char(png[idat + 8 + 2] ^ 0x10);
        else if (damage == "cut")
            png.truncate(idat + 8 + 1);
        else if (damage == "noend")
            png.chop(12);
        else if (damage == "length")
            setBe32(png, idat, 0xfffffff0u);
        const QString file = path("damaged.png");
        QVERIFY(writeBytes(file, png));
        QCOMPARE(QString::fromStdString(PngFileCheck::problem(file.toStdString())), problem);

        QString error;
        const TSMat image = ImageIOManager::tryLoadFile(file, m_cms, &error);
        if (problem.isEmpty()) {
            QVERIFY2(!image.isEmpty(), qPrintable(error));
        } else {
            QVERIFY(image.isEmpty());
            QVERIFY2(error.endsWith(problem), qPrintable(error));
        }
        // A size query reads only the chunks before the image data.
        QCOMPARE(ImageIOManager::getImageSize(file), headerIntact ? QSize(8, 6) : QSize(0, 0));
    }

    void headerClaimingTooManyPixelsIsRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("TIFF") << "huge.tif";
        QTest::newRow("JPEG") << "huge.jpg";
    }

    void headerClaimingTooManyPixelsIsRefused()
    {
        QFETCH(QString, name);
        const QString file = path(name);
        QVERIFY(IoTestFiles::writeImage(file, cv::Mat(8, 8, CV_8UC3, cv::Scalar(10, 20, 30))));
        QByteArray bytes = readBytes(file);
        // 60000 x 60000 pixels: a 27 GiB working image from a file of a few hundred bytes.
        QVERIFY(name.endsWith(".tif") ? setTiffSize(bytes, 60000, 60000) : setJpegSize(bytes, 60000, 60000));
        QVERIFY(writeBytes(file, bytes));

        QString error;
        QVERIFY(ImageIOManager::tryLoadFile(file, m_cms, &error).isEmpty());
        QVERIFY2(error.contains("the image is too large: 60000 x 60000 pixels") && error.contains("limit is 1024 MiB"),
                 qPrintable(error));
        QCOMPARE(ImageIOManager::getImageSize(file), QSize(0, 0));
    }

    void limitCountsEightBytesPerPixel()
    {
        const QString file = path("small.tif");
        QVERIFY(IoTestFiles::writeImage(file, cv::Mat(3, 5, CV_8UC1, cv::Scalar(99))));
        const qint64 working = 5 * 3 * 4 * 2; // RGBA, 16 bits per channel
        QString error;
        ImageIOManager::setMaxImageBytes(working);
        QCOMPARE(ImageIOManager::tryLoadFile(file, m_cms, &error).size(), QSize(5, 3));
        QCOMPARE(ImageIOManager::getImageSize(file), QSize(5, 3));
        ImageIOManager::setMaxImageBytes(working - 1);
        QVERIFY(ImageIOManager::tryLoadFile(file, m_cms, &error).isEmpty());
        QVERIFY2(error.contains("too large"), qPrintable(error));
        QCOMPARE(ImageIOManager::getImageSize(file), QSize(0, 0));
    }
};

KORVANE_TEST_CASE(TstUntrustedInput)
#include "tst_untrustedinput.moc"
