// Selections: the parameter arithmetic against the worked figures, and the six programs'
// weights against a CPU model of the selection mathematics.

#include "korvanetest.h"
#include "selectionreference.h"

#include "gpu/tselection.h"

#include <QTransform>


namespace {
using namespace SelectionReference;

// Float targets: single-precision shader arithmetic against a double reference.
constexpr double kTolerance = 1e-4;

cv::Mat weightsOf(const cv::Mat& img, const std::function<double(int, int, bool*)>& f, const cv::Mat& actual)
{
    cv::Mat w(img.size(), CV_32FC1);
    for (int y = 0; y < img.rows; ++y) {
        for (int x = 0; x < img.cols; ++x) {
            bool ambiguous = false;
            const double v = f(x, y, &ambiguous);
            w.at<float>(y, x) = ambiguous && !actual.empty() ? actual.at<float>(y, x) : float(v);
        }
    }
    return w;
}

// The mask variant into a one-channel float framebuffer, read back as CV_32FC1.
cv::Mat gpuMask(const TSelection& sel, const cv::Mat& img, uint format = GL_R32F)
{
    cv::Mat out;
    GpuFixture::onRenderThread([&] {
        const TSFbo mask = sel.mask(TSFbo(img, GL_RGBA32F), format);
        if (!mask.isEmpty() && mask.internalFormat() == format)
            out = format == GL_R8 ? mask.dataToMat(CV_8UC1, true) : mask.dataToMat(CV_32FC1, true);
    });
    return out;
}

TSelection::SpotParams spotParams(const QSizeF& size)
{
    TSelection::SpotParams p;
    p.imageSize = size;
    return p;
}

} // namespace

using WeightFn = std::function<double(const cv::Vec3d&)>;
using MakeSelection = std::function<TSelection()>;
Q_DECLARE_METATYPE(WeightFn)
Q_DECLARE_METATYPE(MakeSelection)

struct UniformRow { double transition; double aspect; double a; double b; double dScale; double dOffset; };
Q_DECLARE_METATYPE(UniformRow)

struct SpotWeightsRow { double transition; double aspect; double rotation; double aware; bool invert; uint format = GL_R32F; };
Q_DECLARE_METATYPE(SpotWeightsRow)

class TstTSelection : public QObject
{
    Q_OBJECT
    cv::Mat m_hues;

private slots:
    void initTestCase()
    {
        QVERIFY(GpuFixture::renderThread());
        m_hues = hueImage();
    }

    void spotUniforms_data()
    {
        QTest::addColumn<UniformRow>("row");
        // 1000 x 1000, size 0.33: half diagonal 707.107, radius 233.345.
        QTest::newRow("no transition: hard edge") << UniformRow{0.0, 0.0, 233.345, 233.345, 1e7, -2.33345e9};
        QTest::newRow("transition 0.5") << UniformRow{0.5, 0.0, 350.018, 350.018, 1.0 / 233.345, -0.5};
        QTest::newRow("aspect 0.5: a and inner double") << UniformRow{0.5, 0.5, 700.036, 350.018, 1.0 / 466.69, -0.5};
        QTest::newRow("aspect -0.5: b doubles") << UniformRow{0.5, -0.5, 350.018, 700.036, 1.0 / 233.345, -0.5};
        QTest::newRow("aspect 1: divisor 1e-6") << UniformRow{0.5, 1.0, 350.018e6, 350.018, 1.0 / 233.345e6, -0.5};
    }

    void spotUniforms()
    {
        QFETCH(UniformRow, row);
        const auto& [transition, aspect, a, b, dScale, dOffset] = row;
        TSelection::SpotParams p = spotParams(QSizeF(1000, 1000));
        p.transition = transition;
        p.aspect = aspect;
        const TSelection sel = TSelection::spot(p);
        const QVariantMap u = sel.uniforms();
        QCOMPARE(sel.kind(), TSelection::Spot);
        auto near = [](double v, double want) { return std::fabs(v - want) <= 1e-5 * std::fabs(want); };
        const QPointF ab = u["elipseabVec2"].toPointF();
        QVERIFY2(near(ab.x(), a) && near(ab.y(), b), qPrintable(QStringLiteral("a %1 b %2").arg(ab.x()).arg(ab.y())));
        QVERIFY2(near(u["d_scale"].toDouble(), dScale), qPrintable(u["d_scale"].toString()));
        QVERIFY2(near(u["d_offset"].toDouble(), dOffset), qPrintable(u["d_offset"].toString()));
        QCOMPARE(u["imageSize"].toSizeF(), QSizeF(1000, 1000));
        QCOMPARE(u["point"].toPointF(), QPointF(0.5, 0.5));
    }

