#pragma once
// Thread: registration and `create` on the GUI thread, `createNodeWorker` on the render thread.
//         The map has no lock: the host registers every class before the first worker exists.
// Owns: the class entries (never removed).
// Errors: unknown names give null or empty values; a second registration returns false.

#include "nodes/tnodeinfo.h"

#include <QMap>
#include <functional>

class TImproc;
class TNode;
class TNodeWorker;

// Creates node objects and their render-thread workers by class name.
class TNodeFactory
{
public:
    using Creator = std::function<TNode*(TImproc* parent, uint uid)>;
    using WorkerCreator = std::function<TNodeWorker*(uint uid, uint parentUid)>;

    struct NodeInfo
    {
        Creator creator;
        WorkerCreator workerCreator;
        QUrl guiQML;
        TNodeInfo info;
    };

    static bool registerNodeClass(const QString& name, Creator creator, WorkerCreator workerCreator,
                                  const QUrl& guiQML = QUrl(), const TNodeInfo& info = TNodeInfo());
    static TNode* create(const QString& name, TImproc* parent, uint uid);
    static TNodeWorker* createNodeWorker(const QString& name, uint uid, int parentUid);

    static QStringList classNames() { return s_infos.keys(); }
    static QString text(const QString& name) { return s_infos.value(name).info.text; }
    static QString category(const QString& name) { return s_infos.value(name).info.category; }
    static QString desc(const QString& name) { return s_infos.value(name).info.desc; }
    static QUrl icon(const QString& name) { return s_infos.value(name).info.icon; }
    static QUrl guiQML(const QString& name) { return s_infos.value(name).guiQML; }
    static QStringList preferredClassNames(const QString& name) { return s_infos.value(name).info.preferredClasses; }
    static QStringList excludeParents(const QString& name) { return s_infos.value(name).info.excludeParents; }
    static QStringList excludeChildren(const QString& name) { return s_infos.value(name).info.excludeChildren; }

private:
    static QMap<QString, NodeInfo> s_infos;
};
