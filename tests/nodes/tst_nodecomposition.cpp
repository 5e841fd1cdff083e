// Trees rendered through the real server and render thread, checked against a CPU
// composition of the same tree written here: serial and parallel children, the opacity
// threshold, inactive nodes, selections, placement, preview sizes, presets taken through JSON text
// and applied to an empty root, and the root's own steps (adjustments, canvas colour).

#include "blendreference.h"
#include "korvanetest.h"
#include "renderprobe.h"
#include "samplingreference.h"
#include "testhost.h"
#include "testlayers.h"

#include "engine/timprocworker.h"
#include "engine/timpserver.h"
#include "engine/timpserverthread.h"
#include "engine/tjson.h"
#include "gpu/glcache.h"
#include "gpu/glvertices.h"
#include "nodes/tnoderootwithadjust.h"

#include <opencv2/imgproc.hpp>

namespace {
// One layer as the test describes it: a shift of its input, or a fill; its compositing
// parameters; its children.
struct Layer
{
    QString cls = "ShiftLayer";
    double shift = 0.0;
    QColor fill;
    float opacity = 1.0f;
    int mode = TNode::BLENDMODE_NORMAL;
    bool serial = true;
    bool active = true;
    QList<Layer> children;
};
using Tree = QList<Layer>;

Layer shift(double s, float opacity = 1.0f, int mode = TNode::BLENDMODE_NORMAL, bool serial = true)
{
    return Layer{"ShiftLayer", s, QColor(), opacity, mode, serial};
}

Layer fill(const QColor& c, float opacity = 1.0f, int mode = TNode::BLENDMODE_NORMAL, bool serial = true)
{
    Layer l = shift(0.0, opacity, mode, serial);
    l.cls = "FillLayer";
    l.fill = c;
    return l;
}

Layer withChildren(Layer l, const Tree& children)
{
    l.children = children;
    return l;
}

// CPU composition on CV_64FC4 images, following the node rules: a skipped node (inactive,
// or opacity below 0.005) changes nothing; a node's image is its own step on its input,
// then its children; parallel children read the image from before any child ran, serial
// ones the running image; each result is blended over the running image.
void cpuChildren(const Tree& children, cv::Mat& io);

void cpuLayer(const Layer& l, const cv::Mat& in, cv::Mat& out)
{
    if (!l.active || l.opacity < 0.005f)
        return;
    cv::Mat image;
    if (l.cls == "FillLayer")
        image = cv::Mat(in.size(), CV_64FC4, cv::Scalar(l.fill.redF(), l.fill.greenF(), l.fill.blueF(), 1.0));
    else
        image = in + cv::Scalar(l.shift, l.shift, l.shift, 0.0);
    cpuChildren(l.children, image);
    for (int y = 0; y < out.rows; ++y)
        for (int x = 0; x < out.cols; ++x)
            out.at<cv::Vec4d>(y, x) = BlendReference::blend(l.mode, image.at<cv::Vec4d>(y, x), out.at<cv::Vec4d>(y, x), l.opacity);
}

void cpuChildren(const Tree& children, cv::Mat& io)
{
    const cv::Mat before = io.clone();
    for (const Layer& child : children) {
        const cv::Mat input = child.serial ? io.clone() : before;
        cpuLayer(child, input, io);
    }
}

// What a 16-bit read-back of the composition holds: colour channels clamped to [0, 1]
// (as 32-bit floats, the type the comparison's evidence images are written from).
cv::Mat readable(const cv::Mat& composed)
{
    cv::Mat rgba, rgb;
    cv::Mat(cv::min(cv::max(composed, 0.0), 1.0)).convertTo(rgba, CV_32FC4);
    cv::cvtColor(rgba, rgb, cv::COLOR_BGRA2BGR);
    return rgb;
}

// A 16-bit read-back in [0, 1] units, as 32-bit floats.
cv::Mat asFloat(const cv::Mat& rendered)
{
    cv::Mat f;
    rendered.convertTo(f, CV_32FC3, 1.0 / 65535.0);
    return f;
}
} // namespace

Q_DECLARE_METATYPE(Tree)

