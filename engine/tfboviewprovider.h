#pragma once
// Thread: outputs arrive on the render thread; subscriptions come from any thread.
// Owns: one display framebuffer per subscribed key.
// Errors: outputs nobody subscribed to are dropped.

#include "gpu/tsfbo.h"

#include <QObject>
#include <QSize>
#include <QString>

// Hands rendered framebuffers to the application's views as textures.
class TFboViewProvider : public QObject
{
    Q_OBJECT
public:
    explicit TFboViewProvider(QObject* parent = nullptr);
    ~TFboViewProvider() override;

    static unsigned int key(const QString& reqTag, int nodeUid, const QString& fboId);

signals:
    void textureReady(uint destKey, int textureId, QSize textureSize, float imageScale);

public slots:
    void procOutputFbo(QString reqTag, int nodeUid, QString fboId, TSFbo fbo);
};
