#include "engineview.h"

#include "engine/tfboviewprovider.h"
#include "engine/timpserverthread.h"
#include "nodes/tnode.h"

#include <QQuickWindow>
#include <QtMath>
#include <QSGSimpleTextureNode>

namespace {
const QString kOutput = QStringLiteral("_output_");
}

EngineView::EngineView(QQuickItem* parent)
    : QQuickItem(parent)
{
    setFlag(ItemHasContents, true);
}

EngineView::~EngineView()
{
    unsubscribe();
}

void EngineView::unsubscribe()
{
    TFboViewProvider* provider = TImpServerThread::fboViewProvider();
    if (provider && m_key)
        provider->removeReq(m_key);
    m_key = 0;
}

void EngineView::setNode(TNode* node)
{
    if (node == m_node)
        return;
    unsubscribe();
    m_node = node;
    TFboViewProvider* provider = TImpServerThread::fboViewProvider();
    if (m_node && provider) {
        // Edits render with an empty request tag. The engine reduces the preview to the view
        // by area; drawn smaller by the scene graph, fine detail would turn to moire.
        m_key = TFboViewProvider::key(QString(), int(m_node->uid()), kOutput);
        provider->insertReq(m_key, pixelSize(), TFboViewProvider::Sizing::Fit);
        connect(provider, &TFboViewProvider::textureReady, this, &EngineView::onTextureReady, Qt::UniqueConnection);
        provider->emitTexture(m_key);
    }
    emit nodeChanged();
}

QSize EngineView::pixelSize() const
{
    const qreal ratio = window() ? window()->effectiveDevicePixelRatio() : 1.0;
    return QSize(qCeil(width() * ratio), qCeil(height() * ratio));
}

void EngineView::geometryChanged(const QRectF& newGeometry, const QRectF& oldGeometry)
{
    QQuickItem::geometryChanged(newGeometry, oldGeometry);
    TFboViewProvider* provider = TImpServerThread::fboViewProvider();
    if (!m_key || !provider || newGeometry.size() == oldGeometry.size())
        return;
    provider->setReqSize(m_key, pixelSize());
    if (m_node)
        m_node->updateFbo(); // the shown image was reduced for the old size
}

void EngineView::onTextureReady(uint key, int texture, QSize size, float)
{
    if (key != m_key || texture == 0)
        return;
    m_texture = texture;
    m_textureSize = size;
    m_textureChanged = true;
    update();
}

QSGNode* EngineView::updatePaintNode(QSGNode* old, UpdatePaintNodeData*)
{
    auto* node = static_cast<QSGSimpleTextureNode*>(old);
    if (!m_texture || m_textureSize.isEmpty() || width() <= 0 || height() <= 0) {
        delete node;
        return nullptr;
    }
    if (!node) {
        node = new QSGSimpleTextureNode;
        node->setOwnsTexture(true);
        // The image is usually drawn smaller than it is: nearest sampling would drop pixels.
        node->setFiltering(QSGTexture::Linear);
    }
    if (m_textureChanged || !node->texture()) {
        uint name = uint(m_texture);
        node->setTexture(window()->createTextureFromNativeObject(QQuickWindow::NativeObjectTexture, &name, 0,
                                                                  m_textureSize));
        if (TFboViewProvider* provider = TImpServerThread::fboViewProvider())
            provider->releaseTexture(m_key);
        m_textureChanged = false;
        QMetaObject::invokeMethod(this, &EngineView::imageShown, Qt::QueuedConnection);
    }
    const QSizeF fitted = QSizeF(m_textureSize).scaled(size(), Qt::KeepAspectRatio);
    node->setRect(QRectF(QPointF((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted));
    return node;
}