    void spotTransformMovesCentreToOrigin()
    {
        TSelection::SpotParams p = spotParams(QSizeF(200, 100));
        p.position = QPointF(0.25, 0.75);
        p.rotation = 1.0; // a quarter turn
        const QTransform t = TSelection::spot(p).uniforms()["transformQMatrix3x3"].value<QTransform>();
        const QPointF origin = t.map(QPointF(50, 75));
        QVERIFY(std::hypot(origin.x(), origin.y()) < 1e-9);
        // Ten pixels right of the centre lie ten pixels along y of the spot's frame.
        const QPointF right = t.map(QPointF(60, 75));
        QVERIFY2(std::hypot(right.x(), right.y() - 10.0) < 1e-9,
                 qPrintable(QStringLiteral("(%1, %2)").arg(right.x()).arg(right.y())));
    }

    void colorTolerance_data()
    {
        QTest::addColumn<double>("aware");
        QTest::addColumn<double>("expected");
        QTest::newRow("0.5") << 0.5 << 2.0 / 3.0;
        QTest::newRow("0: steepest") << 0.0 << 7.0;
        QTest::newRow("1: exact colour") << 1.0 << 0.0;
        QTest::newRow("0.25: end of the linear part") << 0.25 << 1.0;
        QTest::newRow("0.125: 5 u^7 + u + 1 with u = 0.5") << 0.125 << 1.5390625;
    }

    void colorTolerance()
    {
        QFETCH(double, aware);
        QFETCH(double, expected);
        QVERIFY(std::fabs(TSelection::colorTolerance(aware) - expected) < 1e-12);
    }

    void effectMaskHue()
    {
        QVERIFY(std::fabs(TSelection::effectMaskHue(0.2) - 0.35) < 1e-12);
        QVERIFY(std::fabs(TSelection::effectMaskHue(0.85) - 1.0) < 1e-12);
        QVERIFY(std::fabs(TSelection::effectMaskHue(0.9) - 0.05) < 1e-12);
    }

    void hueAndLumWeights_data()
    {
        QTest::addColumn<MakeSelection>("makeSelection");
        QTest::addColumn<WeightFn>("expected");
        for (bool invert : {false, true}) {
            const char* inv = invert ? ", inverted" : "";
            QTest::addRow("hue red, range 0.4%s", inv)
                << MakeSelection([invert] { return TSelection::color(1.0 / 6.0, 0.4, invert); })
                << WeightFn([invert](const cv::Vec3d& c) { return hueWeight(c, 1.0 / 6.0, 0.4, invert); });
            QTest::addRow("hue 0.95 (no wrap-around)%s", inv)
                << MakeSelection([invert] { return TSelection::color(0.95, 0.3, invert); })
                << WeightFn([invert](const cv::Vec3d& c) { return hueWeight(c, 0.95, 0.3, invert); });
            QTest::addRow("lum 0.4, range 0.25%s", inv)
                << MakeSelection([invert] { return TSelection::lum(0.4, 0.25, invert); })
                << WeightFn([invert](const cv::Vec3d& c) { return lumWeight(c, 0.4, 0.25, invert); });
        }
    }

    void hueAndLumWeights()
    {
        QFETCH(MakeSelection, makeSelection);
        const TSelection selection = makeSelection();
        QFETCH(WeightFn, expected);
        const cv::Mat out = gpuMask(selection, m_hues);
        const cv::Mat want = weightsOf(
            m_hues, [&](int x, int y, bool*) { return expected(rgbAt(m_hues, x, y)); }, cv::Mat());
        GPU_COMPARE_IMAGES(out, want, kTolerance, 0.0, QStringLiteral("selection_") + QTest::currentDataTag());
    }

