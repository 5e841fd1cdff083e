#include "pixelview.h"

#include <QOpenGLFunctions_3_3_Core>

PixelView::PixelView(QObject* parent)
    : TDrawTextureBase(parent)
{
    m_surface.create();
    m_context.setShareContext(QOpenGLContext::globalShareContext());
    m_context.create();
}

void PixelView::drawTexture(uint textureId, QSize textureSize, float)
{
    ++draws;
    last = cv::Mat();
    if (m_context.makeCurrent(&m_surface)) {
        auto* f = m_context.versionFunctions<QOpenGLFunctions_3_3_Core>();
        if (f && f->initializeOpenGLFunctions()) {
            cv::Mat pixels(textureSize.height(), textureSize.width(), CV_32FC4);
            f->glBindTexture(GL_TEXTURE_2D, textureId);
            f->glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, pixels.data);
            f->glBindTexture(GL_TEXTURE_2D, 0);
            if (f->glGetError() == GL_NO_ERROR)
                last = pixels;
        }
        m_context.doneCurrent();
    }
    doneDrawing();
}
