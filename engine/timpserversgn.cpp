#include "engine/timpserversgn.h"

#include <QQuickWindow>
#include <QSGTexture>

TImpServerSGN::TImpServerSGN(QQuickWindow* window)
{
    const uint noTexture = 0;
    QSGTexture* texture = window->createTextureFromNativeObject(QQuickWindow::NativeObjectTexture,
                                                                &noTexture, 0, QSize(16, 16));
    texture->setFiltering(QSGTexture::Linear);
    setTexture(texture);
    setOwnsTexture(true);
}

TImpServerSGN::~TImpServerSGN() = default;