    void greyIsNeverSelectedByHue()
    {
        // Red selected with range 0.4: red itself 0, green (a third of the circle away)
        // smoothstep(0, 0.4, 1/3) = 0.926, and grey - whose hue formula would say red - as far as
        // any hue can be: 1.
        const cv::Mat img = (cv::Mat_<cv::Vec4f>(1, 4) << cv::Vec4f(1.f, 0.f, 0.f, 1.f), cv::Vec4f(0.f, 1.f, 0.f, 1.f),
                             cv::Vec4f(0.5f, 0.5f, 0.5f, 1.f), cv::Vec4f(0.51f, 0.5f, 0.5f, 1.f)); // last: chroma 0.01, still grey
        const cv::Mat plain = gpuMask(TSelection::color(1.0 / 6.0, 0.4, false), img);
        const cv::Mat inverted = gpuMask(TSelection::color(1.0 / 6.0, 0.4, true), img);
        const cv::Mat want = (cv::Mat_<float>(1, 4) << 0.f, float(smooth(0, 0.4, 1.0 / 3.0)), 1.f, 1.f);
        GPU_COMPARE_IMAGES(plain, want, kTolerance, 0.0, "grey_by_hue");
        GPU_COMPARE_IMAGES(inverted, cv::Mat(1.0 - want), kTolerance, 0.0, "grey_by_hue_inverted");
    }

    void rangeZeroIsAHardEdge_data()
    {
        QTest::addColumn<double>("range");
        QTest::newRow("0") << 0.0;
        // Edges in the wrong order are as undefined for smoothstep as equal ones.
        QTest::newRow("negative, like 0") << -0.1;
    }

    void rangeZeroIsAHardEdge()
    {
        QFETCH(double, range);
        // Black is exactly at lightness 0: weight 0; everything else 1; nothing in between and
        // nothing undefined.
        const cv::Mat out = gpuMask(TSelection::lum(0.0, range, false), m_hues);
        QVERIFY(!out.empty());
        cv::Mat want(out.size(), CV_32FC1, cv::Scalar(1.0));
        want.at<float>(0, 3) = 0.f; // the black pixel
        GPU_COMPARE_IMAGES(out, want, 0.0, 0.0, QStringLiteral("range_") + QTest::currentDataTag());
    }

    void spotWeights_data()
    {
        QTest::addColumn<SpotWeightsRow>("row");
        QTest::newRow("soft edge, colour aware 0.5") << SpotWeightsRow{0.5, 0.0, 0.0, 0.5, false};
        QTest::newRow("hard edge, colour ignored") << SpotWeightsRow{0.0, 0.0, 0.0, 0.0, false};
        QTest::newRow("ellipse along x, quarter turn") << SpotWeightsRow{0.8, 0.5, 1.0, 0.3, false};
        QTest::newRow("ellipse along y, inverted") << SpotWeightsRow{0.6, -0.4, 0.5, 0.7, true};
        QTest::newRow("exact colour only") << SpotWeightsRow{0.5, 0.0, 0.0, 1.0, false};
        QTest::newRow("one-channel R8 mask") << SpotWeightsRow{0.7, 0.0, 0.0, 0.0, false, GL_R8};
    }

    void spotWeights()
    {
        QFETCH(SpotWeightsRow, row);
        const auto& [transition, aspect, rotation, aware, invert, format] = row;
        TSelection::SpotParams p = spotParams(QSizeF(m_hues.cols, m_hues.rows));
        p.position = QPointF(0.4, 0.55);
        p.sizeX = p.sizeY = 0.4;
        p.transition = transition;
        p.aspect = aspect;
        p.rotation = rotation;
        p.colorAware = aware;
        p.invert = invert;
        const TSelection sel = TSelection::spot(p);
        cv::Mat out = gpuMask(sel, m_hues, format);
        QVERIFY(!out.empty());
        out.convertTo(out, CV_32FC1, format == GL_R8 ? 1.0 / 255.0 : 1.0);
        const cv::Mat want = weightsOf(
            m_hues, [&](int x, int y, bool* ambiguous) { return spotWeight(sel, m_hues, x, y, ambiguous); }, out);
        // 8 bits: rounding to the nearest of 255 levels.
        GPU_COMPARE_IMAGES(out, want, (format == GL_R8 ? 0.5 / 255.0 : 0.0) + kTolerance, 0.0,
                           QStringLiteral("spot_") + QTest::currentDataTag());
        if (aware < 1.0) {
            double lo = 1, hi = 0;
            cv::minMaxLoc(want, &lo, &hi);
            QVERIFY2(hi - lo > 0.5, "the spot's weights should span most of [0, 1]");
        }
    }

