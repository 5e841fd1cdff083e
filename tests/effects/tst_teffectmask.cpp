// The effect with a mask: the worker's blend through spot, colour and tone selections against
// CPU references (GL_RGBA32F), brush samples that travel exactly once, presets, mask undo, the
// thumbnail's size; and a painted mask driven end to end through QML and the real server.

#include "maskstrokes.h"

#include "blendreference.h"
#include "effectanswer.h"
#include "korvanetest.h"
#include "pixelview.h"
#include "selectionreference.h"
#include "testhost.h"
#include "testmaskeffect.h"

#include "gpu/tengineenums.h"

#include <QQuickItem>

namespace {

// A float pass against a double reference; where a selection weighs, its 8-bit mask may
// round one step away from the reference's rounding, times the largest foreground-background
// difference of these images (0.3).
constexpr double kTolerance = 1e-4;
constexpr double kMaskedTolerance = 1e-4 + 0.3 / 255;

double number(const QVariantMap& p, const char* key, double fallback)
{
    return p.contains(QLatin1String(key)) ? p.value(QLatin1String(key)).toDouble() : fallback;
}

// The selection weight at (x, y) for the effect's defaults overridden by `p`; NaN on a hard
// spot edge, which either side may claim.
double weight(int maskType, const QVariantMap& p, const cv::Mat& bg, int x, int y)
{
    using namespace SelectionReference;
    const cv::Vec3d c = rgbAt(bg, x, y);
    if (maskType == TEffectMask::COLOR)
        return hueWeight(c, TSelection::effectMaskHue(number(p, "selValueCOLOR", 0.2)), number(p, "selRangeCOLOR", 0.4),
                         p.value("selInvertColor").toBool());
    if (maskType == TEffectMask::LUM)
        return lumWeight(c, number(p, "selValueLUM", 0.2), number(p, "selRangeLUM", 0.4), p.value("selInvertLUM").toBool());
    TSelection::SpotParams s;
    s.imageSize = QSizeF(bg.cols, bg.rows);
    s.position = p.value("selPosition", QPointF(0.5, 0.5)).toPointF();
    s.sizeX = number(p, "selXScale", 1) * number(p, "selSize", 0.4);
    s.sizeY = number(p, "selYScale", 1) * number(p, "selSize", 0.4);
    s.transition = number(p, "selTransition", 0.85);
    s.aspect = number(p, "selAspect", 0);
    s.rotation = number(p, "selRotate", 0);
    s.colorAware = number(p, "selColorAware", 0);
    s.invert = p.value("selInvert", true).toBool();
    bool ambiguous = false;
    const double w = spotWeight(TSelection::spot(s), bg, x, y, &ambiguous);
    return ambiguous ? qQNaN() : w;
}

// What the effect shows: fg placed by "translate" and blended onto bg at opacity, through the
// selection unless switched off or a preset; the short cuts for opacity and NONE.
cv::Mat expectedBlend(const QVariantMap& p, bool preset, const cv::Mat& fg, const cv::Mat& bg)
{
    const double opacity = number(p, "opacity", 1);
    const int mode = int(number(p, "blendMode", 0));
    const int maskType = int(number(p, "maskType", 0));
    if (opacity < 0.005 || std::isnan(number(p, "selSize", 0)))
        return bg;
    if (mode == TEffectMask::BLENDMODE_NONE || (maskType < 1 && opacity > 0.995 && mode == 0))
        return fg;
    const bool masked = !preset && maskType >= TEffectMask::SPOT && maskType <= TEffectMask::LUM;
    // "translate" is in clip-space units: 2 is the whole width.
    const int shift = int(std::lround(p.value("translate").toPointF().x() * bg.cols / 2));
    cv::Mat out = bg.clone();
    for (int y = 0; y < bg.rows; ++y) {
        for (int x = shift; x < bg.cols; ++x) {
            const double w = masked ? std::round(weight(maskType, p, bg, x, y) * 255) / 255 : 1.0;
            const double selMin = number(p, "selMin", 0);
            const double k = masked ? (1 - selMin) * opacity * w + selMin : opacity;
            out.at<cv::Vec4f>(y, x) = std::isnan(k) ? cv::Vec4f::all(-1)
                : cv::Vec4f(BlendReference::blend(mode, fg.at<cv::Vec4f>(y, x - shift), bg.at<cv::Vec4f>(y, x), k));
        }
    }
    return out;
}

QList<BrushPoint> pointsOf(const QVariantMap& request)
{
    QList<BrushPoint> points;
    for (const QVariant& v : request.value("points").toMap().value(TEffectMask::kGlobalMaskId).toList())
        points << v.value<BrushPoint>();
    return points;
}

} // namespace

class TstTEffectMask : public QObject
{
    Q_OBJECT

