#pragma once
// Thread: GUI thread of the test process (like a Qt Quick view).
// Owns: an OpenGL context of its own, sharing objects with the engine's, to read textures.
// Errors: an image that cannot be read stays empty.

#include "engine/tdrawtexturebase.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <opencv2/core.hpp>

// A view that reads every texture it is handed into `last` (CV_32FC4, rows from the top, as
// the framebuffer holds them) and answers at once.
class PixelView : public TDrawTextureBase
{
    Q_OBJECT
public:
    explicit PixelView(QObject* parent = nullptr);
    cv::Mat last;
    int draws = 0;

protected slots:
    void drawTexture(uint textureId, QSize textureSize, float scale) override;

private:
    QOffscreenSurface m_surface;
    QOpenGLContext m_context;
};