// A tree over the input, with the root's own steps: a canvas colour (invalid: an opaque
// input, the canvas unseen) and its adjustments.
struct Composition { Tree tree = {}; QColor canvas = {}; float contrast = 0.0f; float brightness = 0.0f; };
Q_DECLARE_METATYPE(Composition)

// selected: left half of the input; unselected: right half; kept: bit-identical after the
// layer; changed: the plain blend
struct SelectionRow { int selType; int mode; QColor selected; QColor unselected; QVector<cv::Rect> kept; cv::Rect changed; };
Q_DECLARE_METATYPE(SelectionRow)

class TstNodeComposition : public ServerTest
{
    Q_OBJECT
    cv::Mat m_base;   // the input most tests share, CV_8UC4
    cv::Mat m_input;  // the current input, CV_64FC4 in [0, 1]
    bool m_ownInput = false;  // a test replaced m_base
    QColor m_canvas;  // the root's own

    void setInput(const cv::Mat& rgba8)
    {
        rgba8.convertTo(m_input, CV_64FC4, 1.0 / 255.0);
        m_ownInput = rgba8.data != m_base.data;
        m_root->setInput(TSMat(rgba8.clone()));
        QVERIFY(QTest::qWaitFor([] { return TestHost::queueDrained(); }, 20000));
    }

    bool build(const Tree& tree, TNode* parent)
    {
        for (const Layer& l : tree) {
            TNode* node = TestHost::addChild(m_server, l.cls, parent);
            if (!node)
                return false;
            // Properties, not parameters-only edits: presets are taken from the GUI side.
            if (l.cls == "FillLayer")
                node->setProperty("fill", l.fill);
            else
                node->setProperty("shift", float(l.shift));
            node->setOpacity(l.opacity);
            node->setBlendMode(TNode::BlendMode(l.mode));
            node->setSerialInput(l.serial);
            node->setActive(l.active);
            if (!build(l.children, node))
                return false;
        }
        return QTest::qWaitFor([] { return TestHost::queueDrained(); }, 5000);
    }

    void clearTree()
    {
        m_root->removeAllChildren();
        QVERIFY(QTest::qWaitFor([] { return TestHost::queueDrained(); }, 5000));
    }

private slots:
    void initTestCase()
    {
        TestLayers::registerAll();
        QVERIFY(startServer());
        m_root->setProcMode(TImproc::FULL);
        cv::Mat input(30, 41, CV_8UC4);
        cv::randu(input, cv::Scalar::all(0), cv::Scalar::all(256));
        input.reshape(1, int(input.total())).col(3).setTo(255);
        m_base = input;
        setInput(m_base);
        m_canvas = m_root->canvasColor();
    }

    // Tests that render their own input or change the root's steps leave the shared ones behind them.
    void cleanup()
    {
        clearTree();
        m_root->setCanvasColor(m_canvas);
        m_root->setContrast(0.0f);
        m_root->setBrightness(0.0f);
        m_root->setInputTranslate(QPointF());
        if (m_ownInput)
            setInput(m_base);
    }

    void treeMatchesCpuComposition_data()
    {
        QTest::addColumn<Composition>("row");
        QTest::newRow("no layers: the input alone") << Composition{};
        QTest::newRow("serial children") << Composition{{shift(0.1), shift(-0.2, 0.5, TNode::BLENDMODE_MULTIPLY),
                                                         fill(QColor(200, 40, 90), 0.3f, TNode::BLENDMODE_SCREEN)}};
        // K and M read the parent's image, L and N the running result.
        QTest::newRow("parallel and serial children")
            << Composition{{withChildren(shift(0.05), {shift(0.2, 0.6, TNode::BLENDMODE_NORMAL, false),
                                                       fill(QColor(20, 200, 90), 0.3f, TNode::BLENDMODE_SCREEN),
                                                       shift(-0.3, 1.0f, TNode::BLENDMODE_MULTIPLY, false), shift(0.1, 0.7f)})}};
        QTest::newRow("opacity 0.005 renders, 0.00499 skips a subtree")
            << Composition{{fill(QColor(255, 255, 255), 0.005f),
                            withChildren(fill(QColor(0, 0, 0), 0.00499f), {fill(QColor(255, 0, 0))}),
                            shift(0.2, 0.005f, TNode::BLENDMODE_LINEAR_DODGE)}};
        Layer inactive = withChildren(fill(QColor(0, 0, 255)), {fill(QColor(255, 0, 0))});
        inactive.active = false;
        QTest::newRow("inactive node and its children") << Composition{{shift(-0.1), inactive, shift(0.05, 0.5f)}};
        QTest::newRow("nested blend modes")
            << Composition{{withChildren(fill(QColor(120, 130, 140), 0.8f, TNode::BLENDMODE_OVERLAY),
                                         {shift(0.1, 1.0f, TNode::BLENDMODE_DIFFERENCE), shift(-0.05, 0.5f, TNode::BLENDMODE_HARD_LIGHT)}),
                            shift(0.0, 1.0f, TNode::BLENDMODE_SOFT_LIGHT)}};
        // The root's own steps, before any layer runs: a translucent input shows the canvas
        // colour through it by its alpha (straight); contrast 0.2 counts five times (a factor
        // of 2) and brightness adds 0.1, on the input alone and under an invisible layer.
        QTest::newRow("translucent input shows the canvas") << Composition{{}, QColor(30, 160, 220)};
        QTest::newRow("adjusted input") << Composition{{}, {}, 0.2f, 0.1f};
        QTest::newRow("adjusted input under an invisible layer") << Composition{{fill(QColor(0, 0, 0), 0.0f)}, {}, 0.2f, 0.1f};
    }