    // postProc of a worker of `fx`, with `mode` requests, on images of `format`.
    cv::Mat postProc(TestMaskEffect& fx, const QString& mode, const cv::Mat& fg, const cv::Mat& bg,
                     GLenum format = GL_RGBA32F)
    {
        QVariantMap state = fx.allStateData();
        state.insert("procMode", mode);
        return onGpu([&] {
            TestMaskEffectWorker worker(TestMaskEffect::kClassName, fx.uid(), 0);
            worker.setStateData(state);
            TSFbo result(bg, format);
            worker.postProc(TSFbo(fg, format), result);
            return result.dataToMat(bg.type(), true);
        });
    }

private slots:
    void initTestCase()
    {
        QVERIFY(GpuFixture::renderThread());
        TestMaskEffect::registerClass();
    }

    void blendsThroughTheSelection_data()
    {
        QTest::addColumn<QVariantMap>("params");
        QTest::addColumn<bool>("preset");
        QTest::newRow("defaults: the effect's result") << QVariantMap() << false;
        QTest::newRow("opacity 0.004: unprocessed") << QVariantMap{{"opacity", 0.004}, {"maskType", 1}} << false;
        QTest::newRow("opacity 0.996, NONE: the result") << QVariantMap{{"opacity", 0.996}} << false;
        QTest::newRow("BLENDMODE_NONE ignores the mask")
            << QVariantMap{{"blendMode", 28}, {"maskType", 1}, {"opacity", 0.5}} << false;
        QTest::newRow("preset ignores the mask") << QVariantMap{{"maskType", 4}, {"opacity", 0.7}} << true;
        QTest::newRow("NONESPOT blends like NONE")
            << QVariantMap{{"maskType", -1}, {"opacity", 0.6}, {"blendMode", 3}} << false;
        QTest::newRow("COLOR") << QVariantMap{{"maskType", 2}, {"selValueCOLOR", 0.3}, {"selRangeCOLOR", 0.2},
                                              {"opacity", 0.9}} << false;
        QTest::newRow("COLOR past 0.85, inverted")
            << QVariantMap{{"maskType", 2}, {"selValueCOLOR", 0.9}, {"selInvertColor", true}} << false;
        QTest::newRow("LUM, selMin lift")
            << QVariantMap{{"maskType", 3}, {"selValueLUM", 0.5}, {"selRangeLUM", 0.3}, {"selInvertLUM", true},
                           {"selMin", 0.3}, {"blendMode", 12}} << false;
        QTest::newRow("SPOT, scaled axes")
            << QVariantMap{{"maskType", 1}, {"selSize", 0.3}, {"selXScale", 1.5}, {"selYScale", 0.5},
                           {"selTransition", 0.5}, {"selPosition", QPointF(0.4, 0.6)}, {"selRotate", 0.3}} << false;
        QTest::newRow("SPOT, selAspect -0.5") << QVariantMap{{"maskType", 1}, {"selAspect", -0.5}, {"selSize", 0.25}}
                                              << false;
        QTest::newRow("translated: the mask stays")
            << QVariantMap{{"maskType", 3}, {"translate", QPointF(0.25, 0)}, {"selValueLUM", 0.4}} << false;
        QTest::newRow("NaN spot size: unprocessed") << QVariantMap{{"maskType", 1}, {"selSize", qQNaN()}} << false;
    }
    void blendsThroughTheSelection()
    {
        QFETCH(QVariantMap, params);
        QFETCH(bool, preset);
        TestMaskEffect fx;
        for (auto it = params.cbegin(); it != params.cend(); ++it)
            QVERIFY(fx.setProperty(it.key().toLatin1().constData(), it.value()));
        const cv::Mat bg = SelectionReference::hueImage();
        const cv::Mat fg = bg * 0.5 + cv::Scalar(0.3, 0.3, 0.3, 0.5);
        cv::Mat out = postProc(fx, preset ? "PRESET" : "PREVIEW", fg, bg);
        cv::Mat expected = expectedBlend(params, preset, fg, bg);
        out.setTo(cv::Scalar::all(-1), expected == -1);
        const bool masked = int(number(params, "maskType", 0)) > 0 && !preset;
        GPU_COMPARE_IMAGES(out, expected, masked ? kMaskedTolerance : kTolerance, 0.0,
                           QStringLiteral("effectmask_%1").arg(QTest::currentDataTag()));
    }

    // With an automatic size the thumbnail's shorter side is about 100 pixels.
    void maskThumbnailSize()
    {
        PixelView view;
        TestMaskEffect fx;
        fx.setMaskType(TEffectMask::SPOT);
        fx.setOpacity(0.5f);
        fx.setMaskPreviewerUid(view.uid());
        const cv::Mat bg(3000, 4000, CV_8UC4, cv::Scalar(50, 100, 150, 255));
        postProc(fx, "OUTPUT", bg, bg, GL_RGBA8);
        QTRY_COMPARE(view.draws, 1);
        QCOMPARE(QSize(view.last.cols, view.last.rows), QSize(133, 100));
    }

