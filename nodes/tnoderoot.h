#pragma once
// Thread: GUI thread.
// Owns: its child nodes; the last output image handed back by its worker.
// Errors: an empty input, an invalid or unchanged image URL, an empty preset and removing a
//         preset from a root without children are ignored (0 or false where a value is returned).

#include "gpu/tsmat.h"
#include "nodes/tnode.h"

#include <QColor>
#include <QSize>

// Top of a node tree: owns the input image and the canvas the tree renders on, chooses
// the resolution of renders, and attaches presets as subtrees. Every change reaches the
// worker as a command, so the worker sees changes in the order they were made.
class TNodeRoot : public TNode
{
    Q_OBJECT
    Q_PROPERTY(QSize canvasSize READ canvasSize WRITE setCanvasSize NOTIFY canvasSizeChanged)
    Q_PROPERTY(QColor canvasColor READ canvasColor WRITE setCanvasColor NOTIFY canvasColorChanged)
    Q_PROPERTY(QUrl imageUrl READ imageUrl WRITE setImageUrl NOTIFY imageUrlChanged)
    Q_PROPERTY(float inputScale READ inputScale WRITE setInputScale NOTIFY inputScaleChanged)
    Q_PROPERTY(QPointF inputTranslate READ inputTranslate WRITE setInputTranslate NOTIFY inputTranslateChanged)
    Q_PROPERTY(float inputRotate READ inputRotate WRITE setInputRotate NOTIFY inputRotateChanged)
    Q_PROPERTY(float lowrezScale READ lowrezScale WRITE setLowrezScale NOTIFY lowrezScaleChanged)
    Q_PROPERTY(float thumbnailScale READ thumbnailScale WRITE setThumbnailScale NOTIFY thumbnailScaleChanged)
    Q_PROPERTY(TImproc::ProcMode procMode READ procMode WRITE setProcMode NOTIFY procModeChanged)
    Q_PROPERTY(TSMat output READ output WRITE setOutput NOTIFY outputChanged)
public:
    explicit TNodeRoot(TImproc* parent = nullptr, unsigned int uid = 0);
    ~TNodeRoot() override;

    // A root's preset also holds its canvas colour ("canvasColor"): a tree rebuilt from it
    // renders as this one wherever the canvas shows.
    QVariantMap preset(bool bChildrenOnly = false) override;
    bool setPreset(QVariantMap value, bool bChildrenOnly = false) override;

    TImprocWorker* createImproc() override;

    QSize canvasSize() const { return m_canvasSize; }
    QColor canvasColor() const { return m_canvasColor; }
    QUrl imageUrl() const { return m_params.value(QStringLiteral("imageUrl")).toUrl(); }
    float inputScale() const { return floatParam(QStringLiteral("inputScale")); }
    QPointF inputTranslate() const { return m_params.value(QStringLiteral("inputTranslate")).toPointF(); }
    float inputRotate() const { return floatParam(QStringLiteral("inputRotate")); }
    float lowrezScale() const { return m_lowrezScale; }
    float thumbnailScale() const { return m_thumbnailScale; }
    TImproc::ProcMode procMode() const { return m_procMode; }
    TSMat output() const { return m_output; }
    QSize lowrezSize() const { return m_lowrezSize; }
    QSize thumbnailSize() const { return m_thumbnailSize; }

    // Renders the tree at full resolution and hands the result back through `output`.
    void apply();

signals:
    void canvasSizeChanged(QSize);
    void canvasColorChanged(QColor);
    void imageUrlChanged(QUrl);
    void inputScaleChanged(float);
    void inputTranslateChanged(QPointF);
    void inputRotateChanged(float);
    void lowrezScaleChanged(float);
    void thumbnailScaleChanged(float);
    void procModeChanged(TImproc::ProcMode);
    void outputChanged(TSMat);
    void inputChanged(TSMat input, uint uid);
    // A save through this root ended: `error` is empty on success, else the reason.
    void saveFinished(QUrl fileName, QString error);

public slots:
    void setCanvasSize(const QSize& size);
    void setCanvasColor(const QColor& color);
    void setImageUrl(const QUrl& url);
    void setInputScale(float v) { setFloat(QStringLiteral("inputScale"), v, &TNodeRoot::inputScaleChanged); }
    void setInputTranslate(const QPointF& v) { setPoint(QStringLiteral("inputTranslate"), v, &TNodeRoot::inputTranslateChanged); }
    void setInputRotate(float v) { setFloat(QStringLiteral("inputRotate"), v, &TNodeRoot::inputRotateChanged); }
    void setLowrezScale(float s);
    void setThumbnailScale(float s);
    void setProcMode(TImproc::ProcMode mode);
    void setOutput(TSMat output);
    void setInput(TSMat input);
    void refreshAllSize(QSize canvasSize);
    void blockAndUpdateFbo(QString reqTag = QString(), QString fboId = QString());
    void removeAllChildren();
    // A layer's preset becomes a new child (with its subtree); a root's preset (of this
    // root's class) sets this root's own values and canvas colour and adds its children here.
    // Returns the uid the children were attached to.
    uint attachPreset(QVariantMap value);
    bool removePreset(uint uid);
    void generatePresetThumbnail(QString saveLocalationUrl, QSize imageSize, QVariantMap presetParams);
    // Shows canvas values restored by undo or redo, without making a command.
    void showCanvas(QSize size, QColor color, float lowrezScale, float thumbnailScale);

private:
    enum class ScaleRule { KeepOnceSet, Recompute };
    // Canvas size change shared by the setters; `undoable` false for sizes that follow an
    // image load, which must not become undo steps.
    void changeCanvasSize(const QSize& size, ScaleRule rule, bool undoable);
    void setCanvasSize_NoUndo(const QSize& size);
    void enqueueCanvas(bool undoable);
    static QSize scaled(const QSize& size, float factor);

    TImproc::ProcMode m_procMode = TImproc::LOWREZ;
    QSize m_canvasSize{-1, -1};
    QColor m_canvasColor{255, 255, 255, 255};
    float m_lowrezScale = 1.0f;
    float m_thumbnailScale = 1.0f;
    QSize m_lowrezSize{-1, -1};
    QSize m_thumbnailSize{-1, -1};
    TSMat m_output;
};
