#include "nodes/nodeqmltypes.h"

#include "engine/timpserver.h"
#include "nodes/timpimagelist.h"
#include "nodes/timpimagelistworker.h"
#include "nodes/tnodefactory.h"
#include "nodes/tnoderootwithadjust.h"
#include "nodes/tnoderootwithadjustworker.h"

#include <QQmlEngine>

void NodeQmlTypes::registerTypes(const char* uri, int major, int minor)
{
    static bool done = false;
    if (done)
        return;
    done = true;
    TNodeFactory::registerNodeClass(
        QStringLiteral("TNodeRoot"),
        [](TImproc* parent, uint uid) -> TNode* { return new TNodeRootWithAdjust(parent, uid); },
        [](uint uid, uint parent) -> TNodeWorker* { return new TNodeRootWithAdjustWorker(uid, parent); });
    TNodeFactory::registerNodeClass(
        QStringLiteral("TImpImageList"),
        [](TImproc* parent, uint uid) -> TNode* { return new TImpImageList(parent, uid); },
        [](uint uid, uint parent) -> TNodeWorker* { return new TImpImageListWorker(uid, parent); }, QUrl(),
        TNodeInfo(QStringLiteral("TImpImageList"), QStringLiteral("images")));
    qmlRegisterType<TImpServer>(uri, major, minor, "TImpServer");
    qmlRegisterType<TImpImageList>(uri, major, minor, "TImpImageList");
    qmlRegisterUncreatableType<TImproc>(uri, major, minor, "TImproc", "base class");
    qmlRegisterUncreatableType<TNode>(uri, major, minor, "TNode", "base class");
    qmlRegisterUncreatableType<TNodeRoot>(uri, major, minor, "TNodeRoot", "made by the server");
    qmlRegisterUncreatableType<TNodeRootWithAdjust>(uri, major, minor, "TNodeRootWithAdjust", "made by the server");
}
