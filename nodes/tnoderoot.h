#pragma once
// Thread: GUI thread.
// Owns: its child nodes; the input and output images it was handed.
// Errors: an empty input is ignored.

#include "gpu/tsmat.h"
#include "nodes/tnode.h"

// Top of a node tree: owns the input image and the canvas the tree renders on.
class TNodeRoot : public TNode
{
    Q_OBJECT
public:
    explicit TNodeRoot(TImproc* parent = nullptr, unsigned int uid = 0);
    ~TNodeRoot() override;

    TImprocWorker* createImproc() override;
    // Renders the tree at full resolution and hands the result back in memory.
    void apply();

signals:
    void inputChanged(TSMat input, uint uid);
};
