// The "Korvane" QML module: `import Korvane 1.0` registers the server item, the node classes
// and the effect base classes with their enumerations, so hosts need no registration code.
// Thread: GUI thread, when a document first imports the module.

#include "effects/effectqmltypes.h"
#include "nodes/nodeqmltypes.h"

#include <QQmlExtensionPlugin>

class KorvanePlugin : public QQmlExtensionPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QQmlExtensionInterface_iid)
public:
    void registerTypes(const char* uri) override
    {
        NodeQmlTypes::registerTypes(uri, 1, 0);
        EffectQmlTypes::registerTypes(uri, 1, 0);
    }
};

#include "korvaneplugin.moc"
