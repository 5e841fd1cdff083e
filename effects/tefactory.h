#pragma once
// Thread: registration on the GUI thread before effects exist; worker creation on the render thread.
// Owns: the class entries.
// Errors: unknown names give null.

#include <QMap>
#include <QString>
#include <functional>

class TEBaseWorker;

// Creates effect workers by class name.
class TEFactory
{
public:
    using WorkerCreator = std::function<TEBaseWorker*(uint uid, uint parentUid)>;

    static bool registerWorkerClass(const QString& name, WorkerCreator createWorker);
    static TEBaseWorker* createWorker(const QString& name, uint uid, uint parentUid);

private:
    static QMap<QString, WorkerCreator> s_workerCreators;
};
