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

#include "effects/effectqmltypes.h"
#include "nodes/nodeqmltypes.h"
#include "nodes/tnodefactory.h"

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
    NodeQmlTypes::registerTypes("Korvane", 1, 0);
    EffectQmlTypes::registerTypes("Korvane", 1, 0);
    registerLayer<FillLayer, FillLayerWorker>("FillLayer", "fill");
    registerLayer<ImageLayer, ImageLayerWorker>("ImageLayer", "fill");
    registerLayer<LevelsLayer, LevelsLayerWorker>("LevelsLayer", "adjust");
    registerLayer<BlurLayer, BlurLayerWorker>("BlurLayer", "filter");
    LevelsEffect::registerClass();
}
