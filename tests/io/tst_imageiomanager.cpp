// Image files in and out: every depth and layout, orientation, colour spaces and their
// profiles, the save options, metadata, damaged input, atomic replacement of the target,
// the host's planes and files as textures.

#include "gpu/estexture.h"
#include "gpu/glcontextinfo.h"
#include "io/atomicfilewriter.h"
#include "io/backgroundimagewriter.h"
#include "io/imageiomanager.h"
#include "io/imagesaveoptions.h"
#include "io/korvane.h"
#include "io/standardprofiles.h"

#include "korvanetest.h"
#include "iotestfiles.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QRegularExpression>

#include <lcms2.h>


using IoTestFiles::readBytes;
using IoTestFiles::writeBytes;
using IoTestFiles::writeImage;
using Options = ImageIOManager::Options;

namespace {

// Distinct values in every pixel and channel, so a misplaced pixel cannot go unnoticed.
cv::Mat pattern(int rows, int cols, int type)
{
    cv::Mat m(rows, cols, type);
    const int channels = m.channels();
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < cols; ++x) {
            const int i = y * cols + x;
            for (int c = 0; c < channels; ++c) {
                const int v = i * 7 + c * 53 + 5;
                switch (m.depth()) {
                case CV_8U: m.ptr<uint8_t>(y)[x * channels + c] = uint8_t(v % 256); break;
                case CV_16U: m.ptr<uint16_t>(y)[x * channels + c] = uint16_t((int64_t(v) * 997) % 65536); break;
                default: m.ptr<float>(y)[x * channels + c] = float(v % 101) / 100.0f; break;
                }
            }
        }
    }
    return m;
}

// A sample of `m` at (x, y, c) on the 16-bit scale the working image uses.
int wide(const cv::Mat& m, int x, int y, int c)
{
    const int i = x * m.channels() + c;
    switch (m.depth()) {
    case CV_8U: return m.ptr<uint8_t>(y)[i] * 257;
    case CV_16U: return m.ptr<uint16_t>(y)[i];
    default: return int(std::lround(std::clamp(m.ptr<float>(y)[i], 0.0f, 1.0f) * 65535.0f));
    }
}

// The working-image pixel a file pixel should become with no profile anywhere: grey is
// repeated into RGB, missing alpha is opaque.
cv::Vec4i expectedWorking(const cv::Mat& file, int x, int y)
{
    switch (file.channels()) {
    case 1: return {wide(file, x, y, 0), wide(file, x, y, 0), wide(file, x, y, 0), 65535};
    case 2: return {wide(file, x, y, 0), wide(file, x, y, 0), wide(file, x, y, 0), wide(file, x, y, 1)};
    case 3: return {wide(file, x, y, 0), wide(file, x, y, 1), wide(file, x, y, 2), 65535};
    default: return {wide(file, x, y, 0), wide(file, x, y, 1), wide(file, x, y, 2), wide(file, x, y, 3)};
    }
}

// The largest difference between a working image and what the file pixels should give.
int worstDifference(const cv::Mat& working, const cv::Mat& file)
{
    int worst = 0;
    for (int y = 0; y < file.rows; ++y)
        for (int x = 0; x < file.cols; ++x) {
            const cv::Vec4i want = expectedWorking(file, x, y);
            const cv::Vec4w got = working.at<cv::Vec4w>(y, x);
            for (int c = 0; c < 4; ++c)
                worst = std::max(worst, std::abs(int(got[c]) - want[c]));
        }
    return worst;
}

// A file's pixels as stored, with its spec.
cv::Mat readRaw(const QString& path, OIIO::ImageSpec* specOut = nullptr)
{
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(path.toStdString(), &config);
    if (!in)
        return {};
    const OIIO::ImageSpec spec = in->spec();
    const bool eight = spec.format == OIIO::TypeDesc::UINT8;
    cv::Mat m(spec.height, spec.width, CV_MAKETYPE(eight ? CV_8U : CV_16U, spec.nchannels));
    in->read_image(0, 0, 0, spec.nchannels, eight ? OIIO::TypeDesc::UINT8 : OIIO::TypeDesc::UINT16, m.data);
    if (specOut)
        *specOut = spec;
    return m;
}

// The shared table, with the URL that error messages name.
Options fullOptions(const std::string& format)
{
    return ImageIOManager::toOptions(saveOptions(QString::fromStdString(format), {{"FILE_URL", "file:///out"}}));
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden);
}

OIIO::ImageSpec withProfile(const QByteArray& icc)
{
    OIIO::ImageSpec spec;
    if (!icc.isEmpty())
        spec.attribute("ICCProfile", OIIO::TypeDesc(OIIO::TypeDesc::UINT8, icc.size()), icc.constData());
    return spec;
}

// The colour Little CMS computes in double precision for a 16-bit pixel, rounded to 16 bits.
// `grey` takes the first value of `pixel` as a grey input.
std::vector<uint16_t> predict16(const QByteArray& from, bool grey, const QByteArray& to,
                                const std::vector<uint16_t>& pixel)
{
    std::vector<double> in(3);
    for (size_t c = 0; c < 3; ++c)
        in[c] = pixel[std::min(c, pixel.size() - 1)] / 65535.0;
    const auto out = IoTestFiles::predict<double>(from, grey ? TYPE_GRAY_DBL : TYPE_RGB_DBL, to, TYPE_RGB_DBL, in, 3);
    std::vector<uint16_t> result(3);
    for (size_t c = 0; c < 3; ++c)
        result[c] = uint16_t(std::lround(std::clamp(out[c], 0.0, 1.0) * 65535.0));
    return result;
}

} // namespace

// changes: over the full option set; compression: empty: not checked
struct OptionTableRow { QString file; QVariantMap changes; int channels; int bits; QString compression; };
Q_DECLARE_METATYPE(OptionTableRow)

struct MipFileRow { int width; int height; int channels; QList<QSize> levels; };
Q_DECLARE_METATYPE(MipFileRow)

