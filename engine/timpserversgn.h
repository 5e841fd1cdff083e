#pragma once
// Thread: scene graph render thread (created and updated in TImpServer::updatePaintNode).
// Owns: its placeholder texture.
// Errors: none.

#include <QSGSimpleTextureNode>

class QQuickWindow;

// The server item's scene-graph node: a 16 x 16 placeholder texture, so the item
// takes part in the scene graph and gets updatePaintNode calls.
class TImpServerSGN : public QSGSimpleTextureNode
{
public:
    explicit TImpServerSGN(QQuickWindow* window);
    ~TImpServerSGN() override;
};
