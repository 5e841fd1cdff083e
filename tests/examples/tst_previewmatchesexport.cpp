// What the preview shows is what the export writes: a tree's preview equals its
// full-resolution render reduced to the preview size by area, for a tree of every host layer
// class with pixel-sized blurs, an image layer that crops and resamples another file, and
// colour and spot selections.

#include "hostnodes/colorchart.h"
#include "hostnodes/hostnodeclasses.h"
#include "renderprobe.h"
#include "testhost.h"
#include "testregistry.h"

#include "engine/tjson.h"
#include "nodes/tnoderootwithadjust.h"

#include <QTemporaryDir>
#include <QTest>

#include <opencv2/imgproc.hpp>

namespace {
// Every host layer class over the sharp chart; the two blurs span a small and a large part of
// the preview. The levels stay linear (a gain below 1, no clipping) and no layer takes a
// luminance selection: a curve, a clip or a luminance mask over detail finer than a preview
// pixel changes the mean that detail reduces to, which a render at the preview size cannot
// show. The bundled look (curves, a luminance selection) runs over the chart without such
// detail (over the sharp chart it stays at 36.6 dB, the fault of no layer).
const char* const kHostTree = R"({"className": "TNodeRoot", "_children_": [
  {"className": "ImageLayer", "source": "%1", "opacity": 0.8},
  {"className": "LevelsLayer", "exposure": -0.3, "selType": {"TNode::SelType": 1},
   "selValueCOLOR": 0.3, "selRangeCOLOR": 0.2},
  {"className": "BlurLayer", "radius": 24, "opacity": 0.8},
  {"className": "BlurLayer", "radius": 200, "opacity": 0.5, "blendMode": {"TNode::BlendMode": 8}},
  {"className": "FillLayer", "color": {"red": 250, "green": 120, "blue": 30, "alpha": 255},
   "color2": {"red": 20, "green": 60, "blue": 200, "alpha": 255}, "angle": 30, "opacity": 0.4,
   "blendMode": {"TNode::BlendMode": 12}, "selType": {"TNode::SelType": 3},
   "selPosition": {"x": 0.7, "y": 0.3}, "selSize": 0.2, "selTransition": 0.3, "selInvert": false}]})";

// RGB as floats from 0 to 1, whatever depth and channel count the image has.
cv::Mat rgbFloat(const cv::Mat& m)
{
    cv::Mat f;
    m.convertTo(f, CV_32F, m.depth() == CV_16U ? 1.0 / 65535 : m.depth() == CV_8U ? 1.0 / 255 : 1.0);
    if (f.channels() == 4)
        cv::cvtColor(f, f, cv::COLOR_RGBA2RGB);
    return f;
}
} // namespace

class TstPreviewMatchesExport : public ServerTest
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(startServer());
        HostNodeClasses::registerAll();
    }

    void cleanup()
    {
        m_root->removeAllChildren();
        m_root->setProcMode(TImproc::LOWREZ);
        QTRY_VERIFY(TestHost::queueDrained());
    }

    void previewIsTheExportReducedByArea_data()
    {
        QTest::addColumn<QString>("preset");
        // The input's blur in preview pixels (Gaussian sigma): none, or detail as a camera would
        // give it at the preview's size.
        QTest::addColumn<double>("inputBlur");
        // Another chart, of another shape, so the image layer crops its source and reduces it
        // in the preview while the export enlarges it.
        const QString source = m_dir.filePath("source.png");
        QString error;
        QVERIFY2(ColorChart::write(source, QSize(1700, 1300), &error), qPrintable(error));
        QTest::newRow("host layers") << QString::fromLatin1(kHostTree).arg(source) << 0.0;
        QFile look(QStringLiteral(KORVANE_PRESETS_DIR "/look.json"));
        QVERIFY(look.open(QIODevice::ReadOnly));
        QTest::newRow("bundled look") << QString::fromUtf8(look.readAll()) << 1.0;
    }
    void previewIsTheExportReducedByArea()
    {
        QFETCH(QString, preset);
        QFETCH(double, inputBlur);
        // A third of 2400 x 1500 is a whole 800 x 500, so the area reduction has no remainder.
        cv::Mat input = ColorChart::make(QSize(2400, 1500));
        if (inputBlur > 0)
            cv::GaussianBlur(input, input, cv::Size(), inputBlur * 3);
        m_root->setInput(TSMat(input));
        m_root->setLowrezScale(1.f / 3);
        QVERIFY(m_root->setPreset(TJson::stringToQMap(preset)));
        QTRY_VERIFY(TestHost::queueDrained());
        const cv::Mat preview = renderedOutput(m_root);
        m_root->setProcMode(TImproc::FULL);
        const cv::Mat full = savedOutput(m_root, m_root, 30000);
        QVERIFY(!preview.empty() && !full.empty());
        QCOMPARE(QSize(full.cols, full.rows), QSize(2400, 1500));
        QCOMPARE(QSize(preview.cols, preview.rows), QSize(800, 500));
        cv::Mat reduced;
        cv::resize(rgbFloat(full), reduced, preview.size(), 0, 0, cv::INTER_AREA);
        const double psnr = cv::PSNR(rgbFloat(preview), reduced, 1.0);
        QVERIFY2(psnr >= 40.0, qPrintable(QStringLiteral("preview against the reduced export: %1 dB").arg(psnr)));
    }
};

KORVANE_TEST_CASE(TstPreviewMatchesExport)
#include "tst_previewmatchesexport.moc"
