#pragma once
// Thread: render thread, with the engine context current while rendering.
// Owns: the input image (as a framebuffer), the canvas settings and its child workers.
// Errors: a node's error text stops the pass; the canvas is still delivered. Saves report
//         their outcome with saveFinished, emitted from the file writer's thread once the file
//         is written (the render thread has moved on by then).

#include "engine/timproc.h"
#include "engine/trootworker.h"
#include "gpu/tsmat.h"
#include "nodes/tnodeworker.h"

#include <QColor>
#include <QSize>
#include <QUrl>
#include <QVariantMap>

#include <memory>

class BackgroundImageWriter;

// Render-thread worker of the root node: places the input image on a canvas of the size the
// current mode asks for, renders the tree over it, and publishes the result ("_output_"),
// the input alone ("_input_"), a full-resolution matrix, or a file.
class TNodeRootWorker : public TNodeWorker, public TRootWorker
{
    Q_OBJECT
public:
    TNodeRootWorker(unsigned int uid, unsigned int parentUid);
    ~TNodeRootWorker() override;

    QString doProc(TSFbo&) override { return QString(); }
    // `inKey` is the key of the canvas `in` (canvasKey()); with it, an output kept from an
    // earlier walk of the same tree is delivered without a pass.
    QString proc(const TSFbo& in, TSFbo& out, TPendingList& pending, quint64 inKey) override;
    QString postProc(const TSFbo& in, TSFbo& out) override;
    // The root's form of the save walk: places the input, then walks the children up to `target`.
    virtual QString saveOutput(const TSFbo& in, TSFbo& out, TNodeWorker* target);

    // Takes the image to place on the canvas of the next renders: 8-bit images as 8-bit
    // textures, 16-bit ones (three channels widened to four) as 16-bit textures.
    void prepareInput(const TSMat& input) override;
    // Renders the canvas at full resolution up to `which` and writes it to `fileName`, or,
    // for an empty URL, hands it back through outputChanged. A render error writes and
    // hands back nothing; every failure, and every file written, ends in saveFinished.
    TSMat procSaveOutputReq(TImprocWorker* which, const QUrl& fileName, const QVariantMap& fileParams) override;
    bool procSaveQImage(TImprocWorker* which, const QString& fileName) override;
    // Logs a save that did not happen and tells the GUI root through saveFinished.
    void reportSaveFailure(const QUrl& fileName, const QString& error) override;

    void setCanvas(const QSize& size, const QColor& color, float lowrezScale, float thumbnailScale);
    void setProcMode(TImproc::ProcMode mode) { m_procMode = mode; }
    TImproc::ProcMode procMode() const { return m_procMode; }
    QSize canvasSize() const { return m_canvasSize; }
    QColor canvasColor() const { return m_canvasColor; }
    float lowrezScale() const { return m_lowrezScale; }
    float thumbnailScale() const { return m_thumbnailScale; }
    TSFbo input() const { return m_input; }

    // A canvas of the current mode's size, cleared to the canvas colour; empty in NONE mode.
    TSFbo canvasFbo() const;
    // The structural key of what canvasFbo() gives.
    quint64 canvasKey() const;
    // Replaces `io` by the input stretched to io's size, composited over the canvas colour;
    // an `io` that is that image already stays as it is.
    QString loadImage(TSFbo& io) const;
    // Draws `in` onto `out` with the input placement parameters.
    QString doTransform(const TSFbo& in, TSFbo& out) const;

private:
    // loadImage for a target of `size`, `scale` and `name` (io may be empty).
    QString loadImageAt(TSFbo& io, const QSize& size, float scale, const QString& name) const;
    // The background of a full-resolution walk: the canvas, or the loaded input where that
    // replaces the whole canvas anyway.
    TSFbo fullCanvas() const;
    // True when the loaded input, canvas-sized, is unmoved: it then is the placed image.
    bool inputUnmoved() const;
    // The input for a target of `size`: reduced by area when the target is smaller (kept in
    // the GPU cache for the next render of that size), else the input itself.
    TSFbo inputFor(const QSize& size) const;
    QString reducedInputKey() const;
    // True when `loaded` (what loadImage made) holds exactly the input's pixels.
    bool isPlainCopyOfInput(const TSFbo& loaded) const;
    // True when the root's own composite would give back its children's result unchanged.
    bool composeKeepsChildrenResult(const TSFbo& in, const TSFbo& out) const;
    // The canvas `in` with the input placed on it (in `out`), and what the children start
    // from (in `childrenInput`), unless the root's opacity lets nothing of them through.
    QString placeInput(const TSFbo& in, TSFbo& out, TSFbo& childrenInput);
    // The whole walk: placed input, children, the root's composite; `startKey` is the key of
    // what the children start from (0: nothing kept or taken).
    QString renderTree(const TSFbo& in, TSFbo& out, TPendingList& pending, quint64 startKey);

protected:
    // What the children start from: the canvas with the placed input (`placed`). A root
    // that adjusts the input before the children see it overrides this.
    virtual QString prepareChildrenInput(const TSFbo& placed, TSFbo& childrenInput);

signals:
    void outputChanged(TSMat output);
    // Outcome of a save to a file: an empty error text on success.
    void saveFinished(QUrl fileName, QString error);

private slots:
    void procUpdateReq(TImprocWorker* which_p, QString& reqTag, QString& fboId);

private:
    // The full-resolution image of the tree up to `target` (the whole tree for the root).
    TSFbo renderFull(TNodeWorker* target, QString* error);
    float modeScale() const;

    TImproc::ProcMode m_procMode = TImproc::LOWREZ;
    QSize m_canvasSize{-1, -1};
    QColor m_canvasColor{255, 255, 255, 255};
    float m_lowrezScale = 1.0f;
    float m_thumbnailScale = 1.0f;
    TSFbo m_input;
    bool m_inputOpaque = false;
    // Another input, even with the uid of an earlier one, is another image to the cache.
    quint64 m_inputKey = 0;
    // Started with the first save; ended (after its last file) before this object is.
    std::unique_ptr<BackgroundImageWriter> m_writer;
};
