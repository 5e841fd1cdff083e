#pragma once
// Thread: constructed, drawn on and destroyed on its own (GUI) thread; drawToTGLImageView
//         runs on the render thread and waits, up to 500 ms, for the view to draw.
// Owns: its draw state (shared with a render thread that is waiting on it) and a handle on
//       the newest framebuffer sent, until drawn or replaced, so it cannot be recycled while
//       the view may still read it.
// Errors: an unknown view uid gives false; a view that does not answer in 500 ms releases
//         the render thread anyway and draws the image when it gets to it, unless a newer
//         one was sent meanwhile.

#include "gpu/tuid.h"
#include "gpu/tsfbo.h"

#include <QMap>
#include <QMutex>
#include <QObject>
#include <QSize>
#include <memory>

// Base of views that want a texture pushed to them synchronously: the render thread hands
// a framebuffer to the view with a given uid and waits until the view has drawn it.
class TDrawTextureBase : public QObject
{
    Q_OBJECT
public:
    explicit TDrawTextureBase(QObject* parent = nullptr);
    ~TDrawTextureBase() override;

    uint uid() const { return m_uid.uid(); }
    bool isDrawing() const;
    // Called by the view when it has drawn the texture of the current draw request.
    void doneDrawing();

    // Render thread: draws `fbo` in the view registered under `uid`; false for no such view.
    static bool drawToTGLImageView(const TSFbo& fbo, unsigned int uid);

signals:
    void sendTexture(uint textureId, QSize textureSize, float scale);

protected slots:
    virtual void drawTexture(uint textureId, QSize textureSize, float scale) = 0;

private:
    struct DrawState;
    void drawRequest(quint64 sequence, uint textureId, QSize size, float scale);
    // Waits until the view has answered request `sequence`, the view is gone, or 500 ms passed.
    static bool drawTextureBlocking(const std::shared_ptr<DrawState>& state, quint64 sequence, const TSFbo& fbo);

    TUid m_uid;
    std::shared_ptr<DrawState> m_state;

    static QMap<unsigned int, TDrawTextureBase*> s_ptrMap;
    static QMutex s_mapMutex;
};
