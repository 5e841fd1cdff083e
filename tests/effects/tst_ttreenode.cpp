// The effect layer tree: editing and documents on the GUI side; the walk on the real render
// thread against CPU compositions (GL_RGBA32F targets, 1e-4; selections through 8-bit masks,
// 1e-3); worker ownership across moves and removals; thumbnails.

#include "blendreference.h"
#include "korvanetest.h"
#include "selectionreference.h"
#include "testtreelayer.h"

#include "effects/tenodeempty.h"
#include "effects/ttreenodeworker.h"
#include "engine/tdrawtexturebase.h"
#include "engine/tjson.h"
#include "gpu/tselection.h"

#include "effects/tefactory.h"

namespace {
constexpr double kTolerance = 1e-4;
constexpr double kMaskTolerance = 1e-3; // weights pass through an 8-bit mask

// An opaque CV_32FC4 test image (alpha 1, so NORMAL composites are plain mixes).
const auto opaqueImage = SelectionReference::hueImage;

cv::Vec4d px(const cv::Mat& m, int x, int y)
{
    const cv::Vec4f p = m.at<cv::Vec4f>(y, x);
    return {p[0], p[1], p[2], p[3]};
}

// Every pixel of `base` with `f(x, y, below)` applied.
cv::Mat eachPixel(const cv::Mat& base, const std::function<cv::Vec4d(int, int, const cv::Vec4d&)>& f)
{
    cv::Mat out = base.clone();
    for (int y = 0; y < out.rows; ++y)
        for (int x = 0; x < out.cols; ++x)
            out.at<cv::Vec4f>(y, x) = cv::Vec4f(f(x, y, px(base, x, y)));
    return out;
}

cv::Vec4d brighter(const cv::Vec4d& c, double b)
{
    return {c[0] + b, c[1] + b, c[2] + b, c[3]};
}

struct Walk
{
    QString answer;
    cv::Mat out;
};

// Runs the root's walk on the render thread over `in`, into a copy of `in` (or into `in`
// itself with `inPlace`), with `cancel` as the effect's flag.
Walk walk(TTreeNode* root, const cv::Mat& in, bool inPlace = false, bool* cancel = nullptr)
{
    static bool noCancel = false;
    bool* flag = cancel ? cancel : &noCancel;
    noCancel = false;
    TestTreeLayerWorker::s_cancelFlag = flag;
    const QVariantMap state = root->treeState();
    Walk w;
    GpuFixture::onRenderThread([&] {
        TTreeNodeWorker* worker = TTreeNodeWorker::getCreateWorker(root->className(), root->uid(), 0);
        if (!worker) {
            w.answer = "no root worker";
            return;
        }
        worker->setRootData(flag);
        const TSFbo input(in, GL_RGBA32F, true);
        TSFbo output = inPlace ? input : input.clone();
        w.answer = worker->procTree(state, input, output);
        w.out = output.dataToMat(CV_32FC4, true);
    });
    return w;
}

TestTreeLayer* addLayer(TTreeNode* parent, float brightness, float opacity, bool serial)
{
    if (!parent->insertChild(parent->childCount(), QString(TestTreeLayer::kClassName)))
        return nullptr;
    auto* layer = qobject_cast<TestTreeLayer*>(parent->child(parent->childCount() - 1));
    layer->setBrightness(brightness);
    layer->setopacity(opacity);
    layer->setserialInput(serial);
    return layer;
}

// A view that records what it is handed and answers at once.
class RecordingView : public TDrawTextureBase
{
public:
    QList<QSize> sizes;

protected:
    void drawTexture(uint, QSize size, float) override
    {
        sizes << size;
        doneDrawing();
    }
};
} // namespace

struct LayerCompositesRow { int selType; int blendMode; float opacity; float selMin; };
Q_DECLARE_METATYPE(LayerCompositesRow)