    void treeMatchesCpuComposition()
    {
        QFETCH(Composition, row);
        if (row.canvas.isValid()) {
            cv::Mat translucent(30, 41, CV_8UC4);
            cv::randu(translucent, cv::Scalar::all(0), cv::Scalar::all(256));
            setInput(translucent);
            m_root->setCanvasColor(row.canvas);
        }
        m_root->setContrast(row.contrast);
        m_root->setBrightness(row.brightness);
        QVERIFY(build(row.tree, m_root));
        cv::Mat expected = m_input.clone();
        expected.forEach<cv::Vec4d>([&](cv::Vec4d& p, const int*) {
            const double a = row.canvas.isValid() ? p[3] : 1.0;
            const cv::Vec3d canvas(row.canvas.redF(), row.canvas.greenF(), row.canvas.blueF());
            for (int c = 0; c < 3; ++c)
                p[c] = ((p[c] * a + canvas[c] * (1 - a)) - 0.5) * (1.0 + 5.0 * row.contrast) + row.brightness + 0.5;
            p[3] = 1.0;
        });
        cpuChildren(row.tree, expected);
        const cv::Mat rendered = renderedOutput(m_root);
        QVERIFY(!rendered.empty());
        // Half floats keep about 3 decimal digits; a few passes in sequence, plus the
        // 16-bit read-back, stay within 4e-3.
        GPU_COMPARE_IMAGES(asFloat(rendered), readable(expected), 4e-3, 2e-3,
                           QStringLiteral("tree_") + QTest::currentDataTag());
    }

    void selectionsChangeOnlySelectedPixels_data()
    {
        QTest::addColumn<SelectionRow>("row");
        const QColor red(204, 51, 51), blue(51, 51, 204), bright(230, 230, 230), dark(25, 25, 25), uniform(90, 120, 150);
        const QVector<cv::Rect> right{cv::Rect(15, 0, 15, 20)};
        const cv::Rect left(0, 0, 15, 20);
        for (int mode : {int(TNode::BLENDMODE_DIFFERENCE), int(TNode::BLENDMODE_MULTIPLY)}) {
            const char* name = mode == TNode::BLENDMODE_MULTIPLY ? "multiply" : "difference";
            QTest::addRow("colour, %s", name) << SelectionRow{int(TNode::COLOR), mode, red, blue, right, left};
            QTest::addRow("luminance, %s", name) << SelectionRow{int(TNode::LUM), mode, bright, dark, right, left};
        }
        // A spot around the centre of a uniform image (colour awareness off): the corners stay,
        // the centre takes the plain blend.
        QTest::newRow("spot") << SelectionRow{int(TNode::SPOT), int(TNode::BLENDMODE_MULTIPLY), uniform, uniform,
                                              {cv::Rect(0, 0, 1, 1), cv::Rect(29, 0, 1, 1), cv::Rect(0, 19, 1, 1),
                                               cv::Rect(29, 19, 1, 1)}, cv::Rect(14, 9, 2, 2)};
    }

