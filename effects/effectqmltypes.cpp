#include "effects/effectqmltypes.h"

#include "effects/tebase.h"
#include "effects/teffect.h"
#include "effects/teffectmask.h"

#include <QQmlEngine>

void EffectQmlTypes::registerTypes(const char* uri, int major, int minor)
{
    static bool done = false;
    if (done)
        return;
    done = true;
    qmlRegisterUncreatableType<TEBase>(uri, major, minor, "TEBase", "base class");
    qmlRegisterUncreatableType<TEffect>(uri, major, minor, "TEffect", "base class of the host's effects");
    qmlRegisterUncreatableType<TEffectMask>(uri, major, minor, "TEffectMask", "base class of the host's effects");
}
