#pragma once
// Thread: render thread.
// Owns: its child workers.
// Errors: requests it cannot serve render nothing.

#include "gpu/tsmat.h"
#include "nodes/tnodeworker.h"

#include <QUrl>
#include <QVariantMap>

// Render-thread worker of the root node: the tree's render requests arrive here.
class TNodeRootWorker : public TNodeWorker
{
    Q_OBJECT
public:
    TNodeRootWorker(unsigned int uid, unsigned int parentUid);
    ~TNodeRootWorker() override;

    // Takes the image to place on the canvas of the next render.
    virtual void prepareInput(const TSMat& input);
    // Renders the canvas at full resolution and writes it to a file (or delivers it in memory).
    virtual TSMat procSaveOutputReq(TImprocWorker* which, const QUrl& fileName, const QVariantMap& fileParams);
    virtual void procSaveQImage(TImprocWorker* which, const QString& fileName);

    TSMat input() const { return m_input; }

private:
    TSMat m_input;
};
