#include "hostnodeclasses.h"

#include "blurlayer.h"
#include "blurlayerworker.h"
#include "filllayer.h"
#include "filllayerworker.h"
#include "imagelayer.h"
#include "imagelayerworker.h"
#include "levelseffect.h"
#include "levelslayer.h"
#include "levelslayerworker.h"

#include "engine/timpserver.h"
#include "nodes/timpimagelist.h"
#include "nodes/timpimagelistworker.h"
#include "nodes/tnodefactory.h"
#include "nodes/tnoderootwithadjust.h"
#include "nodes/tnoderootwithadjustworker.h"

#include <QQmlEngine>

namespace {
template <typename Node, typename Worker>
void registerLayer(const char* name, const char* category)
{
    TNodeFactory::registerNodeClass(
        QString::fromLatin1(name), [](TImproc* parent, uint uid) -> TNode* { return new Node(parent, uid); },
        [](uint uid, uint parent) -> TNodeWorker* { return new Worker(uid, parent); }, QUrl(),
        TNodeInfo(QString::fromLatin1(name), QString::fromLatin1(category)));
    qmlRegisterType<Node>("Korvane", 1, 0, name);
}
} // namespace

void HostNodeClasses::registerAll()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    Q_INIT_RESOURCE(hostnodes);
    TNodeFactory::registerNodeClass(
        QStringLiteral("TNodeRoot"),
        [](TImproc* parent, uint uid) -> TNode* { return new TNodeRootWithAdjust(parent, uid); },
        [](uint uid, uint parent) -> TNodeWorker* { return new TNodeRootWithAdjustWorker(uid, parent); });
    registerLayer<FillLayer, FillLayerWorker>("FillLayer", "fill");
    registerLayer<ImageLayer, ImageLayerWorker>("ImageLayer", "fill");
    registerLayer<LevelsLayer, LevelsLayerWorker>("LevelsLayer", "adjust");
    registerLayer<BlurLayer, BlurLayerWorker>("BlurLayer", "filter");
    registerLayer<TImpImageList, TImpImageListWorker>("TImpImageList", "images");
    LevelsEffect::registerClass();

    qmlRegisterType<TImpServer>("Korvane", 1, 0, "TImpServer");
    qmlRegisterUncreatableType<TImproc>("Korvane", 1, 0, "TImproc", "base class");
    qmlRegisterUncreatableType<TNode>("Korvane", 1, 0, "TNode", "base class");
    qmlRegisterUncreatableType<TNodeRoot>("Korvane", 1, 0, "TNodeRoot", "made by the server");
    qmlRegisterUncreatableType<TNodeRootWithAdjust>("Korvane", 1, 0, "TNodeRootWithAdjust", "made by the server");
}
