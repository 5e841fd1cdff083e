#pragma once
// Thread: GUI thread; the engine's render thread hands it textures through TDrawTextureBase
//         and waits while it copies them.
// Owns: a copy of the last preview (a QImage) and an OpenGL context of its own, sharing
//       objects with the engine's, to read the textures.
// Errors: a texture that cannot be read leaves the last image shown.

#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QQuickPaintedItem>

#include <memory>

class PreviewSink;

// Shows an effect's previews, fitted into the item with the aspect kept. An effect draws
// into it when its previewerUid is this item's previewerUid.
class EffectPreview : public QQuickPaintedItem
{
    Q_OBJECT
    Q_PROPERTY(uint previewerUid READ previewerUid CONSTANT)
    Q_PROPERTY(bool hasImage READ hasImage NOTIFY imageShown)
    Q_PROPERTY(int shownImages READ shownImages NOTIFY imageShown)
public:
    explicit EffectPreview(QQuickItem* parent = nullptr);
    ~EffectPreview() override;

    uint previewerUid() const;
    bool hasImage() const { return !m_image.isNull(); }
    int shownImages() const { return m_shown; }
    // A point of the item in normalised image coordinates (0..1 inside the image).
    Q_INVOKABLE QPointF toImage(const QPointF& itemPoint) const;

    void paint(QPainter* painter) override;

signals:
    void imageShown();

private:
    friend class PreviewSink;
    void show(const QImage& image);
    QRectF imageRect() const;

    std::unique_ptr<PreviewSink> m_sink;
    QImage m_image;
    int m_shown = 0;
};