    // Each sample travels in exactly one request: previews and outputs take them, a replaced
    // preview hands them on in order, preset thumbnails carry none.
    void samplesTravelOnce()
    {
        TestMaskEffect fx;
        fx.setInput(TSMat(cv::Mat(48, 64, CV_8UC4, cv::Scalar(40, 80, 120, 255))));
        const QString id = TEffectMask::kGlobalMaskId;
        QTest::ignoreMessage(QtWarningMsg, "ERROR - TEBase::drawCmd - Brush settings are empty - make sure call "
                                           "setBrush first!!!");
        fx.drawPoint(id, QPointF(0.5, 0.5), true, false);
        fx.setBrush(id, 0.1f, 1, 1, 1, 0);
        QSignalSpy sent(&fx, &TEffect::reqProc);
        const auto sentX = [&] {
            QList<double> xs;
            for (const QList<QVariant>& request : sent) {
                for (const BrushPoint& p : pointsOf(request.at(1).toMap()))
                    xs << p.pos.x();
            }
            sent.clear();
            return xs;
        };
        fx.drawPoint(id, QPointF(0.1, 0.5), true, false);
        fx.drawPoint(id, QPointF(0.2, 0.5), false, false);
        QVERIFY(answerTo(fx, [&] { fx.procPreview(true); }).ok);
        QCOMPARE(sentX(), (QList<double>{0.1, 0.2}));
        fx.drawPoint(id, QPointF(0.3, 0.5), false, true);
        QVERIFY(answerTo(fx, [&] { fx.procOutput(); }).ok);
        QVERIFY(answerTo(fx, [&] { fx.procPreview(true); }).ok);
        QCOMPARE(sentX(), (QList<double>{0.3}));
        // The second preview waits behind the first, the third replaces it: nothing is lost.
        QVERIFY(answerTo(fx, [&] {
            for (double x : {0.4, 0.5, 0.6}) {
                fx.drawPoint(id, QPointF(x, 0.5), false, false);
                fx.procPreview(true);
            }
        }, 2).ok);
        QCOMPARE(sentX(), (QList<double>{0.4, 0.5, 0.6}));
        fx.drawPoint(id, QPointF(0.7, 0.5), false, false);
        QSignalSpy thumbnail(&fx, &TEffect::presetImage);
        QCOMPARE(fx.procPreset("p", {{"className", TestMaskEffect::kClassName}, {"version", 100}}), QString());
        QVERIFY(thumbnail.wait(20000));
        QCOMPARE(sentX(), QList<double>());
    }

    // Presets carry the look, not where it applies.
    void presetsChangeOpacityAndBlendModeOnly()
    {
        TestMaskEffect fx;
        fx.setSelSize(0.7f);
        QCOMPARE(fx.setPreset({{"className", TestMaskEffect::kClassName}, {"version", 100}, {"opacity", 0.3}, {"blendMode", 3},
                               {"selSize", 0.1}, {"maskType", 1}, {"brightness", 0.2}}),
                 QString());
        QCOMPARE(fx.opacity(), 0.3f);
        QCOMPARE(fx.blendMode(), TEffectMask::BLENDMODE_MULTIPLY);
        QCOMPARE(fx.brightness(), 0.2f);
        QCOMPARE(fx.selSize(), 0.7f);
        QCOMPARE(fx.maskType(), TEffectMask::NONE);
    }

    // An undo point taken with a target records the stroke; undo and redo reach the mask as
    // samples behind those not yet sent.
    void undoAndRedoReachTheMask()
    {
        TestMaskEffect fx;
        const QString id = TEffectMask::kGlobalMaskId;
        fx.setBrush(id, 0.1f, 1, 1, 1, 0);
        fx.setUndoPoint();
        fx.drawPoint(id, QPointF(0.1, 0.5), true, true);
        fx.drawPoint(id, QPointF(), false, false, {{"type", "snapshot"}});
        fx.setMaskUndoTarget(id);
        fx.setUndoPoint();
        QCOMPARE(fx.maskUndoTarget(), QString());
        QVERIFY(!fx.undo().contains("maskUndoRedo"));
        const auto types = [&] {
            QStringList t;
            for (const BrushPoint& p : pointsOf(fx.stateData()))
                t << p.settings.value("type", "paint").toString();
            return t;
        };
        QCOMPARE(types(), (QStringList{"paint", "snapshot", "undo"}));
        QVERIFY(!fx.redo().contains("maskUndoRedo"));
        QCOMPARE(types(), (QStringList{"paint", "snapshot", "undo", "redo"}));
        // Entries that recorded no stroke send nothing.
        fx.setUndoPoint();
        fx.undo();
        fx.redo();
        QCOMPARE(types().size(), 4);
    }
};

