#include "effectpreview.h"

#include "engine/tdrawtexturebase.h"

#include <QOpenGLFunctions_3_3_Core>
#include <QPainter>

// Copies each texture it is handed while the render thread waits, then lets it go.
class PreviewSink : public TDrawTextureBase
{
public:
    explicit PreviewSink(EffectPreview* item)
        : m_item(item)
    {
        m_surface.create();
        m_context.setShareContext(QOpenGLContext::globalShareContext());
        m_context.create();
    }

protected:
    void drawTexture(uint textureId, QSize size, float) override
    {
        QImage image(size, QImage::Format_RGBA8888);
        bool read = false;
        if (m_context.makeCurrent(&m_surface)) {
            auto* f = m_context.versionFunctions<QOpenGLFunctions_3_3_Core>();
            if (f && f->initializeOpenGLFunctions()) {
                f->glBindTexture(GL_TEXTURE_2D, textureId);
                f->glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
                f->glBindTexture(GL_TEXTURE_2D, 0);
                read = f->glGetError() == GL_NO_ERROR;
            }
            m_context.doneCurrent();
        }
        doneDrawing();
        if (read)
            m_item->show(image);
    }

private:
    EffectPreview* m_item;
    QOffscreenSurface m_surface;
    QOpenGLContext m_context;
};

EffectPreview::EffectPreview(QQuickItem* parent)
    : QQuickPaintedItem(parent)
    , m_sink(std::make_unique<PreviewSink>(this))
{
}

EffectPreview::~EffectPreview() = default;

uint EffectPreview::previewerUid() const
{
    return m_sink->uid();
}

QPointF EffectPreview::toImage(const QPointF& itemPoint) const
{
    const QRectF r = imageRect();
    if (r.isEmpty())
        return QPointF(-1, -1);
    return QPointF((itemPoint.x() - r.x()) / r.width(), (itemPoint.y() - r.y()) / r.height());
}

void EffectPreview::paint(QPainter* painter)
{
    if (!m_image.isNull())
        painter->drawImage(imageRect(), m_image);
}

void EffectPreview::show(const QImage& image)
{
    m_image = image;
    ++m_shown;
    update();
    emit imageShown();
}

QRectF EffectPreview::imageRect() const
{
    if (m_image.isNull() || width() <= 0 || height() <= 0)
        return QRectF();
    QSizeF fitted = QSizeF(m_image.size()).scaled(QSizeF(width(), height()), Qt::KeepAspectRatio);
    return QRectF(QPointF((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
}
