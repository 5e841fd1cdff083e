// korvane-demo under Xvfb: the window shows the engine's render of the starting tree beside
// the layer controls; the screenshot is kept as evidence.

#include "testhost.h"
#include "testregistry.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TstKorvaneDemo : public QObject
{
    Q_OBJECT
private slots:
    void theWindowShowsTheRenderedImage()
    {
        QTemporaryDir dir;
        const QString evidence = qEnvironmentVariable("KORVANE_TEST_OUTPUT");
        if (!evidence.isEmpty())
            QVERIFY(QDir().mkpath(evidence));
        const QString shot = evidence.isEmpty() ? dir.filePath("demo.png") : evidence + "/korvane-demo.png";
        QProcess demo;
        demo.setProcessEnvironment(TestHost::toolEnvironment());
        demo.setWorkingDirectory(dir.path());
        demo.start(QStringLiteral(KORVANE_DEMO_EXE),
                   {"--preset", QStringLiteral(KORVANE_PRESETS_DIR "/look.json"), "--screenshot", shot});
        QVERIFY(demo.waitForFinished(150000));
        // The engine narrates at debug level: the last lines hold the reason of a failure.
        QVERIFY2(demo.exitCode() == 0, (demo.readAllStandardOutput().right(300) + " / "
                                        + demo.readAllStandardError().right(300)).constData());
        const QImage image(shot);
        QVERIFY(!image.isNull());
        // The chart's hue sweep runs along the top of the view, the right way up: many distinct
        // saturated colours there mean the engine's texture reached the view (an empty view is
        // one grey, an upside-down one shows grey line gratings there).
        const QRect sweep(40, 110, image.width() - 420, 60);
        QSet<QRgb> saturated;
        for (int y = sweep.top(); y < sweep.bottom(); y += 7)
            for (int x = sweep.left(); x < sweep.right(); x += 7) {
                const QColor c = image.pixelColor(x, y);
                if (c.hsvSaturationF() > 0.5)
                    saturated.insert(c.rgb() & 0xf0f0f0);
            }
        QVERIFY2(saturated.size() > 20, qPrintable(QString("%1 saturated colours").arg(saturated.size())));
    }
};

KORVANE_TEST_CASE(TstKorvaneDemo)
#include "tst_korvanedemo.moc"
