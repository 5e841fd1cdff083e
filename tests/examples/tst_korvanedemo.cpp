// korvane-demo under Xvfb: the window shows the engine's render of the starting tree beside
// the layer controls, and the levels effect with a painted mask; the screenshots are kept as
// evidence.

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

    // Runs the demo with `arguments` and answers its screenshot, saved as evidence under `name`.
    QImage screenshot(const QStringList& arguments, const QString& name)
    {
        QTemporaryDir dir;
        const QString evidence = qEnvironmentVariable("KORVANE_TEST_OUTPUT");
        if (!evidence.isEmpty() && !QDir().mkpath(evidence))
            return QImage();
        const QString shot = evidence.isEmpty() ? dir.filePath(name) : evidence + "/" + name;
        QProcess demo;
        demo.setProcessEnvironment(TestHost::toolEnvironment());
        demo.setWorkingDirectory(dir.path());
        demo.start(QStringLiteral(KORVANE_DEMO_EXE), arguments + QStringList{"--screenshot", shot});
        if (!demo.waitForFinished(150000) || demo.exitCode() != 0) {
            // The engine narrates at debug level: the last lines hold the reason of a failure.
            qWarning() << demo.readAllStandardOutput().right(300) << demo.readAllStandardError().right(300);
            return QImage();
        }
        return QImage(shot);
    }

private slots:
    // A uniform grey photo, exposure +1 everywhere but along the stroke painted across its
    // middle: grey 90 there, 180 elsewhere.
    void thePaintedMaskRemovesTheEffect()
    {
        QTemporaryDir dir;
        const QString photo = dir.filePath("grey.png");
        QImage grey(1200, 800, QImage::Format_RGB888);
        grey.fill(QColor(90, 90, 90));
        QVERIFY(grey.save(photo));
        const QImage shot = screenshot({photo, "--mask-stroke"}, "korvane-demo-mask.png");
        QVERIFY(!shot.isNull());
        // The preview, left of the controls' pane.
        QRect brightened;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width() - 400; ++x)
                if (std::abs(qGray(shot.pixel(x, y)) - 180) < 8)
                    brightened |= QRect(x, y, 1, 1);
        QVERIFY2(brightened.width() > 400, "the effect is not shown");
        const int middle = brightened.center().x();
        QVERIFY(std::abs(qGray(shot.pixel(middle, brightened.center().y())) - 90) < 8);
        QVERIFY(std::abs(qGray(shot.pixel(middle, brightened.top() + brightened.height() / 4)) - 180) < 8);
    }

    void theWindowShowsTheRenderedImage()
    {
        const QImage image =
            screenshot({"--preset", QStringLiteral(KORVANE_PRESETS_DIR "/look.json")}, "korvane-demo.png");
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
