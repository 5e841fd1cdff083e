#pragma once
// Thread: GUI thread. Owns: nothing beyond its node. Errors: none of its own.

#include "effects/ttreenodelayer.h"

// A layer with no processing of its own: the default root of every effect's tree.
class TENodeEmpty : public TTreeNodeLayer
{
    Q_OBJECT
public:
    explicit TENodeEmpty(QObject* parent = nullptr);
};
