// The brush mask driven on the render thread: set-up figures, where dabs land, the dabs'
// pixels against a CPU rasterisation, the stroke history, and bad samples.

#include "maskstrokes.h"

#include "effects/tmask.h"

#include "korvanetest.h"

#include <QLineF>

using namespace MaskStrokes;

namespace {

// Left half red, right half blue: a hard colour edge at x = 160.
cv::Vec3d twoColours(double x, double)
{
    return x < 160 ? cv::Vec3d(0.8, 0.2, 0.2) : cv::Vec3d(0.2, 0.2, 0.8);
}

} // namespace

struct SetupFiguresRow { QSize image; int downscale; QSize maskSize; int radiusScale; int maxBrushRadius; };
Q_DECLARE_METATYPE(SetupFiguresRow)

class TstTMask : public QObject
{
    Q_OBJECT

    std::unique_ptr<TMask> m_mask;

    void send(const QList<BrushPoint>& samples)
    {
        GpuFixture::onRenderThread([&] { BrushPointsByMask cmds{{kId, samples}}; m_mask->procCmds(cmds); });
    }
    cv::Mat maskBytes(bool invert = false)
    {
        return onGpu([&] { return m_mask->getMask(invert).dataToMat(CV_8UC1, true); });
    }
    MaskHistory& history() { return m_mask->painter().history(); }

private slots:
    void init()
    {
        GpuFixture::onRenderThread([&] {
            m_mask = std::make_unique<TMask>(kId);
            cv::Mat image(kImage.height(), kImage.width(), CV_8UC4);
            for (int x = 0; x < image.cols; ++x) {
                const cv::Vec3d c = twoColours(x + 0.5, 0) * 255.0;
                image.col(x).setTo(cv::Scalar(c[0], c[1], c[2], 255));
            }
            m_mask->setup(TSFbo(image, GL_RGBA8));
        });
        QCOMPARE(m_mask->maskSize(), kImage);
    }
    void cleanup()
    {
        GpuFixture::onRenderThread([&] { m_mask.reset(); });
        QCOMPARE(TEffectMaskDrawTriangle::liveVertexArrays(), 0);
    }

    void setupFigures_data()
    {
        QTest::addColumn<SetupFiguresRow>("row");
        QTest::newRow("6000 x 4000") << SetupFiguresRow{QSize(6000, 4000), 4, QSize(1500, 1000), 333, 1333};
        QTest::newRow("1000 x 800") << SetupFiguresRow{QSize(1000, 800), 1, QSize(1000, 800), 266, 266};
        QTest::newRow("odd 4501 x 7") << SetupFiguresRow{QSize(4501, 7), 3, QSize(1501, 3), 1, 4};
    }
    void setupFigures()
    {
        QFETCH(SetupFiguresRow, row);
        const auto& [image, downscale, maskSize, radiusScale, maxBrushRadius] = row;
        const bool setUp = onGpu([&] { return m_mask->setup(TSFbo(image, GL_RGBA8)); });
        QVERIFY(setUp);
        QCOMPARE(m_mask->downscale(), downscale);
        QCOMPARE(m_mask->maskSize(), maskSize);
        QCOMPARE(m_mask->dabRadiusScale(), radiusScale);
        QCOMPARE(m_mask->maxBrushRadius(), maxBrushRadius);
        // Unpainted: nothing masked, everything where the mask is handed out inverted.
        QCOMPARE(cv::countNonZero(maskBytes()), 0);
        QCOMPARE(cv::countNonZero(maskBytes(true) != 255), 0);
    }

    // Consecutive dabs of a straight drag lie one spacing (half the radius) apart, whatever
    // the sampling; samples closer than a spacing place nothing.
    void dabSpacing_data()
    {
        QTest::addColumn<double>("step");
        QTest::addColumn<double>("radius");
        QTest::addColumn<int>("dabs"); // -1: any number
        QTest::newRow("sampled every 12") << 12.0 << 20.0 << -1;
        QTest::newRow("sampled every 19") << 19.0 << 20.0 << -1;
        QTest::newRow("sampled every 45 (smoothed)") << 45.0 << 20.0 << -1;
        QTest::newRow("1 pixel apart, radius 4") << 1.0 << 4.0 << 1;
    }
    void dabSpacing()
    {
        QFETCH(double, step);
        QFETCH(double, radius);
        QFETCH(int, dabs);
        const double x1 = dabs < 0 ? 300 : 21;
        QList<QPointF> centres;
        for (const MaskDab& d : dabsOf(stroke(20, x1, 120, step, brush(radius), false))) {
            if (isDrawn(d))
                centres << d.center;
        }
        if (dabs >= 0)
            QCOMPARE(centres.size(), dabs);
        else
            QVERIFY(centres.size() >= int((x1 - 20) / (radius / 2)) - 1);
        for (int i = 1; i < centres.size(); ++i)
            QVERIFY2(std::abs(QLineF(centres[i - 1], centres[i]).length() - radius / 2) <= 0.5,
                     qPrintable(QStringLiteral("dab %1 at %2 from the previous").arg(i).arg(
                         QLineF(centres[i - 1], centres[i]).length())));
    }

