#pragma once
// Thread: GUI thread for the item; updatePaintNode on Qt Quick's render thread (the GUI
//         thread under the basic render loop), while the GUI thread is blocked.
// Owns: a subscription to the engine's texture provider for its node's "_output_"; the
//       scene-graph texture wraps the engine's texture without owning it.
// Errors: without a node or before the engine runs it shows nothing.

#include "nodes/tnode.h"

#include <QPointer>
#include <QQuickItem>
#include <QSize>


// Shows what a node renders, fitted into the item with its aspect kept. Every new render
// arrives as a texture from the engine's shared context.
class EngineView : public QQuickItem
{
    Q_OBJECT
    Q_PROPERTY(TNode* node READ node WRITE setNode NOTIFY nodeChanged)
    Q_PROPERTY(bool hasImage READ hasImage NOTIFY imageShown)
public:
    explicit EngineView(QQuickItem* parent = nullptr);
    ~EngineView() override;

    TNode* node() const { return m_node; }
    void setNode(TNode* node);
    bool hasImage() const { return m_texture != 0; }

signals:
    void nodeChanged();
    void imageShown();

protected:
    QSGNode* updatePaintNode(QSGNode* old, UpdatePaintNodeData*) override;
    void geometryChanged(const QRectF& newGeometry, const QRectF& oldGeometry) override;

private:
    // The item's size in device pixels: the engine shrinks its output to fit it, by area.
    QSize pixelSize() const;
    void onTextureReady(uint key, int texture, QSize size, float scale);
    void unsubscribe();

    QPointer<TNode> m_node;
    uint m_key = 0;
    int m_texture = 0;
    QSize m_textureSize;
    bool m_textureChanged = false;
};
