#pragma once
// Thread: GUI thread; the model installs itself when the library loads.
// Owns: nothing; the roots and commands it creates belong to the caller.
// Errors: before a model is installed `instance` is null and the server creates no roots.

#include <QString>

class TCmd;
class TImproc;

// What the server needs of the layer-node model above the engine: its two root nodes and
// the commands that add and remove nodes. The server knows this interface, not the node
// classes.
class TNodeModel
{
public:
    virtual ~TNodeModel() = default;

    virtual TImproc* createRoot() = 0;
    virtual TCmd* createNodeCommand(const QString& className, unsigned int uid, unsigned int parentUid) = 0;
    virtual TCmd* deleteNodeCommand(unsigned int uid) = 0;

    static TNodeModel* instance();
    static void install(TNodeModel* model);
};