    // The first segment is straight; later long segments bend through the midpoints, so a
    // right-angled corner is rounded, not drawn through.
    void strokesAreSmoothedThroughMidpoints()
    {
        const QVector<MaskDab> dabs = dabsOf({at(20, 20, true), at(120, 20), at(220, 120), at(220, 220)});
        auto nearest = [&](const QPointF& p) {
            double best = 1e9;
            for (const MaskDab& d : dabs)
                best = std::min(best, QLineF(d.center, p).length());
            return best;
        };
        for (const MaskDab& d : dabs) {
            if (d.center.x() <= 119)
                QCOMPARE(d.center.y(), 20.0);
        }
        QVERIFY2(nearest(QPointF(220, 120)) > 8, "the corner is drawn through");
        QVERIFY2(nearest(QPointF(207.5, 120)) < 4, "the curve through the midpoints is not followed");
    }

    // A request carrying two finished strokes draws both, each with its own radius.
    void everyStrokeOfABatchIsDrawn()
    {
        // The blend state other passes rely on is put back.
        auto blendState = [] {
            std::vector<GLint> state(3);
            GpuFixture::onRenderThread([&] {
                state[0] = GLProg::funcs()->glIsEnabled(GL_BLEND);
                GLProg::funcs()->glGetIntegerv(GL_BLEND_SRC_RGB, &state[1]);
                GLProg::funcs()->glGetIntegerv(GL_BLEND_DST_RGB, &state[2]);
            });
            return state;
        };
        const std::vector<GLint> blendBefore = blendState();
        send(stroke(20, 300, 40, 15, brush(10, 1)) + stroke(20, 300, 150, 15, brush(30, 1)));
        QCOMPARE(blendState(), blendBefore);
        const cv::Mat m = maskBytes();
        QCOMPARE(history().count(), 2);
        QCOMPARE(int(m.at<uchar>(48, 160)), 255);
        QCOMPARE(int(m.at<uchar>(52, 160)), 0);
        QCOMPARE(int(m.at<uchar>(175, 160)), 255);
        QCOMPARE(int(m.at<uchar>(184, 160)), 0);
    }

    // Tolerance 2/255: the reference rounds once, the GPU accumulates in float and rounds at
    // the copy; the colour source's bilinear sampling mixes the colours within 4 pixels of
    // the edge, which the comparison leaves out.
    void dabsMatchACpuRasterisation_data()
    {
        QTest::addColumn<QList<BrushPoint>>("samples");
        QTest::addColumn<bool>("skipEdge");
        QTest::newRow("hardness 0") << stroke(40, 280, 60, 7, brush(25, 0, 0.8, 0.5)) << false;
        QTest::newRow("hardness 0.5") << stroke(40, 280, 120, 7, brush(25, 0.5, 0.9, 0.3)) << false;
        QTest::newRow("hardness 1") << stroke(40, 280, 180, 7, brush(25, 1, 1, 0.6)) << false;
        QTest::newRow("colour-aware at an edge") << stroke(100, 150, 120, 5, brush(40, 0.5, 1, 1, 1)) << true;
    }
    void dabsMatchACpuRasterisation()
    {
        QFETCH(QList<BrushPoint>, samples);
        QFETCH(bool, skipEdge);
        send(samples);
        cv::Mat actual = maskBytes();
        cv::Mat expected = rasterise(dabsOf(samples), twoColours);
        QVERIFY(cv::countNonZero(expected) > 1000);
        if (skipEdge) {
            actual.colRange(156, 164).setTo(0);
            expected.colRange(156, 164).setTo(0);
        }
        GPU_COMPARE_IMAGES(actual, expected, 2.0 / 255, 0.0, QStringLiteral("tmask_%1").arg(QTest::currentDataTag()));
    }

    // Float buffers: 400 dabs at flow 0.02 keep adding where an 8-bit buffer stalls at 0.9.
    void lowFlowPaintsTheMaskFull()
    {
        QList<BrushPoint> s;
        for (int i = 0; i < 400; ++i)
            s << at(160, 120, true, true, brush(6, 1, 1, 0.02)) << command("snapshot");
        send(s);
        QVERIFY(std::abs(maskBytes().at<uchar>(120, 160) / 255.0 - (1 - std::pow(0.98, 400))) <= 2.0 / 255);
    }

