#pragma once
// Thread: render thread, with the engine context current.
// Owns: the uploaded image of the current source (a TSFbo, freed with the worker or on the
//       next source change), so previews do not read the file again.
// Errors: an unreadable file or a failed pass returns an "ERROR!!! " status naming the file.

#include "nodes/tnodeworker.h"

// Renders ImageLayer: the source file, loaded once per file name, resampled to cover the image.
class ImageLayerWorker : public TNodeWorker
{
    Q_OBJECT
public:
    using TNodeWorker::TNodeWorker;
    QString doProc(TSFbo& io) override;

private:
    // Loads and uploads `source` unless it is the one already held.
    QString fetch(const QString& source);

    QString m_source;
    TSFbo m_image;
};