class TstImageIOManager : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    ColorManagementSystem m_cms;

    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void cleanup() { StandardProfiles::uninstall(); }

    // Files of every depth and layout, tiled or not, load with the right pixels.
    void anyDepthAndLayoutLoads_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("tiled");
        for (const char* ext : {"png", "tif"}) {
            for (int depth : {CV_8U, CV_16U})
                for (int channels = 1; channels <= 4; ++channels)
                    QTest::addRow("%s %d-bit %d channels", ext, depth == CV_8U ? 8 : 16, channels)
                        << QString(ext) << CV_MAKETYPE(depth, channels) << false;
        }
        QTest::newRow("tif float RGB") << "tif" << int(CV_32FC3) << false;
        QTest::newRow("tif float grey") << "tif" << int(CV_32FC1) << false;
        QTest::newRow("tif tiled 16-bit RGB") << "tif" << int(CV_16UC3) << true;
        QTest::newRow("tif tiled 8-bit RGBA") << "tif" << int(CV_8UC4) << true;
    }

    void anyDepthAndLayoutLoads()
    {
        QFETCH(QString, extension);
        QFETCH(int, type);
        QFETCH(bool, tiled);
        // More than one 16 x 16 tile, and rows that a reader takes in more than one band.
        const cv::Mat stored = pattern(139, 37, type);
        const QString file = path(QString("layout_%1.%2").arg(QTest::currentDataTag()).arg(extension));
        QVERIFY(writeImage(file, stored, nullptr, tiled));

        cv::Mat working;
        Ostrel::FileInfo info;
        QVERIFY(ImageIOManager::loadFile(file.toStdString(), working, info, m_cms));
        QCOMPARE(working.type(), CV_16UC4);
        QCOMPARE(working.rows, stored.rows);
        QCOMPARE(working.cols, stored.cols);
        // sRGB file to sRGB working space through Little CMS: an identity up to one 16-bit level.
        QVERIFY2(worstDifference(working, stored) <= 1, qPrintable(QString::number(worstDifference(working, stored))));
    }

    void orientation_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("depth");
        for (int depth : {CV_8U, CV_16U})
            for (int code = 1; code <= 8; ++code)
                QTest::addRow("code %d, %d-bit", code, depth == CV_8U ? 8 : 16) << code << depth;
    }

    // Each code places the stored pixels as written out here by hand, and saving puts them back.
    void orientation()
    {
        QFETCH(int, code);
        QFETCH(int, depth);
        const int W = 5, H = 3;
        const cv::Mat stored = pattern(H, W, CV_MAKETYPE(depth, 3));
        OIIO::ImageSpec attributes;
        attributes.attribute("Orientation", code);
        const QString file = path(QString("orient_%1_%2.tif").arg(code).arg(depth));
        QVERIFY(writeImage(file, stored, &attributes));

        const bool swapped = code >= 5;
        QCOMPARE(ImageIOManager::getImageSize(file), swapped ? QSize(H, W) : QSize(W, H));
        cv::Mat working;
        Ostrel::FileInfo info;
        QVERIFY(ImageIOManager::loadFile(file.toStdString(), working, info, m_cms));
        QCOMPARE(working.cols, swapped ? H : W);
        QCOMPARE(working.rows, swapped ? W : H);
        QCOMPARE(info.orientation(), code);

        // Where the stored pixel (x, y) is displayed, per the TIFF/EXIF definition of each code.
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                int dx = x, dy = y;
                switch (code) {
                case 2: dx = W - 1 - x; break;
                case 3: dx = W - 1 - x; dy = H - 1 - y; break;
                case 4: dy = H - 1 - y; break;
                case 5: dx = y; dy = x; break;
                case 6: dx = H - 1 - y; dy = x; break;
                case 7: dx = H - 1 - y; dy = W - 1 - x; break;
                case 8: dx = y; dy = W - 1 - x; break;
                }
                const cv::Vec4w got = working.at<cv::Vec4w>(dy, dx);
                for (int c = 0; c < 3; ++c)
                    QVERIFY2(std::abs(int(got[c]) - wide(stored, x, y, c)) <= 1,
                             qPrintable(QString("stored (%1, %2) not at (%3, %4)").arg(x).arg(y).arg(dx).arg(dy)));
            }

        // Saving writes the stored orientation back, with the tag unchanged.
        const QString saved = path(QString("orient_saved_%1_%2.tif").arg(code).arg(depth));
        QVERIFY(ImageIOManager::saveFile(saved.toStdString(), working, info, m_cms, {{"COLOR_SPACE", "DEFAULT"}}));
        OIIO::ImageSpec spec;
        const cv::Mat back = readRaw(saved, &spec);
        QCOMPARE(spec.get_int_attribute("Orientation", 1), code);
        QCOMPARE(back.cols, W);
        QCOMPARE(back.rows, H);
        cv::Mat expected;
        stored.convertTo(expected, back.depth()); // same depth: the source's
        QVERIFY(cv::norm(back, expected, cv::NORM_INF) <= 1);
    }

    void savingIntoAdobeRoundTrips()
    {
        StandardProfiles::install();
        const cv::Mat working = pattern(6, 9, CV_16UC4); // any sRGB colour fits inside Adobe RGB
        Ostrel::FileInfo info;
        Options options = fullOptions("TIFF");
        options["COLOR_SPACE"] = "Adobe RGB(1998)";
        const QString file = path("to_adobe.tif");
        QVERIFY(ImageIOManager::saveFile(file.toStdString(), working, info, m_cms, options));

        OIIO::ImageSpec spec;
        const cv::Mat stored = readRaw(file, &spec);
        const QByteArray adobe = StandardProfiles::build("Adobe98.icc");
        const OIIO::ParamValue* icc = spec.find_attribute("ICCProfile");
        QVERIFY(icc);
        QCOMPARE(QByteArray(static_cast<const char*>(icc->data()), int(icc->type().size())), adobe);
        const cv::Vec4w first = working.at<cv::Vec4w>(2, 3);
        const auto want = predict16({}, false, adobe, {first[0], first[1], first[2]});
        for (int c = 0; c < 3; ++c)
            QVERIFY(std::abs(int(stored.at<cv::Vec4w>(2, 3)[c]) - int(want[size_t(c)])) <= 1);

        cv::Mat back;
        Ostrel::FileInfo backInfo;
        QVERIFY(ImageIOManager::loadFile(file.toStdString(), back, backInfo, m_cms));
        // The file holds Adobe RGB in 16 bits. Where a channel is dark beside bright ones it is
        // a small difference of large linear values, and half a level of the stored value
        // (about 1e-5 linear) becomes up to ~16 levels in sRGB's steep linear toe; elsewhere
        // the round trip is within a level or two.
        cv::Mat difference;
        cv::absdiff(back, working, difference);
        double worst = 0;
        cv::minMaxLoc(difference.reshape(1), nullptr, &worst);
        QVERIFY2(worst <= 16, qPrintable(QString::number(worst)));
        QVERIFY(cv::mean(difference)[0] < 2);
    }

    void missingProfileResourceWritesNothing()
    {
        const QString file = path("apple.tif");
        QVERIFY(writeBytes(file, "existing"));
        Options options = fullOptions("TIFF");
        options["COLOR_SPACE"] = "Apple RGB";
        Ostrel::FileInfo info;
        QString error;
        QVERIFY(!ImageIOManager::trySaveFile(file.toStdString(), pattern(4, 4, CV_16UC4), info, m_cms, options, &error));
        QVERIFY2(error.contains(":/iccprofiles/AppleRGB.icc"), qPrintable(error));
        QCOMPARE(readBytes(file), QByteArray("existing"));
        OIIO::ImageSpec spec(4, 4, 3, OIIO::TypeDesc::UINT8);
        std::string message;
        QVERIFY(!ImageSaveOptions::applyColorSpace({{"COLOR_SPACE", "Wide Gamut RGB"}}, spec, &message));
        QCOMPARE(QString::fromStdString(message), QString("Could not open the colour profile :/iccprofiles/WideGamut.icc"));
        QVERIFY(!spec.find_attribute("ICCProfile"));
        QVERIFY(ImageSaveOptions::applyColorSpace({}, spec, &message)); // no "COLOR_SPACE", nothing needed
        // With the built profiles installed the same save works.
        StandardProfiles::install();
        QVERIFY(ImageIOManager::saveFile(file.toStdString(), pattern(4, 4, CV_16UC4), info, m_cms, options));
    }

    void colorSpaces_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("resource"); // empty: the source's profile is kept
        QTest::addColumn<QString>("oiioName"); // empty: "oiio:ColorSpace" untouched
        QTest::newRow("ProPhoto") << "ProPhoto RGB" << "ProPhoto.icc" << "ProPhoto";
        QTest::newRow("sRGB") << "sRGB IEC61966-2.1" << "sRGB_IEC61966-2-1_black_scaled.icc" << "";
        QTest::newRow("DEFAULT") << "DEFAULT" << "" << "";
        QTest::newRow("unknown") << "Adobe RGB (1998)" << "" << "";
    }

    void colorSpaces()
    {
        QFETCH(QString, value);
        QFETCH(QString, resource);
        QFETCH(QString, oiioName);
        StandardProfiles::install();
        OIIO::ImageSpec spec(4, 4, 3, OIIO::TypeDesc::UINT8);
        const QByteArray source("source profile bytes");
        spec.attribute("ICCProfile", OIIO::TypeDesc(OIIO::TypeDesc::UINT8, source.size()), source.constData());
        spec.attribute("oiio:ColorSpace", "untouched");
        std::string error;
        QVERIFY(ImageSaveOptions::applyColorSpace({{"COLOR_SPACE", value.toStdString()}}, spec, &error));
        const OIIO::ParamValue* icc = spec.find_attribute("ICCProfile");
        QVERIFY(icc);
        QCOMPARE(int(icc->type().basetype), int(OIIO::TypeDesc::UINT8));
        const QByteArray stored(static_cast<const char*>(icc->data()), int(icc->type().size()));
        QCOMPARE(stored, resource.isEmpty() ? source : StandardProfiles::build(resource));
        QCOMPARE(QString::fromStdString(spec.get_string_attribute("oiio:ColorSpace")),
                 oiioName.isEmpty() ? QString("untouched") : oiioName);
    }

    // The option table, checked on what the written file reports.
    void optionTable_data()
    {
        QTest::addColumn<OptionTableRow>("row");
        QTest::newRow("JPEG") << OptionTableRow{"o.jpg", QVariantMap{{"JPEG_QUALITY", "High"}}, 3, 8,
                ""};
        QTest::newRow("TIFF LZW 8 bit with alpha") << OptionTableRow{"o1.tif",
                QVariantMap{{"TIFF_BITDEPTH", "8 bit"}, {"SAVE_ALPHA", "TRUE"}}, 4, 8, "lzw"};
        QTest::newRow("TIFF NONE 16 bit without alpha") << OptionTableRow{"o2.tif",
                QVariantMap{{"TIFF_COMPRESSION", "NONE"}, {"SAVE_ALPHA", "FALSE"}}, 3, 16, "none"};
        QTest::newRow("TIFF ADOBE_DEFLATE") << OptionTableRow{"o3.tif",
                QVariantMap{{"TIFF_COMPRESSION", "ADOBE_DEFLATE"}}, 4, 16, "zip"};
        QTest::newRow("TIFF unknown compression keeps the source's") << OptionTableRow{"o5.tif",
                QVariantMap{{"TIFF_COMPRESSION", "JPEG2000"}}, 4, 16, "packbits"};
        QTest::newRow("TIFF '8 bits' is not '8 bit'") << OptionTableRow{"o6.tif",
                QVariantMap{{"TIFF_BITDEPTH", "8 bits"}}, 4, 16, ""};
        QTest::newRow("TIFF of the source's depth") << OptionTableRow{"o4.tif",
                QVariantMap{{"TIFF_BITDEPTH", "DEFAULT"}, {"SAVE_ALPHA", "FALSE"}}, 3, 8, ""};
        QTest::newRow("PNG 8 bit") << OptionTableRow{"o7.png", QVariantMap{{"PNG_BITDEPTH", "8 bit"}},
                3, 8, ""};
        QTest::newRow("PNG 16 bit with alpha") << OptionTableRow{"o8.png",
                QVariantMap{{"PNG_INTERLACE", "INTERLACED"}, {"SAVE_ALPHA", "TRUE"}}, 4, 16, ""};
    }

    void optionTable()
    {
        QFETCH(OptionTableRow, row);
        const auto& [file, changes, channels, bits, compression] = row;
        // The source: a packbits-compressed 8-bit RGB TIFF, so nothing the output shows is inherited by chance.
        OIIO::ImageSpec attributes;
        attributes.attribute("compression", "packbits");
        const QString source = path("option_source.tif");
        QVERIFY(writeImage(source, pattern(9, 11, CV_8UC3), &attributes));
        cv::Mat working;
        Ostrel::FileInfo info;
        QVERIFY(ImageIOManager::loadFile(source.toStdString(), working, info, m_cms));

        const QString format = file.endsWith(".jpg") ? "JPEG" : file.endsWith(".tif") ? "TIFF" : "PNG";
        const Options options = ImageIOManager::toOptions(saveOptions(format, changes));
        QVERIFY(ImageIOManager::saveFile(path(file).toStdString(), working, info, m_cms, options));

        OIIO::ImageSpec spec;
        const cv::Mat stored = readRaw(path(file), &spec);
        QCOMPARE(spec.nchannels, channels);
        QCOMPARE(int(spec.format.size()) * 8, bits);
        QCOMPARE(spec.alpha_channel, channels == 4 ? 3 : -1);
        if (!compression.isEmpty())
            QCOMPARE(QString::fromStdString(spec.get_string_attribute("compression")), compression);
        if (!file.endsWith(".jpg")) { // lossless formats hold the source's pixels
            cv::Mat reloaded;
            Ostrel::FileInfo reloadedInfo;
            QVERIFY(ImageIOManager::loadFile(path(file).toStdString(), reloaded, reloadedInfo, m_cms));
            const double tolerance = bits == 8 ? 257 : 2;
            QVERIFY(cv::norm(reloaded, working, cv::NORM_INF) <= tolerance);
        }
    }

    // Regression: JPEG quality and coding reach OpenImageIO 2.4 even from a TIFF source.
    void jpegOptionsTakeEffect()
    {
        OIIO::ImageSpec attributes;
        attributes.attribute("compression", "lzw");
        const QString source = path("jpeg_source.tif");
        QVERIFY(writeImage(source, pattern(128, 160, CV_16UC3), &attributes));
        cv::Mat working;
        Ostrel::FileInfo info;
        QVERIFY(ImageIOManager::loadFile(source.toStdString(), working, info, m_cms));

        auto save = [&](const char* name, const char* quality, const char* coding) {
            const Options options =
                ImageIOManager::toOptions(saveOptions("JPEG", {{"JPEG_QUALITY", quality}, {"JPEG_FORMAT", coding}}));
            return ImageIOManager::saveFile(path(name).toStdString(), working, info, m_cms, options) ? readBytes(path(name))
                                                                                                      : QByteArray();
        };
        const QByteArray low = save("q10.jpg", "Low", "Standard");
        const QByteArray high = save("q100.jpg", "Maximum", "Standard");
        const QByteArray progressive = save("progressive.jpg", "Normal", "Progressive");
        QVERIFY(!low.isEmpty() && !high.isEmpty() && !progressive.isEmpty());
        QVERIFY2(low.size() * 3 < high.size(), qPrintable(QString("%1 vs %2").arg(low.size()).arg(high.size())));
        const QByteArray sof2("\xFF\xC2", 2);
        QVERIFY(progressive.contains(sof2));
        QVERIFY(!high.contains(sof2));
    }

    // Regression: metadata and the embedded profile survive a load and a save.
    void metadataTravelsWithImage()
    {
        const QByteArray adobe = StandardProfiles::build("Adobe98.icc");
        OIIO::ImageSpec attributes = withProfile(adobe);
        attributes.attribute("Make", "Korvane");
        attributes.attribute("Model", "K-1");
        attributes.attribute("Artist", "A. Tester");
        attributes.attribute("ExposureTime", 0.01f);
        attributes.attribute("FNumber", 2.8f);
        attributes.attribute("Exif:PhotographicSensitivity", 400);
        attributes.attribute("IPTC:City", "Lyon");
        attributes.attribute("Keywords", "one; two");
        const QString source = path("meta.jpg");
        QVERIFY(writeImage(source, pattern(24, 32, CV_8UC3), &attributes));

        QString error;
        const TSMat loaded = ImageIOManager::tryLoadFile(source, m_cms, &error);
        QVERIFY2(!loaded.isEmpty(), qPrintable(error));
        Ostrel::FileInfo attached(OIIO::ImageSpec(1, 1, 1, OIIO::TypeDesc::UINT8));
        QVERIFY(!Ostrel::FileInfo::attachedTo(TSMat(pattern(2, 2, CV_16UC4)), &attached));
        QCOMPARE(attached.spec().width, 1); // untouched
        const TSMat copy = loaded; // handles share their properties
        QVERIFY(Ostrel::FileInfo::attachedTo(copy, &attached));
        QCOMPARE(attached.spec().get_string_attribute("Artist"), std::string("A. Tester"));

        const QString saved = path("meta_saved.jpg");
        QVERIFY2(ImageIOManager::trySaveFile(saved, loaded, m_cms, fullOptions("JPEG"), &error), qPrintable(error));
        OIIO::ImageSpec spec;
        readRaw(saved, &spec);
        for (const char* name : {"Make", "Model", "Artist", "IPTC:City", "Keywords"})
            QCOMPARE(QString::fromStdString(spec.get_string_attribute(name)),
                     QString::fromStdString(attributes.get_string_attribute(name)));
        // EXIF stores these as rationals.
        QVERIFY(std::abs(spec.get_float_attribute("ExposureTime") - 0.01f) < 1e-5f);
        QVERIFY(std::abs(spec.get_float_attribute("FNumber") - 2.8f) < 1e-4f);
        QCOMPARE(spec.get_int_attribute("Exif:PhotographicSensitivity"), 400);
        const OIIO::ParamValue* icc = spec.find_attribute("ICCProfile");
        QVERIFY(icc);
        QCOMPARE(QByteArray(static_cast<const char*>(icc->data()), int(icc->type().size())), adobe);
    }

    // Regression: grey and CMYK profiles, and profiles that cannot be read, never stop a load
    // (those that cannot be read count as sRGB).
    void greyCmykAndBrokenProfilesLoad_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("grey 8-bit PNG, grey profile") << 0;
        QTest::newRow("grey 16-bit TIFF, grey profile") << 1;
        QTest::newRow("CMYK JPEG with its profile") << 2;
        QTest::newRow("JPEG with a corrupt profile") << 3;
        QTest::newRow("RGB TIFF with a grey profile") << 4;
        QTest::newRow("JPEG with a huge tag count in its profile") << 5;
    }

    void greyCmykAndBrokenProfilesLoad()
    {
        QFETCH(int, kind);
        const QString file = path(QString("profiles_%1.%2").arg(kind).arg(kind == 0 ? "png" : kind == 1 || kind == 4 ? "tif" : "jpg"));
        const QByteArray linearGrey = IoTestFiles::greyProfile(1.0);
        cv::Mat stored; // what the file holds, for the cases whose sRGB reading is known
        switch (kind) {
        case 0:
        case 1: {
            stored = cv::Mat(4, 6, kind == 0 ? CV_8UC1 : CV_16UC1, cv::Scalar(kind == 0 ? 64 : 16448));
            const OIIO::ImageSpec attributes = withProfile(linearGrey);
            QVERIFY(writeImage(file, stored, &attributes));
            break;
        }
        case 2: {
            // Ink stored inverted, as Adobe CMYK JPEGs do: block 0 magenta + yellow (red), block 1 cyan.
            const QByteArray jpeg = IoTestFiles::flatBlockJpeg(
                16, 8, 4,
                [](int bx, int) {
                    return bx == 0 ? std::array<uint8_t, 4>{255, 0, 0, 255} : std::array<uint8_t, 4>{0, 255, 255, 255};
                },
                true, IoTestFiles::naiveCmykProfile());
            QVERIFY(writeBytes(file, jpeg));
            break;
        }
        case 3:
        case 4:
        case 5: {
            stored = pattern(8, 8, kind == 4 ? CV_16UC3 : CV_8UC3);
            QByteArray damaged = StandardProfiles::build("Adobe98.icc");
            damaged[128] = char(0x10); // the tag count, now far past the end of the data
            const OIIO::ImageSpec attributes =
                withProfile(kind == 3 ? QByteArray(400, char(0x33)) : kind == 4 ? linearGrey : damaged);
            QVERIFY(writeImage(file, stored, &attributes));
            break;
        }
        }

        cv::Mat working;
        Ostrel::FileInfo info;
        QString error;
        QVERIFY2(ImageIOManager::tryLoadFile(file.toStdString(), working, info, m_cms, &error), qPrintable(error));
        QCOMPARE(working.type(), CV_16UC4);
        switch (kind) {
        case 0:
        case 1: {
            // A linear grey of 64/255 is a much lighter sRGB grey: the grey profile was used.
            const auto want = predict16(linearGrey, true, {}, {16448});
            const cv::Vec4w p = working.at<cv::Vec4w>(2, 3);
            QVERIFY(std::abs(int(p[0]) - int(want[0])) <= 2);
            QCOMPARE(p[0], p[1]);
            QCOMPARE(p[1], p[2]);
            QVERIFY(p[0] > 30000);
            QCOMPARE(int(p[3]), 65535);
            // Saved back it is grey again, in its own profile, with its own values.
            const QString saved = path(QString("grey_saved_%1.%2").arg(kind).arg(kind == 0 ? "png" : "tif"));
            Options options = fullOptions(kind == 0 ? "PNG" : "TIFF");
            options[kind == 0 ? "PNG_BITDEPTH" : "TIFF_BITDEPTH"] = "DEFAULT";
            options["SAVE_ALPHA"] = "FALSE";
            QVERIFY2(ImageIOManager::trySaveFile(saved.toStdString(), working, info, m_cms, options, &error),
                     qPrintable(error));
            OIIO::ImageSpec spec;
            const cv::Mat back = readRaw(saved, &spec);
            QCOMPARE(back.type(), stored.type());
            QCOMPARE(ColorManagementSystem::imageColorSpace(spec), unsigned(cmsSigGrayData));
            QVERIFY(cv::norm(back, stored, cv::NORM_INF) <= 1 + kind * 15); // two 16-bit conversions
            break;
        }
        case 2: {
            const cv::Vec4w red = working.at<cv::Vec4w>(4, 3), cyan = working.at<cv::Vec4w>(4, 12);
            QVERIFY(red[0] > 60000 && red[1] < 5000 && red[2] < 5000);
            QVERIFY(cyan[0] < 5000 && cyan[1] > 60000 && cyan[2] > 60000);
            // Saving it drops the CMYK profile, which no longer describes the pixels.
            const QString saved = path("cmyk_saved.jpg");
            QVERIFY(ImageIOManager::trySaveFile(saved.toStdString(), working, info, m_cms, fullOptions("JPEG"), &error));
            OIIO::ImageSpec spec;
            readRaw(saved, &spec);
            QVERIFY(!spec.find_attribute("ICCProfile"));
            break;
        }
        default: {
            cv::Mat plain;
            Ostrel::FileInfo plainInfo;
            const QString plainFile = path(QString("profiles_plain_%1.%2").arg(kind).arg(kind == 4 ? "tif" : "jpg"));
            QVERIFY(writeImage(plainFile, stored));
            QVERIFY(ImageIOManager::loadFile(plainFile.toStdString(), plain, plainInfo, m_cms));
            QCOMPARE(cv::norm(working, plain, cv::NORM_INF), 0.0); // read as sRGB
            break;
        }
        }
    }

    // Regression: straight alpha in and out.
    void straightAlpha()
    {
        cv::Mat stored(3, 4, CV_8UC4, cv::Scalar(101, 203, 255, 128));
        const QString file = path("alpha.png");
        QVERIFY(writeImage(file, stored));
        QCOMPARE(readRaw(file).at<cv::Vec4b>(1, 1), cv::Vec4b(101, 203, 255, 128)); // the file holds these

        cv::Mat working;
        Ostrel::FileInfo info;
        QVERIFY(ImageIOManager::loadFile(file.toStdString(), working, info, m_cms));
        const cv::Vec4w p = working.at<cv::Vec4w>(2, 3);
        QVERIFY(std::abs(int(p[0]) - 101 * 257) <= 1);
        QVERIFY(std::abs(int(p[1]) - 203 * 257) <= 1);
        QVERIFY(std::abs(int(p[2]) - 255 * 257) <= 1);
        QCOMPARE(int(p[3]), 128 * 257);

        for (const char* name : {"alpha_out.tif", "alpha_out.png"}) {
            const Options options = ImageIOManager::toOptions(saveOptions(
                QString(name).endsWith("tif") ? "TIFF" : "PNG", {{"TIFF_BITDEPTH", "8 bit"}, {"PNG_BITDEPTH", "8 bit"}}));
            QVERIFY(ImageIOManager::saveFile(path(name).toStdString(), working, info, m_cms, options));
            OIIO::ImageSpec spec;
            const cv::Mat back = readRaw(path(name), &spec);
            QCOMPARE(spec.nchannels, 4);
            QCOMPARE(spec.alpha_channel, 3);
            QCOMPARE(spec.channelnames, (std::vector<std::string>{"R", "G", "B", "A"}));
            QCOMPARE(back.at<cv::Vec4b>(2, 3), cv::Vec4b(101, 203, 255, 128));
        }
    }

    // Regression: a failed save (cancelled, or on a full disk) leaves an existing file as it
    // was, says so, leaves no debris, and the process lives on (the JPEG library's own
    // handler exits).
    void failedSaveKeepsExistingFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<float>("cancelAt"); // cancel at the first report of this much done; < 0: a full disk
        QTest::newRow("TIFF cancelled part-way") << "keep.tif" << 0.01f;
        QTest::newRow("PNG cancelled at the start") << "keep.png" << 0.0f;
        QTest::newRow("JPEG cancelled part-way") << "keep.jpg" << 0.01f;
        for (const char* name : {"keep.tif", "keep.png", "keep.jpg"})
            QTest::addRow("%s on a full disk", name) << QString(name) << -1.0f;
    }

    void failedSaveKeepsExistingFile()
    {
        QFETCH(QString, name);
        QFETCH(float, cancelAt);
        const bool fullDisk = cancelAt < 0;
        QTemporaryDir dir;
        if (fullDisk && QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=2m", "tmpfs", dir.path()}) != 0)
            QSKIP("needs root to mount a small tmpfs");
        const auto unmount = qScopeGuard([&] {
            if (fullDisk)
                QProcess::execute("umount", {dir.path()});
        });
        const QString file = dir.filePath(name);
        QVERIFY(writeImage(file, pattern(16, 16, CV_8UC3)));
        const QByteArray before = readBytes(file);
        QStringList left{name};
        if (fullDisk) {
            QFile filler(dir.filePath("filler"));
            QVERIFY(filler.open(QIODevice::WriteOnly));
            const QByteArray block(4096, 'x');
            while (filler.write(block) == block.size() && filler.flush()) {
            }
            left.prepend("filler");
        }

        const cv::Mat working = pattern(1500, 700, CV_16UC4);
        Ostrel::FileInfo info;
        const Options options = fullOptions(name.endsWith("tif") ? "TIFF" : name.endsWith("png") ? "PNG" : "JPEG");
        QString error;
        int reports = 0;
        QVERIFY(!ImageIOManager::trySaveFile(file.toStdString(), working, info, m_cms, options, &error, [&](float done) {
            ++reports;
            return fullDisk || done < cancelAt;
        }));
        QVERIFY(fullDisk || reports > 0);
        QVERIFY2(error.startsWith("cannot write file:///out: "), qPrintable(error));
        QCOMPARE(readBytes(file), before);
        QCOMPARE(filesIn(dir.path()), left);
        if (fullDisk)
            return;

        // Without the interruption the same save replaces the file.
        QVERIFY(ImageIOManager::trySaveFile(file.toStdString(), working, info, m_cms, options, &error));
        QVERIFY(readBytes(file) != before);
        QCOMPARE(filesIn(dir.path()), left);
    }

    // Saves handed to the background writer land in the order given, each reported once, and
    // the writer's end waits for all of them: the last image given is the one in the file.
    void backgroundWritesKeepOrderAndEndWritten()
    {
        const QString file = path("background.png");
        const QString lost = path("no-such-folder/out.png");
        QStringList outcomes;
        std::vector<cv::Mat> images;
        {
            BackgroundImageWriter writer;
            for (int i = 0; i < 4; ++i) {
                images.push_back(pattern(300 + i, 200, CV_16UC3) + cv::Scalar::all(1000 * i));
                const QString target = i == 2 ? lost : file;
                writer.write(target, TSMat(images.back()), fullOptions("PNG"), [&outcomes, i](const QString& error) {
                    outcomes << QStringLiteral("%1:%2").arg(i).arg(error.isEmpty() ? "written" : error.left(13));
                });
            }
        } // no wait: the destructor must write what it was given
        QCOMPARE(outcomes, (QStringList{"0:written", "1:written", "2:cannot write ", "3:written"}));
        cv::Mat back;
        Ostrel::FileInfo info;
        QVERIFY(ImageIOManager::loadFile(file.toStdString(), back, info, m_cms));
        QCOMPARE(back.rows, images.back().rows);
        QVERIFY(worstDifference(back, images.back()) <= 1); // the images differ by 1000
        QVERIFY(!QFileInfo::exists(lost));
    }

    // Regression: the non-throwing save reports each missing required key.
    void missingRequiredKeyIsReported_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("key");
        const QMap<QString, QStringList> required{
            {"JPEG", {"IMAGE_FORMAT", "JPEG_QUALITY", "JPEG_FORMAT"}},
            {"TIFF", {"IMAGE_FORMAT", "TIFF_COMPRESSION", "TIFF_BITDEPTH", "SAVE_ALPHA"}},
            {"PNG", {"IMAGE_FORMAT", "PNG_COMPRESSION", "PNG_INTERLACE", "PNG_BITDEPTH"}}};
        for (auto it = required.begin(); it != required.end(); ++it)
            for (const QString& key : it.value())
                QTest::addRow("%s without %s", qPrintable(it.key()), qPrintable(key)) << it.key() << key;
    }

    void missingRequiredKeyIsReported()
    {
        QFETCH(QString, format);
        QFETCH(QString, key);
        Options options = fullOptions(format.toStdString());
        options.erase(key.toStdString());
        const QString file = path("missing_key." + format.toLower());
        Ostrel::FileInfo info;
        QString error;
        QVERIFY(!ImageIOManager::trySaveFile(file.toStdString(), pattern(4, 4, CV_16UC4), info, m_cms, options, &error));
        QCOMPARE(error, QString("invalid map<K, T> key"));
        QVERIFY(!QFile::exists(file));
        // A direct caller gets the exception itself.
        QVERIFY_EXCEPTION_THROWN(
            ImageIOManager::saveFile(file.toStdString(), pattern(4, 4, CV_16UC4), info, m_cms, options),
            std::out_of_range);
        QVERIFY(!QFile::exists(file));
    }

    void badInput_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("damage"); // 0 none (missing), 1 empty, 2 cut in half, 3 bytes overwritten
        QTest::addColumn<QString>("message");
        const QString open = "^cannot open \\S+: \\S";
        const QString either = "^cannot (open|read) \\S+: \\S";
        QTest::newRow("missing") << "missing.png" << 0 << open;
        QTest::newRow("empty JPEG") << "empty.jpg" << 1 << open;
        QTest::newRow("truncated TIFF") << "cut.tif" << 2 << either;
        QTest::newRow("truncated PNG") << "cut.png" << 2 << either;
        QTest::newRow("corrupted JPEG") << "bad.jpg" << 3 << either;
    }

    void badInput()
    {
        QFETCH(QString, name);
        QFETCH(int, damage);
        QFETCH(QString, message);
        const QString file = path(name);
        if (damage > 0) {
            QVERIFY(writeImage(file, pattern(40, 50, CV_8UC3)));
            QByteArray bytes = readBytes(file);
            if (damage == 1)
                bytes.clear();
            else if (damage == 2)
                bytes.truncate(bytes.size() / 2);
            else
                for (int i = 8; i < bytes.size(); i += 7)
                    bytes[i] = char(bytes[i] ^ 0x5a);
            QVERIFY(writeBytes(file, bytes));
        }
        cv::Mat working;
        Ostrel::FileInfo info;
        QString error;
        std::unique_ptr<IoTestFiles::PngLeakPause> pause(name.endsWith(".png") ? new IoTestFiles::PngLeakPause : nullptr);
        QVERIFY(!ImageIOManager::tryLoadFile(file.toStdString(), working, info, m_cms, &error));
        QVERIFY2(QRegularExpression(message).match(error).hasMatch() && error.contains(file), qPrintable(error));
        QVERIFY(ImageIOManager::tryLoadFile(file, m_cms, &error).isEmpty());
        QVERIFY(!ImageIOManager::loadFile(file.toStdString(), working, info, m_cms));
        // A truncated file keeps its header, and so its size; an overwritten one may or may not.
        if (damage != 3)
            QCOMPARE(ImageIOManager::getImageSize(file), damage == 2 ? QSize(50, 40) : QSize(0, 0));
    }

    void unsupportedChannelCount()
    {
        const QString file = path("five.tif");
        cv::Mat five(4, 4, CV_8UC(5));
        std::memset(five.data, 9, five.total() * five.elemSize());
        QVERIFY(writeImage(file, five));
        cv::Mat working;
        Ostrel::FileInfo info;
        try {
            ImageIOManager::loadFile(file.toStdString(), working, info, m_cms);
            QFAIL("a 5-channel file was not refused");
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString(e.what()), QString("wrong channels"));
        }
        QString error;
        QVERIFY(ImageIOManager::tryLoadFile(file, m_cms, &error).isEmpty());
        QCOMPARE(error, QString("wrong channels"));

        // Nor is it written back with its own layout.
        Ostrel::FileInfo fiveInfo(OIIO::ImageSpec(4, 4, 5, OIIO::TypeDesc::UINT8));
        QVERIFY(!ImageIOManager::trySaveFile(path("five_out.tif").toStdString(), pattern(4, 4, CV_16UC4), fiveInfo,
                                             m_cms, {{"COLOR_SPACE", "DEFAULT"}}, &error));
        QCOMPARE(error, QString("wrong channels"));
        QVERIFY(!QFile::exists(path("five_out.tif")));
    }

    void saveRefusesImagesOfOtherTypes()
    {
        const QString file = path("other_type.png");
        for (const int type : {CV_32FC3, CV_8UC1}) {
            Ostrel::FileInfo info;
            QString error;
            QVERIFY(!ImageIOManager::trySaveFile(file.toStdString(), cv::Mat(4, 4, type, cv::Scalar::all(0)), info,
                                                 m_cms, fullOptions("PNG"), &error));
            QVERIFY(!error.isEmpty());
            QVERIFY(!QFile::exists(file));
        }
    }

    void cacheFollowsInstances()
    {
        QCOMPARE(ImageIOManager::instanceCount(), 0);
        QVERIFY(ImageIOManager::cache() == nullptr);
        {
            ImageIOManager first;
            OIIO::ImageCache* cache = ImageIOManager::cache();
            QVERIFY(cache != nullptr);
            {
                ImageIOManager second;
                QCOMPARE(ImageIOManager::instanceCount(), 2);
                QCOMPARE(ImageIOManager::cache(), cache); // one cache for the process
            }
            QCOMPARE(ImageIOManager::cache(), cache);
        }
        QCOMPARE(ImageIOManager::instanceCount(), 0);
        QVERIFY(ImageIOManager::cache() == nullptr);
    }

    void mipFile_data()
    {
        QTest::addColumn<MipFileRow>("row");
        QTest::newRow("64 x 48 RGB") << MipFileRow{64, 48, 3,
                QList<QSize>{{64, 48}, {32, 24}, {16, 12}, {8, 6}, {4, 3}, {2, 1}}};
        QTest::newRow("7 x 3 grey") << MipFileRow{7, 3, 1, QList<QSize>{{7, 3}, {3, 1}}};
    }

    void mipFile()
    {
        QFETCH(MipFileRow, row);
        const auto& [width, height, channels, levels] = row;
        const QString source = path(QString("mip_src_%1.png").arg(QTest::currentDataTag()));
        const QString destination = path(QString("mip_%1.tif").arg(QTest::currentDataTag()));
        QVERIFY(writeImage(source, cv::Mat(height, width, CV_8UC(channels), cv::Scalar::all(180))));
        QString error;
        QVERIFY2(ImageIOManager::tryGenerateMipImageTIFFFile(source, destination, &error), qPrintable(error));

        auto in = OIIO::ImageInput::open(destination.toStdString());
        QVERIFY(in);
        // Scanline TIFF keeps the levels as subimages, tiled TIFF as MIP levels: take both.
        QList<QSize> found;
        for (int subimage = 0; in->seek_subimage(subimage, 0); ++subimage)
            for (int level = 0; in->seek_subimage(subimage, level); ++level)
                found << QSize(in->spec().width, in->spec().height);
        QCOMPARE(found, levels);
        QCOMPARE(in->spec(0, 0).nchannels, channels);
        QCOMPARE(in->spec(0, 0).format, OIIO::TypeDesc(OIIO::TypeDesc::UINT8));
        QCOMPARE(filesIn(m_dir.path()).filter(QRegularExpression("^\\.mip")).size(), 0);
    }

    void mipFileFailures()
    {
        QString error;
        QVERIFY(!ImageIOManager::generateMipImageTIFFFile(path("absent.png"), path("mip_absent.tif")));
        const QString twoChannels = path("mip_two.png");
        QVERIFY(writeImage(twoChannels, cv::Mat(4, 4, CV_8UC2, cv::Scalar::all(9))));
        QVERIFY(!ImageIOManager::tryGenerateMipImageTIFFFile(twoChannels, path("mip_two.tif"), &error));
        QCOMPARE(error, QString("wrong channels"));
        const QString rgb = path("mip_rgb.png");
        QVERIFY(writeImage(rgb, cv::Mat(4, 4, CV_8UC3, cv::Scalar::all(9))));
        QVERIFY(!ImageIOManager::generateMipImageTIFFFile(rgb, path("no_folder/mip.tif")));
        // JPEG holds one image only.
        QVERIFY(!ImageIOManager::generateMipImageTIFFFile(rgb, path("mip.jpg")));
        QVERIFY(!QFile::exists(path("mip.jpg")));
    }

    // Regression: host planes scale exactly, so a round trip stays within one level.
    void hostPlanesRoundTrip_data()
    {
        QTest::addColumn<int>("depth");
        QTest::addColumn<bool>("hostProfile"); // a built sRGB profile: a real transform, same gamut
        QTest::newRow("8-bit, no host profile") << 1 << false;
        QTest::newRow("16-bit, no host profile") << 2 << false;
        QTest::newRow("8-bit, host profile") << 1 << true;
        QTest::newRow("16-bit, host profile") << 2 << true;
    }

    void hostPlanesRoundTrip()
    {
        QFETCH(int, depth);
        QFETCH(bool, hostProfile);
        const unsigned width = 13, height = 7;
        const int rowBytes = int(width) * depth + 3; // padded, and odd: rows are not aligned
        const int top = depth == 1 ? 255 : 32768;
        std::vector<std::vector<uchar>> planes(3, std::vector<uchar>(size_t(rowBytes) * height, 0)), out = planes;
        // Sample (x, y) of plane c, copied byte-wise (rows are not aligned); little-endian.
        auto sample = [&](std::vector<std::vector<uchar>>& p, unsigned c, unsigned x, unsigned y) {
            return p[c].data() + y * unsigned(rowBytes) + x * unsigned(depth);
        };
        for (unsigned c = 0; c < 3; ++c)
            for (unsigned y = 0; y < height; ++y)
                for (unsigned x = 0; x < width; ++x) {
                    const uint16_t v = uint16_t((x * 131 + y * 71 + c * 29) % unsigned(top + 1));
                    std::memcpy(sample(planes, c, x, y), &v, size_t(depth));
                }
        QByteArray profile = hostProfile ? StandardProfiles::build("sRGB_IEC61966-2-1_black_scaled.icc") : QByteArray();
        auto* profileData = reinterpret_cast<uchar*>(profile.data());
        ColorManagementSystem cms;

        cv::Mat working;
        QVERIFY(ImageIOManager::loadFromPS(width, height, planes[0].data(), planes[1].data(), planes[2].data(),
                                           unsigned(rowBytes), depth, profileData, profile.size(), working, cms));
        QCOMPARE(working.type(), CV_16UC4);
        { // sRGB to sRGB: the scaling alone, 8-bit by 257, 0..32768 onto 0..65535
            const cv::Vec4w p = working.at<cv::Vec4w>(0, 1);
            const int want = depth == 1 ? 131 * 257 : int(std::lround(131.0 * 65535.0 / 32768.0));
            QVERIFY(std::abs(int(p[0]) - want) <= 1);
            QCOMPARE(int(p[3]), 65535);
        }

        QVERIFY(ImageIOManager::saveToPS(width, height, out[0].data(), out[1].data(), out[2].data(), rowBytes, depth,
                                         profileData, profile.size(), working, cms));
        int worst = 0;
        for (unsigned c = 0; c < 3; ++c)
            for (unsigned y = 0; y < height; ++y)
                for (unsigned x = 0; x < width; ++x) {
                    uint16_t a = 0, b = 0;
                    std::memcpy(&a, sample(planes, c, x, y), size_t(depth));
                    std::memcpy(&b, sample(out, c, x, y), size_t(depth));
                    worst = std::max(worst, std::abs(int(a) - int(b)));
                }
        QVERIFY2(worst <= 1, qPrintable(QString::number(worst)));
    }

    void hostProfileIsApplied()
    {
        QByteArray adobe = StandardProfiles::build("Adobe98.icc");
        std::vector<uchar> r(4, 200), g(4, 120), b(4, 60);
        cv::Mat working;
        QVERIFY(ImageIOManager::loadFromPS(2, 2, r.data(), g.data(), b.data(), 2, 1,
                                           reinterpret_cast<uchar*>(adobe.data()), adobe.size(), working, m_cms));
        const auto want = predict16(adobe, false, {}, {200 * 257, 120 * 257, 60 * 257});
        const cv::Vec4w got = working.at<cv::Vec4w>(1, 1);
        for (int c = 0; c < 3; ++c)
            QVERIFY(std::abs(int(got[c]) - int(want[size_t(c)])) <= 1);
        QVERIFY(std::abs(int(got[0]) - 200 * 257) > 500); // Adobe RGB is not sRGB
    }

    void hostPlanesRefuseBadBuffers()
    {
        std::vector<uchar> plane(64, 0);
        cv::Mat working;
        QVERIFY(!ImageIOManager::loadFromPS(4, 4, plane.data(), nullptr, plane.data(), 4, 1, nullptr, 0, working, m_cms));
        QVERIFY(!ImageIOManager::loadFromPS(4, 4, plane.data(), plane.data(), plane.data(), 4, 3, nullptr, 0, working,
                                            m_cms));
        QVERIFY(!ImageIOManager::loadFromPS(4, 4, plane.data(), plane.data(), plane.data(), 3, 1, nullptr, 0, working,
                                            m_cms));
        cv::Mat wrongSize(5, 4, CV_16UC4, cv::Scalar::all(0));
        QVERIFY(!ImageIOManager::saveToPS(4, 4, plane.data(), plane.data(), plane.data(), 4, 1, nullptr, 0, wrongSize,
                                          m_cms));
    }

    // Regression: URLs become local paths only for local files.
    void localPathFromUrl_data()
    {
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<QString>("local"); // empty: refused
        QTest::newRow("file URL") << QUrl("file:///tmp/k/out.jpg") << "/tmp/k/out.jpg";
        QTest::newRow("file URL with an escaped space") << QUrl("file:///tmp/k/a%20b.jpg") << "/tmp/k/a b.jpg";
        QTest::newRow("plain absolute path") << QUrl("/tmp/k/out.jpg") << "/tmp/k/out.jpg";
        QTest::newRow("plain relative path") << QUrl("k/out.png") << "k/out.png";
        QTest::newRow("http") << QUrl("http://example.com/out.jpg") << "";
        QTest::newRow("qrc") << QUrl("qrc:/images/out.jpg") << "";
        QTest::newRow("empty") << QUrl() << "";
    }

    void localPathFromUrl()
    {
        QFETCH(QUrl, url);
        QFETCH(QString, local);
        QString error;
        QCOMPARE(ImageIOManager::localPathFromUrl(url, &error), local);
        QCOMPARE(error.isEmpty(), !local.isEmpty());
    }

    // Once the library is set up, textures read image files through it: an 8-bit file's
    // bytes come back exactly (the 16-bit working image narrowed by 257, not 255).
    void imageFilesBecomeTexturesWithTheirBytes()
    {
        Korvane::init(m_dir.path(), QUrl(), QString());
        const cv::Mat rgba = pattern(9, 7, CV_8UC4);
        QVERIFY(writeImage(path("texture.png"), rgba));
        cv::Mat back(9, 7, CV_8UC4);
        QVERIFY(GpuFixture::onRenderThread([&] {
            const ESTexture t(path("texture.png"), false, QOpenGLTexture::ClampToEdge);
            GLContextInfo::renderFuncs()->glBindTexture(GL_TEXTURE_2D, t.textureId());
            GLContextInfo::renderFuncs()->glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, back.data);
        }));
        QCOMPARE(cv::norm(back, rgba, cv::NORM_INF), 0.0);
    }

    void replacesOnlyOnCommit()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath("image.tif");
        QVERIFY(writeBytes(target, "old content"));
        QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
        {
            AtomicFileWriter writer(target);
            QVERIFY(writer.isValid());
            QVERIFY(writer.temporaryPath().endsWith(".tif")); // writers choose formats by name
            QCOMPARE(QFileInfo(writer.temporaryPath()).absolutePath(), dir.path());
            QVERIFY(writeBytes(writer.temporaryPath(), "new content"));
            QCOMPARE(readBytes(target), QByteArray("old content"));
            QVERIFY(writer.commit());
        }
        QCOMPARE(readBytes(target), QByteArray("new content"));
        // The "User" flags describe the caller's access, not the file's mode: leave them out.
        const QFileDevice::Permissions user = QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser;
        QCOMPARE(QFile::permissions(target) & ~user,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
        QCOMPARE(filesIn(dir.path()), QStringList{"image.tif"});
        // A missing folder is reported up front, and nothing can be committed.
        AtomicFileWriter nowhere(dir.filePath("no/such/folder/image.jpg"));
        QVERIFY(!nowhere.isValid());
        QVERIFY(!nowhere.errorString().isEmpty());
        QVERIFY(!nowhere.commit());
    }
};

KORVANE_TEST_CASE(TstImageIOManager)
#include "tst_imageiomanager.moc"
