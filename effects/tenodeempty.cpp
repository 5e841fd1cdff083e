#include "effects/tenodeempty.h"

TENodeEmpty::TENodeEmpty(QObject* parent)
    : TTreeNodeLayer(parent)
{
    finalizeConstructor(QStringLiteral("TENodeEmpty"), ver(1, 0));
}
