#pragma once
// Thread: render thread.
// Owns: its child workers.
// Errors: requests it cannot serve render nothing.

#include "engine/timproc.h"
#include "gpu/tsmat.h"
#include "nodes/tnodeworker.h"

#include <QColor>
#include <QSize>
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

    // Stores the canvas unless it equals the current one (scales compared within a
    // hundred-thousandth).
    void setCanvas(const QSize& size, const QColor& color, float lowrezScale, float thumbnailScale);
    void setProcMode(TImproc::ProcMode mode) { m_procMode = mode; }
    TImproc::ProcMode procMode() const { return m_procMode; }
    QSize canvasSize() const { return m_canvasSize; }
    QColor canvasColor() const { return m_canvasColor; }
    float lowrezScale() const { return m_lowrezScale; }
    float thumbnailScale() const { return m_thumbnailScale; }

private:
    TImproc::ProcMode m_procMode = TImproc::LOWREZ;
    QSize m_canvasSize{-1, -1};
    QColor m_canvasColor{255, 255, 255, 255};
    float m_lowrezScale = 1.0f;
    float m_thumbnailScale = 1.0f;
    TSMat m_input;
};