    // A grey fill selected by the hue or the luminance of the left half, or by a spot: where the
    // weight is 0 the picture stays bit-identical (blending the running image again in the
    // node's mode would darken or blacken it), where it is 1 it equals the plain blend.
    void selectionsChangeOnlySelectedPixels()
    {
        QFETCH(SelectionRow, row);
        const auto& [selType, mode, selected, unselected, kept, changed] = row;
        cv::Mat input(20, 30, CV_8UC4);
        input.colRange(0, 15).setTo(cv::Scalar(selected.red(), selected.green(), selected.blue(), 255));
        input.colRange(15, 30).setTo(cv::Scalar(unselected.red(), unselected.green(), unselected.blue(), 255));
        setInput(input);
        const cv::Mat baseline = renderedOutput(m_root);
        QVERIFY(!baseline.empty());

        const Layer grey = fill(QColor(128, 128, 128), 1.0f, mode);
        QVERIFY(build(Tree{grey}, m_root));
        TNode* node = m_root->child(0);
        node->setSelType(TNode::SelType(selType));
        if (selType == TNode::SPOT) {
            node->setSelInvert(false); // the spot's own weight is 1 inside, unlike hue and luminance
            node->setSelPosition(QPointF(0.5, 0.5));
            node->setSelSize(0.33f);
            node->setSelTransition(0.0f);
            node->setSelColorAware(0.0f);
        } else {
            // Inverted (the default) weights select near the value: red sits at hue 1/6 on the
            // selection's hue scale, the bright grey at luminance 230/255. Narrow ranges leave
            // the other half far outside.
            node->setSelInvert(true);
            node->setSelValueCOLOR(1.0f / 6.0f);
            node->setSelRangeCOLOR(0.05f);
            node->setSelValueLUM(230.0f / 255.0f);
            node->setSelRangeLUM(0.05f);
        }
        QVERIFY(QTest::qWaitFor([] { return TestHost::queueDrained(); }, 5000));
        const cv::Mat rendered = renderedOutput(m_root);
        QVERIFY(!rendered.empty());

        for (const cv::Rect& r : kept)
            QCOMPARE(cv::norm(rendered(r), baseline(r), cv::NORM_INF), 0.0);
        cv::Mat expected = m_input(changed).clone();
        cpuChildren(Tree{grey}, expected);
        GPU_COMPARE_IMAGES(asFloat(rendered(changed).clone()), readable(expected), 4e-3, 2e-3,
                           QStringLiteral("selection_") + QTest::currentDataTag());
    }

    // A spot's lowest weight lifts the outside, scaled by the layer's opacity like the inside:
    // the corners take the plain blend at opacity x selMin, the centre at the opacity.
    void spotFloorScalesWithOpacity()
    {
        const float opacity = 0.6f, selMin = 0.3f;
        setInput(cv::Mat(20, 30, CV_8UC4, cv::Scalar(90, 120, 150, 255)));
        QVERIFY(build(Tree{fill(QColor(128, 128, 128), opacity, TNode::BLENDMODE_MULTIPLY)}, m_root));
        TNode* node = m_root->child(0);
        node->setSelType(TNode::SPOT);
        node->setSelInvert(false);
        node->setSelPosition(QPointF(0.5, 0.5));
        node->setSelSize(0.33f);
        node->setSelTransition(0.0f);
        node->setSelColorAware(0.0f);
        node->setSelMin(selMin);
        QVERIFY(QTest::qWaitFor([] { return TestHost::queueDrained(); }, 5000));
        const cv::Mat rendered = renderedOutput(m_root);
        QVERIFY(!rendered.empty());
        for (const auto& [area, strength] : {std::pair{cv::Rect(14, 9, 2, 2), opacity},
                                             std::pair{cv::Rect(0, 0, 1, 1), opacity * selMin},
                                             std::pair{cv::Rect(29, 19, 1, 1), opacity * selMin}}) {
            cv::Mat expected = m_input(area).clone();
            cpuChildren(Tree{fill(QColor(128, 128, 128), strength, TNode::BLENDMODE_MULTIPLY)}, expected);
            GPU_COMPARE_IMAGES(asFloat(rendered(area).clone()), readable(expected), 4e-3, 2e-3,
                               QStringLiteral("spot_floor_%1").arg(area.x));
        }
    }

