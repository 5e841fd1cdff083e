// korvane-render as a user runs it: every bad input is named in the error, exits non-zero
// and leaves an existing output file as it was; a good call renders the preset and saves.

#include "testhost.h"
#include "testregistry.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <opencv2/imgcodecs.hpp>

namespace {
struct Run
{
    int exitCode = -1;
    QString out, err;
};

Run render(const QStringList& arguments)
{
    QProcess p;
    p.setProcessEnvironment(TestHost::toolEnvironment());
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
        QVERIFY2(r.err.contains(named), qPrintable(r.err));
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
};

KORVANE_TEST_CASE(TstKorvaneRender)
#include "tst_korvanerender.moc"