    void layerVariantMixesByTheWeight_data()
    {
        QTest::addColumn<MakeSelection>("makeSelection");
        QTest::addColumn<double>("minWeight");
        TSelection::SpotParams p = spotParams(QSizeF(64, 48));
        p.transition = 0.5;
        p.minWeight = 0.3;
        QTest::newRow("spot, weight at least 0.3") << MakeSelection([p] { return TSelection::spot(p); }) << 0.3;
        QTest::newRow("colour, inverted") << MakeSelection([] { return TSelection::color(0.5, 0.3, true); }) << 0.0;
        QTest::newRow("lum") << MakeSelection([] { return TSelection::lum(0.5, 0.2, false); }) << 0.0;
    }

    void layerVariantMixesByTheWeight()
    {
        QFETCH(MakeSelection, makeSelection);
        const TSelection selection = makeSelection();
        QFETCH(double, minWeight);
        const cv::Mat layer(m_hues.size(), CV_32FC4, cv::Scalar(0.9, 0.1, 0.4, 0.6));
        cv::Mat out;
        bool done = false;
        QVERIFY(GpuFixture::onRenderThread([&] {
            TSFbo sel(m_hues, GL_RGBA32F);
            done = selection.blendLayer(TSFbo(layer, GL_RGBA32F), sel);
            out = sel.dataToMat(CV_32FC4, true);
        }));
        QVERIFY(done);
        // The weight is measured on the running image beneath; GL blending mixes the colours by
        // it, running (1 - w) + layer w, and the weight adds to the running alpha like coverage.
        const QVariantMap u = selection.uniforms();
        cv::Mat want(m_hues.size(), CV_32FC4);
        for (int y = 0; y < m_hues.rows; ++y) {
            for (int x = 0; x < m_hues.cols; ++x) {
                const cv::Vec3d c = rgbAt(m_hues, x, y);
                bool ambiguous = false;
                double w = 0;
                if (selection.kind() == TSelection::Spot)
                    w = minWeight + (1.0 - minWeight) * spotWeight(selection, m_hues, x, y, &ambiguous);
                else if (selection.kind() == TSelection::Color)
                    w = hueWeight(c, u["selHue"].toDouble(), u["selRange"].toDouble(), u["selInvert"].toInt());
                else
                    w = lumWeight(c, u["selLum"].toDouble(), u["selRange"].toDouble(), u["selInvert"].toInt());
                QVERIFY(w >= minWeight - 1e-9);
                const cv::Vec4d run(m_hues.at<cv::Vec4f>(y, x));
                const cv::Vec4d lay(layer.at<cv::Vec4f>(y, x)[0], layer.at<cv::Vec4f>(y, x)[1], layer.at<cv::Vec4f>(y, x)[2], w);
                cv::Vec4d mixed = run * (1.0 - w) + lay * w;
                mixed[3] = w + run[3] * (1.0 - w);
                want.at<cv::Vec4f>(y, x) = cv::Vec4f(mixed);
            }
        }
        std::vector<cv::Mat> a, e;
        cv::split(out, a);
        cv::split(want, e);
        for (int c = 0; c < 4; ++c)
            GPU_COMPARE_IMAGES(a[c], e[c], kTolerance, 0.0, QStringLiteral("layer_%1_ch%2").arg(QTest::currentDataTag()).arg(c));
    }
};


KORVANE_TEST_CASE(TstTSelection)

#include "tst_tselection.moc"