class TstTTreeNode : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(GpuFixture::renderThread());
        TestTreeLayer::registerClass();
    }

    void editingKeepsPositionsInStep()
    {
        TENodeEmpty root;
        for (int i = 0; i < 3; ++i)
            QVERIFY(root.insertChild(root.childCount(), QStringLiteral("TENodeEmpty")));
        QVERIFY(!root.insertChild(root.childCount() + 1, QStringLiteral("TENodeEmpty")));
        QVERIFY(!root.insertChild(0, QStringLiteral("NoSuchClass")));
        QVERIFY(!root.child(0)->insertChild(0, &root)); // no cycles
        TTreeNode* first = root.child(0);
        QSignalSpy changes(&root, &TTreeNode::childrenChanged);
        QVERIFY(root.moveChild(2, 2));
        QCOMPARE(changes.count(), 0);
        QVERIFY(root.moveChild(0, 2));
        QCOMPARE(root.child(2), first);
        QCOMPARE(first->positionWithSibling(), 2);
        QSignalSpy second(root.child(1), &TTreeNode::positionWithSiblingChanged);
        QSignalSpy third(root.child(2), &TTreeNode::positionWithSiblingChanged);
        QVERIFY(root.removeChild(0));
        QCOMPARE(second.value(0).value(0).toInt(), 0);
        QCOMPARE(third.value(0).value(0).toInt(), 1);
    }

    void presetsRebuildTreesAndReportChildFailures()
    {
        TENodeEmpty source;
        addLayer(&source, 0.2f, 0.5f, false);
        addLayer(source.child(0), 0.3f, 0.25f, true);
        source.child(0)->settext("kept");
        const QVariantMap preset = TJson::stringToQMap(TJson::qmapToString(source.getPreset()));
        TENodeEmpty rebuilt;
        QCOMPARE(rebuilt.setPreset(preset), QString());
        QCOMPARE(rebuilt.getPreset(), source.getPreset());

        QVariantMap broken = preset;
        QVariantList children = broken.value(TTreeNode::kChildren).toList();
        children << QVariantMap{{"className", "TENodeEmpty"},
                                {TTreeNode::kChildren, QVariantList{QVariantMap{{"className", "NoSuchClass"}}}}};
        broken.insert(TTreeNode::kChildren, children);
        QVERIFY(rebuilt.setPreset(broken).startsWith("child 1: "));
        QVERIFY(rebuilt.setPreset({{"className", "TTreeNodeLayer"}}).startsWith("Node className mismatch: "));
    }

    // Parallel children each work on the node's own result; serial ones chain. An empty root
    // walked over its own result draws no pass: the image stays bit-identical.
    void childrenStackOrChain_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::addColumn<int>("layers");
        QTest::newRow("parallel") << false << 3;
        QTest::newRow("serial") << true << 3;
        QTest::newRow("an empty root over its own result") << true << 0;
    }
    void childrenStackOrChain()
    {
        QFETCH(bool, serial);
        QFETCH(int, layers);
        TENodeEmpty root;
        const double b[] = {0.1, -0.2, 0.3}, o[] = {0.5, 0.7, 0.25};
        for (int i = 0; i < layers; ++i)
            QVERIFY(addLayer(&root, float(b[i]), float(o[i]), serial));
        const cv::Mat in = opaqueImage();
        const Walk w = walk(&root, in, layers == 0);
        QCOMPARE(w.answer, QString());
        const cv::Mat expected = eachPixel(in, [&](int, int, const cv::Vec4d& c) {
            cv::Vec4d a = c;
            for (int i = 0; i < layers; ++i)
                a = BlendReference::blend(0, brighter(serial ? a : c, b[i]), a, o[i]);
            return a;
        });
        GPU_COMPARE_IMAGES(w.out, expected, layers ? kTolerance : 0.0, 0.0,
                           QStringLiteral("tree_stack_") + QTest::currentDataTag());
    }

    void layerComposites_data()
    {
        QTest::addColumn<LayerCompositesRow>("row");
        QTest::newRow("below the opacity floor") << LayerCompositesRow{0, 0, 0.004f, 0.f};
        QTest::newRow("NONE replaces") << LayerCompositesRow{0, 28, 0.5f, 0.f};
        QTest::newRow("multiply") << LayerCompositesRow{0, 3, 0.8f, 0.f};
        QTest::newRow("colour") << LayerCompositesRow{1, 0, 0.9f, 0.f};
        QTest::newRow("lightness, inverted") << LayerCompositesRow{2, 0, 0.9f, 0.f};
        QTest::newRow("spot with a floor") << LayerCompositesRow{3, 0, 1.f, 0.3f};
        QTest::newRow("gradient is no mask") << LayerCompositesRow{4, 3, 0.8f, 0.f};
    }
    void layerComposites()
    {
        QFETCH(LayerCompositesRow, row);
        const auto& [selType, blendMode, opacity, selMin] = row;
        TENodeEmpty root;
        TestTreeLayer* layer = addLayer(&root, 0.2f, opacity, false);
        layer->setSelType(TTreeNodeLayer::SelType(selType));
        layer->setBlendMode(TTreeNodeLayer::BlendMode(blendMode));
        layer->setselMin(selMin);
        layer->setselInvert(selType == 2);
        layer->setselValueCOLOR(0.3f);
        layer->setselPosition(QPointF(0.4, 0.6));
        layer->setselTransition(0.3f); // a soft edge: no pixel sits on a hard one
        const cv::Mat in = opaqueImage();
        const Walk w = walk(&root, in);
        QCOMPARE(w.answer, QString());
        const std::optional<TSelection> sel = TSelection::ofLayer(layer->params(), QSizeF(in.cols, in.rows));
        const auto layered = [&](int x, int y, const cv::Vec4d& c) {
            const cv::Vec4d fg = brighter(c, 0.2);
            if (opacity < 0.005f)
                return c;
            if (blendMode == 28)
                return fg;
            double weight = 1.0;
            const cv::Vec3d rgb(c[0], c[1], c[2]);
            bool ambiguous = false;
            if (selType == 1)
                weight = SelectionReference::hueWeight(rgb, 0.3, 0.4, false);
            else if (selType == 2)
                weight = SelectionReference::lumWeight(rgb, 0.2, 0.4, true);
            else if (selType == 3)
                weight = SelectionReference::spotWeight(*sel, in, x, y, &ambiguous);
            const double k = sel ? (1.0 - selMin) * opacity * (std::round(weight * 255.0) / 255.0) + selMin : opacity;
            return BlendReference::blend(blendMode, fg, c, k);
        };
        // The root lays the running image over the output: NORMAL at full strength.
        const cv::Mat expected = eachPixel(in, [&](int x, int y, const cv::Vec4d& c) {
            return BlendReference::blend(0, layered(x, y, c), c, 1.0);
        });
        GPU_COMPARE_IMAGES(w.out, expected, sel ? kMaskTolerance : kTolerance, 0.0,
                           QStringLiteral("tree_layer_%1").arg(QTest::currentDataTag()));
        if (opacity < 0.005f)
            QVERIFY(cv::norm(w.out, in, cv::NORM_INF) == 0.0);
    }

    // A cancel raised inside a child stops the walk with nothing more drawn; an error stops it
    // and reaches the root.
    void cancelAndErrorsStopTheWalk_data()
    {
        QTest::addColumn<bool>("cancelling");
        QTest::newRow("cancel") << true;
        QTest::newRow("error") << false;
    }
    void cancelAndErrorsStopTheWalk()
    {
        QFETCH(bool, cancelling);
        TENodeEmpty root;
        TestTreeLayer* first = addLayer(&root, 0.2f, 1.f, true);
        addLayer(&root, 0.2f, 1.f, true);
        if (cancelling)
            first->setRaiseCancel(true);
        else
            first->setFailWith("ERROR!!! the first layer failed");
        const int before = TestTreeLayerWorker::s_procs;
        bool cancel = false;
        const cv::Mat in = opaqueImage();
        const Walk w = walk(&root, in, false, &cancel);
        QCOMPARE(w.answer, cancelling ? QString() : QStringLiteral("ERROR!!! the first layer failed"));
        QCOMPARE(TestTreeLayerWorker::s_procs - before, 1);
        QVERIFY(cv::norm(w.out, in, cv::NORM_INF) == 0.0);
    }

    void aClassWithoutAWorkerIsAnError()
    {
        TEFactory::registerClass("GuiOnlyLayer", [](TEBase* p) -> TEBase* { return new TTreeNodeLayer(p); }, nullptr);
        TENodeEmpty root;
        QVERIFY(root.insertChild(0, QStringLiteral("GuiOnlyLayer")));
        QVariantMap state = root.treeState();
        QVariantList children = state.value(TTreeNode::kChildren).toList();
        QVariantMap child = children[0].toMap();
        QVariantMap params = child.value("params").toMap();
        params.insert("className", "GuiOnlyLayer");
        child.insert("params", params);
        children[0] = child;
        state.insert(TTreeNode::kChildren, children);
        QString answer;
        GpuFixture::onRenderThread([&] {
            const TSFbo in(opaqueImage(), GL_RGBA32F, true);
            TSFbo out = in.clone();
            answer = TTreeNodeWorker::getCreateWorker(root.className(), root.uid(), 0)->procTree(state, in, out);
        });
        QCOMPARE(answer, QStringLiteral("ERROR!!! no worker for tree class GuiOnlyLayer"));
    }

    // A node moved to another parent keeps its worker when its old parent goes; removed
    // nodes leave no worker behind.
    void workersFollowMovesAndRemovals()
    {
        TENodeEmpty root;
        QVERIFY(root.insertChild(0, QStringLiteral("TENodeEmpty")));
        QVERIFY(root.insertChild(1, QStringLiteral("TENodeEmpty")));
        TTreeNode* a = root.child(0);
        TTreeNode* b = root.child(1);
        TestTreeLayer* moved = addLayer(a, 0.1f, 1.f, true);
        const cv::Mat in = opaqueImage();
        QCOMPARE(walk(&root, in).answer, QString());
        const uint movedUid = moved->uid(), aUid = a->uid();
        TEBaseWorker* worker = TEBaseWorker::ptr(movedUid);
        QVERIFY(worker);
        QVERIFY(b->insertChild(0, moved));
        QVERIFY(root.removeChild(0));
        QTRY_VERIFY(!TEBaseWorker::ptr(aUid));
        GpuFixture::onRenderThread([] {}); // the queued calls have run
        QCOMPARE(TEBaseWorker::ptr(movedUid), worker);
        QCOMPARE(walk(&root, in).answer, QString());
        QCOMPARE(TEBaseWorker::ptr(movedUid), worker);
        QVERIFY(b->removeChild(0));
        QTRY_VERIFY(!TEBaseWorker::ptr(movedUid));
    }

    // A tree state whose second entry has another class replaces that child only.
    void treeStatesReplaceOnlyWhatDiffers()
    {
        TENodeEmpty root;
        addLayer(&root, 0.1f, 1.f, true);
        addLayer(&root, 0.2f, 1.f, true);
        QCOMPARE(walk(&root, opaqueImage()).answer, QString());
        TTreeNode* first = root.child(0);
        const uint firstUid = first->uid(), secondUid = root.child(1)->uid();
        TEBaseWorker* firstWorker = TEBaseWorker::ptr(firstUid);
        QVERIFY(firstWorker);
        TENodeEmpty other;
        QVariantMap state = root.treeState();
        QVariantList children = state.value(TTreeNode::kChildren).toList();
        children[1] = other.treeState();
        state.insert(TTreeNode::kChildren, children);
        QVERIFY(root.setTreeState(state));
        QCOMPARE(root.child(0), first);
        QCOMPARE(first->uid(), firstUid);
        QCOMPARE(root.child(1)->className(), QStringLiteral("TENodeEmpty"));
        QVERIFY(root.child(1)->uid() != secondUid && root.child(1)->uid() != other.uid());
        QCOMPARE(walk(&root, opaqueImage()).answer, QString());
        QCOMPARE(TEBaseWorker::ptr(firstUid), firstWorker);
    }

    void aThumbnailIsDrawnOncePerResult()
    {
        RecordingView view;
        TENodeEmpty root;
        root.setThumbnailViewerUid(view.uid());
        root.setThumbnailLength(16);
        const QVariantMap state = root.treeState();
        const cv::Mat in = opaqueImage();
        for (int run = 0; run < 2; ++run) {
            GpuFixture::onRenderThread([&] {
                static TSFbo image; // the same result both times
                if (run == 0)
                    image = TSFbo(in, GL_RGBA32F, true);
                TSFbo out = image;
                TTreeNodeWorker::getCreateWorker(root.className(), root.uid(), 0)->procTree(state, image, out);
                if (run == 1)
                    image = TSFbo();
            });
            QTest::qWait(50);
        }
        QCOMPARE(view.sizes.size(), 1);
        QCOMPARE(std::max(view.sizes[0].width(), view.sizes[0].height()), 16);
    }
};

KORVANE_TEST_CASE(TstTTreeNode)
#include "tst_ttreenode.moc"