    void historyRestoresStrokesExactly()
    {
        send(stroke(30, 120, 60, 10, brush(12)));
        const cv::Mat before = maskBytes();
        const TSFbo handedOut = onGpu([&] { return m_mask->getMask(false); });
        const QList<BrushPoint> second = stroke(100, 200, 150, 10, brush(15, 0.3, 1, 0.4));
        send(second);
        const cv::Mat after = maskBytes();
        // A mask handed out before keeps its pixels.
        const cv::Mat held = onGpu([&] { return handedOut.dataToMat(CV_8UC1, true); });
        QCOMPARE(cv::countNonZero(held != before), 0);
        // The entry covers the stroke's dabs and a pixel of margin, not the whole mask.
        QRectF area;
        for (const MaskDab& d : dabsOf(second)) {
            if (isDrawn(d))
                area |= QRectF(d.center - QPointF(d.radius, d.radius), QSizeF(2 * d.radius, 2 * d.radius));
        }
        const QRect margin(int(std::floor(area.x())) - 1, int(std::floor(area.y())) - 1, int(std::ceil(area.width())) + 2,
                           int(std::ceil(area.height())) + 2);
        QCOMPARE(history().entry(1).rect, margin);
        send({command("undo")});
        QCOMPARE(cv::countNonZero(maskBytes() != before), 0);
        send({command("redo")});
        QCOMPARE(cv::countNonZero(maskBytes() != after), 0);

        // A new stroke after an undo drops the redo branch.
        send(QList<BrushPoint>{command("undo")} + stroke(200, 300, 200, 10, brush(8)));
        QCOMPARE(history().count(), 2);
        const cv::Mat now = maskBytes();
        send({command("redo")});
        QCOMPARE(cv::countNonZero(maskBytes() != now), 0);

        // Inside an open operation "undo" does nothing and a second "start" joins the stroke:
        // one entry, undone as one.
        send({at(40, 100, true, false, brush(8)), at(80, 100), command("undo")});
        QCOMPARE(history().index(), 1);
        send({at(40, 220, true, false, brush(8)), at(80, 220), at(80, 220, false, true), command("snapshot")});
        QCOMPARE(history().count(), 3);
        send({command("undo")});
        QCOMPARE(cv::countNonZero(maskBytes() != now), 0);

        // Inversion and reset are recorded only when a snapshot closes them.
        send({command("invert")});
        cv::Mat inverted;
        cv::absdiff(maskBytes(), 255 - now, inverted);
        QCOMPARE(cv::countNonZero(inverted > 1), 0);
        QCOMPARE(history().count(), 2);
        send({command("snapshot"), command("reset"), command("snapshot")});
        QCOMPARE(history().count(), 4);
        QCOMPARE(cv::countNonZero(maskBytes()), 0);
        send({command("undo"), command("undo")});
        QCOMPARE(cv::countNonZero(maskBytes() != now), 0);
    }

    void historyIsBoundedByBytes()
    {
        constexpr qint64 kLimit = qint64(4) << 20;
        GpuFixture::onRenderThread([&] { history().setByteLimit(kLimit); });
        QList<BrushPoint> s;
        for (int i = 0; i < 100; ++i)
            s << stroke(10, 310, 20 + 2 * i, 20, brush(20, 0.5, 1, 0.2));
        send(s);
        QVERIFY(history().bytes() <= kLimit);
        QVERIFY(history().count() > 2 && history().count() < 100);
        const cv::Mat last = maskBytes();
        send({command("undo"), command("undo")});
        QVERIFY(cv::countNonZero(maskBytes() != last) > 0);
        send({command("redo"), command("redo")});
        QCOMPARE(cv::countNonZero(maskBytes() != last), 0);
    }

    void badInputPaintsNothingAndLosesNothing()
    {
        QVERIFY(QMetaType::type("BrushPoint") != QMetaType::UnknownType);
        // Before set-up the samples stay where they were; an empty image is refused.
        const QList<BrushPoint> early = stroke(10, 100, 10, 10, brush(5));
        int left = 0;
        const bool emptySetUp = onGpu([&] {
            TMask fresh(kId);
            BrushPointsByMask cmds{{kId, early}};
            left = fresh.procCmds(cmds).value(kId).size();
            return fresh.setup(TSFbo()) || m_mask->setup(TSFbo());
        });
        QCOMPARE(left, early.size());
        QVERIFY(!emptySetUp);
        QCOMPARE(m_mask->maskSize(), kImage);

        // Numbers that are not finite drop their sample; unknown commands and undo or redo
        // with nothing to undo or redo do nothing.
        QVariantMap nanBrush = brush(10);
        nanBrush["flow"] = qQNaN();
        const QList<BrushPoint> bad{at(qQNaN(), 10, true), at(10, qInf(), true), at(10, 10, true, false, nanBrush),
                                    command("rotate"), command("undo"), command("redo")};
        QCOMPARE(dabsOf(bad).size(), 2);
        send(bad);
        QCOMPARE(cv::countNonZero(maskBytes()), 0);
        QCOMPARE(history().count(), 0);

        // A radius of 0 walks nothing (its start paints nothing); a tiny one over the longest
        // jump places a bounded number of dabs.
        QCOMPARE(dabsOf({at(10, 10, true, false, brush(0)), at(300, 10)}).size(), 1);
        QVERIFY(dabsOf({at(-320, 10, true, false, brush(1e-4)), at(1e30, 10)}).size() <= 4097);

        // Far outside the image: clipped to the mask, the entry inside it.
        send(stroke(-200, 600, 120, 40, brush(20)) + QList<BrushPoint>{at(-1e30, 1e30, true), command("snapshot")});
        QVERIFY(cv::countNonZero(maskBytes()) > 0);
        QVERIFY(QRect(QPoint(), kImage).contains(history().entry(0).rect));
    }
};

KORVANE_TEST_CASE(TstTMask)
#include "tst_tmask.moc"