    // Renders reuse the running images of earlier ones; after every step of an editing
    // session the picture equals the one the same session gives with a GPU cache too small
    // to keep anything, and steps that change nothing visible draw nothing at all.
    void keptImagesNeverChangeThePicture()
    {
        struct Step { const char* name; std::function<void()> edit; bool drawsNothing; };
        const cv::Mat otherInput = cv::Mat(m_base.size(), CV_8UC4, cv::Scalar(40, 90, 160, 255));
        const auto layer = [this](int i) { return m_root->child(i < 0 ? m_root->childCount() + i : i); };
        const auto nested = [this]() -> TNode* {
            for (int i = 0; i < m_root->childCount(); ++i)
                if (m_root->child(i)->childCount() > 0)
                    return m_root->child(i);
            return m_root;
        };
        const QList<Step> session{
            {"top layer", [&] { layer(-1)->setOpacity(0.4f); }, false},
            {"bottom layer", [&] { layer(0)->setProperty("shift", 0.2f); }, false},
            {"nested layer", [&] { nested()->child(0)->setOpacity(0.7f); }, false},
            {"the same request", [] {}, true},
            {"reorder", [&] { m_root->move(1, 3); }, false},
            {"delete", [&] { m_server->deleteNode(layer(0)); }, false},
            {"undo", [&] { QVERIFY(m_server->canUndo()); m_server->undo(); }, false},
            {"redo", [&] { QVERIFY(m_server->canRedo()); m_server->redo(); }, false},
            {"disable the top layer", [&] { layer(-1)->setActive(false); }, false},
            {"edit it", [&] { layer(-1)->setOpacity(0.9f); }, true},
            {"hide a nested layer", [&] { nested()->child(1)->setOpacity(0.0f); }, false},
            {"edit it", [&] { nested()->child(1)->setBlendMode(TNode::BLENDMODE_MULTIPLY); }, true},
            {"change the input", [&] { setInput(otherInput); }, false},
            {"move it over a see-through canvas",
             [&] { m_root->setCanvasColor(QColor(0, 0, 255, 128)); m_root->setInputTranslate(QPointF(0.2, 0.0)); }, false},
        };
        const auto onRenderThread = [](const std::function<void()>& f) {
            QMetaObject::invokeMethod(TImpServer::impThread(), f, Qt::BlockingQueuedConnection);
        };
        const int savedKB = GLCache::maxKB();
        const int savedCount = GLCache::maxCount();
        QList<cv::Mat> kept;
        for (const bool keeping : {true, false}) {
            cleanup();
            onRenderThread([&] {
                GLCache::clearAll(false);
                GLCache::setMax(keeping ? savedKB : 1, savedCount);
            });
            QVERIFY(build({shift(0.1), fill(QColor(200, 40, 90), 0.5f, TNode::BLENDMODE_MULTIPLY),
                           shift(-0.05, 0.7f, TNode::BLENDMODE_SCREEN),
                           withChildren(shift(0.02), {fill(QColor(20, 200, 90), 0.4f, TNode::BLENDMODE_OVERLAY),
                                                      shift(0.2, 0.6f, TNode::BLENDMODE_NORMAL, false)}),
                           shift(0.03, 0.6f)}, m_root));
            QVERIFY(!renderedOutput(m_root).empty());
            for (int i = 0; i < session.size(); ++i) {
                const quint64 drawsBefore = GLVertices::drawCalls();
                const int copiesBefore = TSFbo::detachCopies();
                session[i].edit();
                QVERIFY(QTest::qWaitFor([] { return TestHost::queueDrained(); }, 5000));
                const cv::Mat picture = renderedOutput(m_root, CV_16UC4);
                QVERIFY2(!picture.empty(), session[i].name);
                if (keeping) {
                    kept << picture;
                    if (session[i].drawsNothing)
                        QVERIFY2(GLVertices::drawCalls() == drawsBefore && TSFbo::detachCopies() == copiesBefore,
                                 session[i].name);
                } else {
                    QVERIFY2(cv::norm(picture, kept[i], cv::NORM_INF) == 0.0, session[i].name);
                }
            }
        }
        onRenderThread([&] { GLCache::setMax(savedKB, savedCount); });
    }

