#include "effects/brushpoint.h"

#include <QtGlobal>

// Samples travel inside QVariants and queued calls from the moment the library is loaded.
static void registerBrushPoint()
{
    qRegisterMetaType<BrushPoint>("BrushPoint");
    qRegisterMetaType<QList<BrushPoint>>("QList<BrushPoint>");
}
Q_CONSTRUCTOR_FUNCTION(registerBrushPoint)
