// korvane-demo under Xvfb: the window shows the engine's render of the starting tree beside
// the layer controls, and the levels effect with a painted mask; the screenshots are kept as
// evidence.

#include "testhost.h"
#include "testregistry.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TstKorvaneDemo : public QObject
{
    Q_OBJECT

    QTemporaryDir m_scratch;

    // Where screenshots go: the evidence folder when there is one.
    QString shotPath(const QString& name) const
    {
        const QString evidence = qEnvironmentVariable("KORVANE_TEST_OUTPUT");
        return evidence.isEmpty() || !QDir().mkpath(evidence) ? m_scratch.filePath(name) : evidence + "/" + name;
    }

    bool runDemo(const QStringList& arguments)
    {
        QProcess demo;
        demo.setProcessEnvironment(TestHost::toolEnvironment());
        demo.setWorkingDirectory(m_scratch.path());
        demo.start(QStringLiteral(KORVANE_DEMO_EXE), arguments);
        if (!demo.waitForFinished(150000) || demo.exitCode() != 0) {
            // The engine narrates at debug level: the last lines hold the reason of a failure.
            qWarning() << demo.readAllStandardOutput().right(300) << demo.readAllStandardError().right(300);
            return false;
        }
        return true;
    }

    // Runs the demo with `arguments` and answers its screenshot, kept as evidence under `name`.
    QImage screenshot(const QStringList& arguments, const QString& name)
    {
        return runDemo(arguments + QStringList{"--screenshot", shotPath(name)}) ? QImage(shotPath(name)) : QImage();
    }

    // Mean difference of two screenshots over the view, left of the controls' pane (0..255).
    static double viewDifference(const QImage& a, const QImage& b)
    {
        double sum = 0;
        int n = 0;
        for (int y = 0; y < std::min(a.height(), b.height()); y += 3)
            for (int x = 0; x < std::min(a.width(), b.width()) - 400; x += 3, ++n)
                sum += std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y)));
        return n ? sum / n : 255.0;
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

    // A script of edits gives one screenshot per state: a fill layer over the chart, its blend
    // mode changed, and the change undone, which shows the fill layer's image again.
    void aScriptPlaysEditsWithScreenshots()
    {
        QStringList shots;
        QByteArray steps = "[";
        for (const char* step : {"", "{\"add\": \"FillLayer\"}", "{\"set\": {\"blendMode\": 3}}", "{\"undo\": true}"}) {
            shots << shotPath(QStringLiteral("korvane-demo-script-%1.png").arg(shots.size() + 1));
            steps += QByteArray(step) + (*step ? ", " : "") + "{\"screenshot\": \"" + shots.last().toUtf8() + "\"}, ";
        }
        steps.chop(2);
        QFile script(m_scratch.filePath("script.json"));
        QVERIFY(script.open(QIODevice::WriteOnly) && script.write(steps + "]") > 0);
        script.close();
        QVERIFY(runDemo({"--script", script.fileName()}));
        const QImage chart(shots[0]), filled(shots[1]), multiplied(shots[2]), undone(shots[3]);
        QVERIFY(viewDifference(chart, filled) > 10);
        QVERIFY(viewDifference(filled, multiplied) > 10);
        QVERIFY2(viewDifference(filled, undone) < 0.5, qPrintable(QString::number(viewDifference(filled, undone))));
    }
};

KORVANE_TEST_CASE(TstKorvaneDemo)
#include "tst_korvanedemo.moc"