    // The input moved right by half the canvas leaves the left half showing a half-transparent
    // canvas. The root lays its children's result (here, without children, the placed image)
    // over the placed image (NORMAL, full opacity): where the canvas shows through that
    // changes the alpha, so this composite, skipped over an opaque canvas, must run.
    void aSeeThroughCanvasIsCompositedAgain()
    {
        setInput(cv::Mat(12, 16, CV_8UC4, cv::Scalar(200, 100, 50, 255)));
        const QColor canvas(0, 0, 255, 128);
        m_root->setCanvasColor(canvas);
        m_root->setInputTranslate(QPointF(1.0, 0.0));
        QTRY_VERIFY(TestHost::queueDrained());
        cv::Mat rendered = renderedOutput(m_root, CV_16UC4);
        QVERIFY(!rendered.empty());
        rendered.convertTo(rendered, CV_64FC4, 1.0 / 65535.0);
        const cv::Vec4d shown(canvas.redF(), canvas.greenF(), canvas.blueF(), canvas.alphaF());
        for (const auto& [x, placed] : {std::pair<int, cv::Vec4d>{2, shown}, {13, m_input.at<cv::Vec4d>(6, 13)}}) {
            const cv::Vec4d want = BlendReference::blend(TNode::BLENDMODE_NORMAL, placed, placed, 1.0);
            const cv::Vec4d got = rendered.at<cv::Vec4d>(6, x);
            QVERIFY2(cv::norm(got - want, cv::NORM_INF) <= 4e-3,
                     qPrintable(QString("x %1: %2 %3 %4 %5").arg(x).arg(got[0]).arg(got[1]).arg(got[2]).arg(got[3])));
        }
    }

    void placementMatchesCpuReference_data()
    {
        QTest::addColumn<QPointF>("translate");
        QTest::addColumn<float>("scale");
        QTest::addColumn<float>("turns");
        QTest::newRow("translate") << QPointF(0.3, -0.2) << 1.0f << 0.0f;
        QTest::newRow("scale") << QPointF(0, 0) << 0.5f << 0.0f;
        QTest::newRow("rotate") << QPointF(0, 0) << 0.8f << 0.125f;
        QTest::newRow("all three") << QPointF(-0.25, 0.1) << 0.6f << -0.05f;
    }

    // A uniform layer placed over the input covers exactly where the placed quad lands;
    // pixels within a pixel and a half of its edge (where sampling blends) are not checked.
    void placementMatchesCpuReference()
    {
        QFETCH(QPointF, translate);
        QFETCH(float, scale);
        QFETCH(float, turns);
        const QColor colour(250, 120, 10);
        QVERIFY(build(Tree{fill(colour)}, m_root));
        auto* layer = qobject_cast<TNode*>(m_root->child(0));
        layer->setTranslate(translate);
        layer->setScale(scale);
        layer->setRotate(turns);
        QTRY_VERIFY(TestHost::queueDrained());
        const cv::Mat rendered = GpuTest::normalised(renderedOutput(m_root));
        QVERIFY(!rendered.empty());
        const cv::Size size(m_input.cols, m_input.rows);
        int inside = 0, outside = 0;
        for (int y = 0; y < size.height; ++y) {
            for (int x = 0; x < size.width; ++x) {
                const cv::Point2d p = SamplingReference::imagePointAt({x + 0.5, y + 0.5}, size, size, translate, scale, turns * 360.0);
                const double margin = 1.5 / scale;
                const bool in = p.x > margin && p.y > margin && p.x < size.width - margin && p.y < size.height - margin;
                const bool out = p.x < -margin || p.y < -margin || p.x > size.width + margin || p.y > size.height + margin;
                if (!in && !out)
                    continue;
                const cv::Vec4d want = in ? cv::Vec4d(colour.redF(), colour.greenF(), colour.blueF(), 1.0)
                                          : m_input.at<cv::Vec4d>(y, x);
                const cv::Vec3d got = rendered.at<cv::Vec3d>(y, x);
                for (int c = 0; c < 3; ++c)
                    QVERIFY2(std::abs(got[c] - want[c]) < 4e-3,
                             qPrintable(QString("(%1, %2) channel %3: %4, want %5 (%6)").arg(x).arg(y).arg(c)
                                            .arg(got[c]).arg(want[c]).arg(in ? "inside" : "outside")));
                (in ? inside : outside)++;
            }
        }
        QVERIFY(inside > 20 && outside > 20);  // both kinds of pixel were checked
    }

