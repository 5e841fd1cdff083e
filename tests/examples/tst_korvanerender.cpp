// korvane-render as a user runs it: every bad input is named in the error, exits non-zero
// and leaves an existing output file as it was; a good call renders the preset and saves.

#include "testhost.h"
#include "testregistry.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "io/standardprofiles.h"

#include <OpenImageIO/imagebuf.h>
#include <lcms2.h>
#include <opencv2/imgcodecs.hpp>

namespace {
struct Run
{
    int exitCode = -1;
    QString out, err;
};

Run render(const QStringList& arguments, const QProcessEnvironment& environment = TestHost::toolEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(environment);
    p.start(QStringLiteral(KORVANE_RENDER_EXE), arguments);
    Run r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        r.err = QStringLiteral("korvane-render did not finish");
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

bool writeText(const QString& path, const QByteArray& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

QByteArray digest(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256) : QByteArray();
}

// Root preset with one layer given as JSON members.
QByteArray presetWith(const QByteArray& layer)
{
    return "{\"className\": \"TNodeRoot\", \"_children_\": [{" + layer + "}]}";
}
} // namespace

class TstKorvaneRender : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // Mid-dark grey (a quarter of full scale), 16-bit, no profile: read as sRGB.
        QVERIFY(cv::imwrite(path("in.png").toStdString(), cv::Mat(6, 8, CV_16UC3, cv::Scalar::all(16384))));
        QVERIFY(writeText(path("brighter.json"), presetWith("\"className\": \"LevelsLayer\", \"exposure\": 1")));
        QVERIFY(writeText(path("broken.json"), "{\"className\": \"TNodeRoot\", "));
        QFile whole(path("in.png"));
        QVERIFY(whole.open(QIODevice::ReadOnly) && writeText(path("cut.png"), whole.readAll().left(80)));
        // A saturated 16-bit colour, no profile (read as sRGB); the bare root changes nothing.
        QVERIFY(cv::imwrite(path("colour.png").toStdString(), cv::Mat(6, 8, CV_16UC3, cv::Scalar(8000, 30000, 50000))));
        QVERIFY(writeText(path("identity.json"), "{\"className\": \"TNodeRoot\"}"));
        QVERIFY(writeText(path("layer.json"), "{\"className\": \"LevelsLayer\"}"));
        QVERIFY(writeText(path("unknown.json"), presetWith("\"className\": \"NoSuchLayer\"")));
        QVERIFY(writeText(path("missingsource.json"),
                          presetWith("\"className\": \"ImageLayer\", \"source\": \"/nonexistent/overlay.png\"")));
    }

    void badInputIsNamedAndTheOutputKept_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("named");
        QTest::newRow("missing input") << QStringList{"missing.png", "brighter.json", "out.png"} << "missing.png";
        QTest::newRow("preset is not JSON") << QStringList{"in.png", "broken.json", "out.png"} << "broken.json";
        QTest::newRow("preset of a layer") << QStringList{"in.png", "layer.json", "out.png"} << "className";
        QTest::newRow("unknown node class") << QStringList{"in.png", "unknown.json", "out.png"} << "NoSuchLayer";
        QTest::newRow("output folder is a file") << QStringList{"in.png", "brighter.json", "in.png/out.png"}
                                                 << "in.png/out.png";
        QTest::newRow("unsupported output") << QStringList{"in.png", "brighter.json", "out.bmp"} << "out.bmp";
        QTest::newRow("bad option") << QStringList{"--quality", "Superb", "in.png", "brighter.json", "out.jpg"}
                                    << "--quality";
        QTest::newRow("render fails") << QStringList{"in.png", "missingsource.json", "out.png"} << "overlay.png";
        QTest::newRow("truncated input") << QStringList{"cut.png", "brighter.json", "out.png"} << "cut.png";
    }
    void badInputIsNamedAndTheOutputKept()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, named);
        QVERIFY(writeText(path("out.png"), "an earlier result"));
        const QByteArray before = digest(path("out.png"));
        QStringList absolute;
        for (const QString& a : arguments)
            absolute << (a.startsWith("--") || a == "Superb" ? a : path(a));
        const Run r = render(absolute);
        QCOMPARE(r.exitCode, 1);
        // Named, and reported once: on one line of the error output.
        QVERIFY2(r.err.split('\n').filter(named).size() == 1, qPrintable(r.err));
        QCOMPARE(digest(path("out.png")), before);
        QVERIFY(!QFile::exists(path("out.bmp")) && !QFile::exists(path("out.jpg")));
        // No temporary file is left beside the output.
        QCOMPARE(QDir(m_dir.path()).entryList({"*.tmp*", ".*.tmp*", "*~"}, QDir::Files | QDir::Hidden).size(), 0);
    }

    void thePresetIsRenderedAndSaved()
    {
        const QString out = path("result.tif");
        const Run r = render({path("in.png"), path("brighter.json"), out});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY2(r.out.contains("render and save"), qPrintable(r.out));
        const cv::Mat saved = cv::imread(out.toStdString(), cv::IMREAD_UNCHANGED);
        QCOMPARE(saved.type(), CV_16UC3);
        QCOMPARE(saved.cols, 8);
        QCOMPARE(saved.rows, 6);
        // One stop up doubles the quarter: half scale, within two 8-bit levels (16-bit float
        // working values and the colour transforms in and out).
        double lo = 0, hi = 0;
        cv::minMaxLoc(saved.reshape(1), &lo, &hi);
        QVERIFY2(std::abs(lo - 32768) <= 2 * 257 && std::abs(hi - 32768) <= 2 * 257,
                 qPrintable(QString("%1 ... %2").arg(lo).arg(hi)));
    }

    // With no options a file comes back as it went in: its channels, its sample size, and at
    // 8 bits its exact values (16-bit samples pass the 16-bit float working format: 1/2048).
    void filesComeBackAsTheyWentIn_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("type");
        for (const char* ext : {"png", "tif"})
            for (int type : {CV_8UC1, CV_8UC3, CV_8UC4, CV_16UC1, CV_16UC3, CV_16UC4})
                QTest::addRow("%s %d-bit %d channels", ext, CV_MAT_DEPTH(type) == CV_8U ? 8 : 16, CV_MAT_CN(type))
                    << QStringLiteral("same%1.%2").arg(type).arg(ext) << type;
    }
    void filesComeBackAsTheyWentIn()
    {
        QFETCH(QString, name);
        QFETCH(int, type);
        const bool eightBit = CV_MAT_DEPTH(type) == CV_8U;
        cv::Mat pixels(12, 10, type);
        cv::randu(pixels, 0, eightBit ? 256 : 65536);
        if (CV_MAT_CN(type) == 4) { // opaque: colours under transparent pixels are not kept
            std::vector<cv::Mat> channels;
            cv::split(pixels, channels);
            channels[3].setTo(eightBit ? 255 : 65535);
            cv::merge(channels, pixels);
        }
        QVERIFY(cv::imwrite(path(name).toStdString(), pixels));
        const Run r = render({path(name), path("identity.json"), path("out-" + name)});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const cv::Mat back = cv::imread(path("out-" + name).toStdString(), cv::IMREAD_UNCHANGED);
        QCOMPARE(back.type(), type);
        QCOMPARE(cv::norm(back, pixels, cv::NORM_INF), 0.0);
    }

    // With no display at all the tool renders on the headless platform exactly as under X;
    // with no EGL either it says what it tried, once, and leaves the output alone.
    void rendersWithoutADisplay()
    {
        QVERIFY(render({"--make-chart", path("chart.png"), "--chart-size", "300x200"}).exitCode == 0);
        const QString look = QStringLiteral(KORVANE_PRESETS_DIR "/look.json");
        const Run x = render({path("chart.png"), look, path("x.png")});
        QProcessEnvironment headless = TestHost::toolEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            headless.remove(QString::fromLatin1(name));
        const Run h = render({path("chart.png"), look, path("headless.png")}, headless);
        QVERIFY2(x.exitCode == 0 && h.exitCode == 0, qPrintable(x.err + h.err));
        const cv::Mat viaX = cv::imread(path("x.png").toStdString(), cv::IMREAD_UNCHANGED);
        const cv::Mat viaEgl = cv::imread(path("headless.png").toStdString(), cv::IMREAD_UNCHANGED);
        QVERIFY(!viaX.empty() && viaX.size == viaEgl.size);
        QCOMPARE(cv::norm(viaX, viaEgl, cv::NORM_INF), 0.0); // the same driver behind both

        headless.insert(QStringLiteral("__EGL_VENDOR_LIBRARY_FILENAMES"), path("no-such-vendor.json"));
        QVERIFY(writeText(path("kept.png"), "an earlier result"));
        const Run none = render({path("chart.png"), look, path("kept.png")}, headless);
        QCOMPARE(none.exitCode, 1);
        QVERIFY2(none.err.contains("no display") && none.err.contains("EGL_MESA_platform_surfaceless")
                     && none.err.count('\n') == 1,
                 qPrintable(none.err));
        QCOMPARE(digest(path("kept.png")), QCryptographicHash::hash("an earlier result", QCryptographicHash::Sha256));
    }

    // Several images in one process, on one engine and tree: each good one comes out exactly as
    // its own render does (the two differ in size, so the reused tree must follow the canvas),
    // the unreadable one is named once on the error output, and the summary counts both.
    void aBatchRendersEachImageAsAloneAndNamesTheBadOnce_data()
    {
        QTest::addColumn<QStringList>("inputs");
        QTest::addColumn<bool>("fromList");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("outputs"); // empty for the bad input
        QTest::newRow("arguments, broken file between") << QStringList{"wide.png", "cut.png", "tall.tif"} << false
                                                        << "{name}-b.{ext}" << QStringList{"wide-b.png", "", "tall-b.tif"};
        QTest::newRow("list, missing file first") << QStringList{"missing.png", "tall.tif", "wide.png"} << true
                                                  << "{name}.png" << QStringList{"", "tall.png", "wide.png"};
    }
    void aBatchRendersEachImageAsAloneAndNamesTheBadOnce()
    {
        QFETCH(QStringList, inputs);
        QFETCH(bool, fromList);
        QFETCH(QString, pattern);
        QFETCH(QStringList, outputs);
        cv::Mat wide(48, 64, CV_16UC3), tall(64, 48, CV_8UC3);
        cv::randu(wide, 0, 65536);
        cv::randu(tall, 0, 256);
        QVERIFY(cv::imwrite(path("wide.png").toStdString(), wide) && cv::imwrite(path("tall.tif").toStdString(), tall));
        const QString look = QStringLiteral(KORVANE_PRESETS_DIR "/look.json");
        const QString folder = path(QStringLiteral("batch%1").arg(fromList));
        QStringList arguments{"--output-dir", folder, "--output-name", pattern};
        QStringList files;
        for (const QString& name : inputs)
            files << path(name);
        if (fromList)
            QVERIFY(writeText(path("list.txt"), files.join('\n').toLocal8Bit()));
        arguments << (fromList ? QStringList{"--list", path("list.txt")} : files) << look;

        const Run r = render(arguments);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.out.contains("2 rendered, 1 failed"), qPrintable(r.out));
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 2);
        for (int i = 0; i < inputs.size(); ++i) {
            QVERIFY2(r.err.split('\n').filter(inputs[i]).size() == (outputs[i].isEmpty() ? 1 : 0), qPrintable(r.err));
            if (outputs[i].isEmpty())
                continue;
            const QString alone = path("alone-" + outputs[i]);
            QVERIFY(render({files[i], look, alone}).exitCode == 0);
            const cv::Mat single = cv::imread(alone.toStdString(), cv::IMREAD_UNCHANGED);
            const cv::Mat batch = cv::imread(QDir(folder).filePath(outputs[i]).toStdString(), cv::IMREAD_UNCHANGED);
            QVERIFY(!single.empty() && batch.size == single.size && batch.type() == single.type());
            QCOMPARE(cv::norm(batch, single, cv::NORM_INF), 0.0);
        }
    }

    // Every output colour space works without host resources: the file embeds a profile of
    // that space, and its pixels are the input converted into it as Little CMS converts them.
    void everyColourSpaceIsEmbeddedAndConverted_data()
    {
        QTest::addColumn<QString>("space");
        QTest::addColumn<QString>("description");
        QTest::newRow("sRGB") << "sRGB IEC61966-2.1" << "sRGB IEC61966-2.1";
        QTest::newRow("Adobe") << "Adobe RGB(1998)" << "Adobe RGB (1998)";
        QTest::newRow("ProPhoto") << "ProPhoto RGB" << "ProPhoto RGB";
        QTest::newRow("Apple") << "Apple RGB" << "Apple RGB";
        QTest::newRow("Wide Gamut") << "Wide Gamut RGB" << "Wide Gamut RGB";
    }
    void everyColourSpaceIsEmbeddedAndConverted()
    {
        QFETCH(QString, space);
        QFETCH(QString, description);
        // A file of its own per row: the image cache behind ImageBuf keeps a file by name and
        // modification time, which two quick renders can share.
        const QString out = path(QStringLiteral("space-%1.tif").arg(QTest::currentDataTag()));
        const Run r = render({"--color-space", space, path("colour.png"), path("identity.json"), out});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));

        OIIO::ImageBuf saved(out.toStdString());
        QVERIFY(saved.read(0, 0, true, OIIO::TypeDesc::UINT16));
        const OIIO::ParamValue* icc = saved.spec().find_attribute("ICCProfile");
        QVERIFY(icc);
        cmsHPROFILE embedded = cmsOpenProfileFromMem(icc->data(), cmsUInt32Number(icc->type().size()));
        QVERIFY(embedded);
        char text[256] = {};
        cmsGetProfileInfoASCII(embedded, cmsInfoDescription, "en", "US", text, sizeof text);

        const QByteArray srgbBytes = StandardProfiles::build("sRGB_IEC61966-2-1_black_scaled.icc");
        cmsHPROFILE srgb = cmsOpenProfileFromMem(srgbBytes.constData(), cmsUInt32Number(srgbBytes.size()));
        cmsHTRANSFORM toSpace = cmsCreateTransform(srgb, TYPE_RGB_16, embedded, TYPE_RGB_16, INTENT_RELATIVE_COLORIMETRIC, 0);
        const cmsUInt16Number in[3] = {50000, 30000, 8000};
        cmsUInt16Number expected[3] = {0, 0, 0};
        if (toSpace)
            cmsDoTransform(toSpace, in, expected, 1);
        cmsDeleteTransform(toSpace);
        cmsCloseProfile(srgb);
        cmsCloseProfile(embedded);
        QCOMPARE(QString::fromLatin1(text), description);
        QVERIFY(toSpace);

        // Within three 8-bit levels: 16-bit float working values and two transforms.
        float pixel[3] = {0, 0, 0};
        saved.getpixel(3, 2, pixel, 3);
        for (int c = 0; c < 3; ++c)
            QVERIFY2(std::abs(pixel[c] * 65535.0 - expected[c]) <= 3 * 257,
                     qPrintable(QString("channel %1: %2, Little CMS %3").arg(c).arg(pixel[c] * 65535.0).arg(expected[c])));
    }
};

KORVANE_TEST_CASE(TstKorvaneRender)
#include "tst_korvanerender.moc"