// A mask painted through QML and the real server, read back through a mask previewer and
// through the output.
class TstEffectMaskInQml : public QObject
{
    Q_OBJECT

    TestMaskEffect* m_fx = nullptr;
    PixelView m_maskView;

    void paint(const QList<BrushPoint>& samples)
    {
        for (const BrushPoint& p : samples)
            m_fx->drawPoint(p.maskId, p.pos, p.isBegin, p.isEnd, p.settings.contains("type") ? p.settings : QVariantMap());
    }
    // The previewed mask, as handed out (inverted), against the CPU rasterisation of the
    // strokes: the 8-bit mask's step and the working format's rounding.
    void compareMask(const QList<BrushPoint>& strokes, const char* name)
    {
        const int before = m_maskView.draws;
        QVERIFY(answerTo(*m_fx, [&] { m_fx->procPreview(true); }).ok);
        QTRY_VERIFY(m_maskView.draws > before);
        cv::Mat painted;
        MaskStrokes::rasterise(MaskStrokes::dabsOf(strokes), {}).convertTo(painted, CV_32F, -1.0 / 255, 1.0);
        cv::Mat seen;
        cv::extractChannel(m_maskView.last, seen, 0);
        GPU_COMPARE_IMAGES(seen, painted, 2.0 / 255 + 1.0 / 1024, 0.0, QString::fromLatin1(name));
    }

private slots:
    void paintedMaskEndToEnd()
    {
        using namespace MaskStrokes;
        TestHost::registerClasses();
        TestMaskEffect::registerClass();
        qmlRegisterType<TestMaskEffect>("KorvaneTest", 1, 0, "TestMaskEffect");
        const cv::Mat in(kImage.height(), kImage.width(), CV_8UC4, cv::Scalar(100, 100, 100, 255));
        TestHost host;
        const QByteArray qml = "import QtQuick 2.12\nimport Korvane 1.0\nimport KorvaneTest 1.0\n"
                               "Item { width: 320; height: 240\n"
                               "  property alias effect: fx\n"
                               "  TestMaskEffect { id: fx; input: photo; maskPreviewerUid: maskUid;"
                               " maskThumbnailSize: Qt.size(320, 240); decimation: 1; brightness: 0.3;"
                               " maskType: TestMaskEffect.BRUSH }\n"
                               "  TImpServer { anchors.fill: parent } }\n";
        std::unique_ptr<QQuickView> shown =
            host.show(qml, {{"photo", QVariant::fromValue(TSMat(in))}, {"maskUid", m_maskView.uid()}});
        QVERIFY(shown);
        m_fx = qobject_cast<TestMaskEffect*>(shown->rootObject()->property("effect").value<QObject*>());
        QVERIFY(m_fx);
        const QVariantMap settings = brush(20, 0.5, 1, 1, 0);
        m_fx->setBrush(kId, 0.25f, 1, 0.5f, 1, 0);
        m_fx->setUndoPoint();
        const QList<BrushPoint> first = stroke(60, 260, 120, 10, settings);
        paint(first);
        m_fx->setMaskUndoTarget(kId);
        m_fx->setUndoPoint();
        compareMask(first, "qml_mask_first_stroke");
        QTRY_COMPARE(m_fx->maxBrushRadius(), 80);

        // The output: the effect is gone where painted at strength 1, untouched far away
        // (within the working format's rounding).
        QVERIFY(answerTo(*m_fx, [&] { m_fx->procOutput(); }).ok);
        const cv::Mat out = m_fx->output().mat();
        QVERIFY(std::abs(out.at<cv::Vec4w>(120, 160)[1] / 65535.0 - 100 / 255.0) < 2e-3);
        QVERIFY(std::abs(out.at<cv::Vec4w>(20, 160)[1] / 65535.0 - (100 / 255.0 + 0.3)) < 2e-3);

        // Paint laid down while the brush mask is off is there when it is switched on.
        m_fx->setMaskType(TEffectMask::NONEBRUSH);
        const QList<BrushPoint> second = stroke(60, 260, 200, 10, settings);
        paint(second);
        QVERIFY(answerTo(*m_fx, [&] { m_fx->procPreview(true); }).ok);
        m_fx->setMaskType(TEffectMask::BRUSH);
        m_fx->setMaskUndoTarget(kId);
        m_fx->setUndoPoint();
        compareMask(first + second, "qml_mask_both_strokes");

        // Undo and redo through the effect reach the mask.
        m_fx->undo();
        compareMask(first, "qml_mask_undone");
        m_fx->redo();
        compareMask(first + second, "qml_mask_redone");
    }
};

KORVANE_TEST_CASE(TstTEffectMask)
KORVANE_ISOLATED_TEST_CASE(TstEffectMaskInQml)
#include "tst_teffectmask.moc"
