#pragma once
// Thread: render thread, with the engine context current while rendering or saving.
// Owns: nothing through this interface (the implementing worker owns its input and canvas).
// Errors: saves report their outcome to the GUI themselves (an error text, never an exception).

#include "gpu/tsmat.h"

#include <QString>
#include <QUrl>
#include <QVariantMap>

class TImprocWorker;

// What the render thread asks of the worker at the top of a tree: take an input image,
// render the tree to a file or an image, report a save that cannot happen. The node model
// implements it; the thread finds it behind a worker's uid without knowing its class.
class TRootWorker
{
public:
    virtual ~TRootWorker() = default;

    virtual void prepareInput(const TSMat& input) = 0;
    // Renders at full resolution up to `which` and writes `fileName` (or, for an empty URL,
    // hands the image back); every outcome is reported.
    virtual TSMat procSaveOutputReq(TImprocWorker* which, const QUrl& fileName, const QVariantMap& fileParams) = 0;
    virtual bool procSaveQImage(TImprocWorker* which, const QString& fileName) = 0;
    virtual void reportSaveFailure(const QUrl& fileName, const QString& error) = 0;

    // The root worker `worker` is, or the nearest one above it; null when it is in no tree.
    static TRootWorker* enclosing(TImprocWorker* worker);
};
