#pragma once
// Thread: GUI thread.
// Owns: its child nodes.
// Errors: none of its own.

#include "nodes/tnode.h"

// Base of host node classes that work on a full-resolution snapshot of their input
// instead of the live input, until asked to take a new one.
class TNodeStamp : public TNode
{
    Q_OBJECT
public:
    explicit TNodeStamp(TImproc* parent = nullptr, unsigned int uid = 0);

public slots:
    // Asks for a new snapshot at the next render.
    void restamp();
};