    void presetThroughJsonRendersTheSame_data()
    {
        QTest::addColumn<bool>("throughCommands");
        QTest::newRow("setPreset") << false;
        QTest::newRow("computePreset") << true;
    }

    // A preset taken from a tree, written as JSON text and read back, rebuilds a tree that
    // renders the same image on an emptied root.
    void presetThroughJsonRendersTheSame()
    {
        QFETCH(bool, throughCommands);
        const Tree tree{withChildren(shift(0.05, 0.9f, TNode::BLENDMODE_SCREEN),
                                     {fill(QColor(20, 200, 90), 0.4f, TNode::BLENDMODE_MULTIPLY, false), shift(0.1)}),
                        fill(QColor(90, 10, 240), 0.25f, TNode::BLENDMODE_OVERLAY)};
        QVERIFY(build(tree, m_root));
        auto* placed = qobject_cast<TNode*>(m_root->child(1));
        placed->setTranslate(QPointF(0.2, 0.1));
        placed->setRotate(0.05f);
        QTRY_VERIFY(TestHost::queueDrained());
        const cv::Mat original = renderedOutput(m_root);
        const QString text = TJson::qmapToString(m_root->preset(true));
        clearTree();
        QCOMPARE(m_root->childCount(), 0);

        const QVariantMap preset = TJson::stringToQMap(text);
        QVERIFY(preset.contains("_children_"));
        if (throughCommands) {
            QVERIFY(m_root->computePreset(preset, true));
        } else {
            QVariantMap withClass = preset;
            withClass.insert("className", m_root->className());
            QVERIFY(m_root->setPreset(withClass, true));
        }
        QTRY_VERIFY(TestHost::queueDrained());
        QCOMPARE(m_root->childCount(), 2);
        const cv::Mat rebuilt = renderedOutput(m_root);
        QVERIFY(!original.empty() && !rebuilt.empty());
        // The same passes on the same input: identical.
        GPU_COMPARE_IMAGES(rebuilt, original, 0.0, 0.0, QStringLiteral("preset_") + QTest::currentDataTag());
    }

    void previewSizes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QSize>("size");
        QTest::newRow("LOWREZ") << int(TImproc::LOWREZ) << QSize(1600, 1200);
        QTest::newRow("THUMBNAIL") << int(TImproc::THUMBNAIL) << QSize(240, 180);
    }

    // A 4000 x 3000 image previews at 1600 x 1200 and as a thumbnail at 240 x 180, with the
    // layers drawn at that size.
    void previewSizes()
    {
        QFETCH(int, mode);
        QFETCH(QSize, size);
        const QSize savedSize = m_root->canvasSize();
        // The preview scales follow the first canvas size, or a refreshed one.
        m_root->setProcMode(TImproc::ProcMode(mode));
        m_root->refreshAllSize(QSize(4000, 3000));
        setInput(cv::Mat(3000, 4000, CV_8UC4, cv::Scalar(40, 80, 160, 255)));
        QVERIFY(build(Tree{shift(0.1, 0.5f)}, m_root));
        const cv::Mat rendered = renderedOutput(m_root);
        clearTree();
        m_root->refreshAllSize(savedSize);
        m_root->setProcMode(TImproc::FULL);
        QCOMPARE(QSize(rendered.cols, rendered.rows), size);
        cv::Mat expected(1, 1, CV_64FC4, cv::Scalar(40 / 255.0, 80 / 255.0, 160 / 255.0, 1.0));
        cpuChildren(Tree{shift(0.1, 0.5f)}, expected);
        const cv::Mat mean(1, 1, CV_32FC3, cv::mean(asFloat(rendered)));
        GPU_COMPARE_IMAGES(mean, readable(expected), 4e-3, 0.0, QStringLiteral("preview_") + QTest::currentDataTag());
    }
};

KORVANE_TEST_CASE(TstNodeComposition)
#include "tst_nodecomposition.moc"
