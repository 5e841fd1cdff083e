#include "engine/tdrawtexturebase.h"

#include "engine/timpserver.h"

#include <QMetaObject>
#include <QOpenGLFunctions_3_3_Core>
#include <QWaitCondition>

#include <algorithm>

QMap<unsigned int, TDrawTextureBase*> TDrawTextureBase::s_ptrMap;
QMutex TDrawTextureBase::s_mapMutex;

namespace {
constexpr unsigned long kDrawTimeoutMs = 500;
// A view that has started on a request reads its texture; it gets this long in all.
constexpr unsigned long kStartedDrawTimeoutMs = 5000;
} // namespace

// What a waiting render thread shares with the view: it outlives the view if need be, so
// the wait never holds the view registry and never touches a destroyed view.
struct TDrawTextureBase::DrawState
{
    QMutex mutex;
    QWaitCondition drawn;
    quint64 lastRequested = 0;  // sequence of the newest draw request
    quint64 lastDrawn = 0;      // sequence the view has answered
    quint64 drawing = 0;        // sequence the view's drawTexture is handling
    quint64 abandoned = 0;      // newest sequence the render thread stopped waiting for
    bool alive = true;
    TSFbo pending;              // kept alive until drawn or timed out
};

TDrawTextureBase::TDrawTextureBase(QObject* parent)
    : QObject(parent)
    , m_state(std::make_shared<DrawState>())
{
    QMutexLocker lock(&s_mapMutex);
    s_ptrMap.insert(m_uid.uid(), this);
}

TDrawTextureBase::~TDrawTextureBase()
{
    {
        QMutexLocker lock(&s_mapMutex);
        s_ptrMap.remove(m_uid.uid());
    }
    QMutexLocker lock(&m_state->mutex);
    m_state->alive = false;
    m_state->drawn.wakeAll();
}

bool TDrawTextureBase::isDrawing() const
{
    QMutexLocker lock(&m_state->mutex);
    return m_state->lastDrawn < m_state->lastRequested;
}

void TDrawTextureBase::doneDrawing()
{
    QMutexLocker lock(&m_state->mutex);
    // Only the request being handled counts: a late answer to a draw that already timed
    // out must not end the wait of a newer one.
    if (m_state->drawing > m_state->lastDrawn)
        m_state->lastDrawn = m_state->drawing;
    m_state->drawn.wakeAll();
}

void TDrawTextureBase::drawRequest(quint64 sequence, uint textureId, QSize size, float scale)
{
    {
        QMutexLocker lock(&m_state->mutex);
        // The render thread has let go of that framebuffer: its texture may hold anything now.
        if (sequence <= m_state->abandoned)
            return;
        m_state->drawing = sequence;
    }
    emit sendTexture(textureId, size, scale);
    drawTexture(textureId, size, scale);
}

bool TDrawTextureBase::drawTextureBlocking(const std::shared_ptr<DrawState>& state, quint64 sequence,
                                           const TSFbo& fbo)
{
    QMutexLocker lock(&state->mutex);
    state->pending = fbo;
    QDeadlineTimer deadline(kDrawTimeoutMs);
    QDeadlineTimer startedDeadline(kStartedDrawTimeoutMs);
    while (state->alive && state->lastDrawn < sequence) {
        // Once the view has started on this request it reads the texture: it gets longer.
        const bool started = state->drawing == sequence;
        if (!state->drawn.wait(&state->mutex, started ? startedDeadline : deadline)
            && (state->drawing != sequence || startedDeadline.hasExpired()))
            break;
    }
    if (state->lastDrawn < sequence)
        state->abandoned = std::max(state->abandoned, sequence);
    state->pending = TSFbo();
    return state->lastDrawn >= sequence;
}

bool TDrawTextureBase::drawToTGLImageView(const TSFbo& fbo, unsigned int uid)
{
    std::shared_ptr<DrawState> state;
    quint64 sequence = 0;
    {
        QMutexLocker lock(&s_mapMutex);
        TDrawTextureBase* view = s_ptrMap.value(uid, nullptr);
        if (!view)
            return false;
        if (QOpenGLFunctions_3_3_Core* f = TImpServer::glFuncs())
            f->glFinish();
        state = view->m_state;
        {
            QMutexLocker stateLock(&state->mutex);
            sequence = ++state->lastRequested;
        }
        // Posted while the registry lock keeps the view alive; a view destroyed before the
        // event arrives takes the event with it.
        const uint texture = fbo.texture();
        const QSize size = fbo.size();
        const float scale = fbo.scale();
        QMetaObject::invokeMethod(view, [view, sequence, texture, size, scale] {
            view->drawRequest(sequence, texture, size, scale);
        }, Qt::QueuedConnection);
    }
    drawTextureBlocking(state, sequence, fbo);
    return true;
}
