#include "engine/tdrawtexturebase.h"

#include "engine/timpserver.h"

#include <QMetaObject>
#include <QOpenGLFunctions_3_3_Core>
#include <QWaitCondition>

#include <utility>

QMap<unsigned int, TDrawTextureBase*> TDrawTextureBase::s_ptrMap;
QMutex TDrawTextureBase::s_mapMutex;

namespace {
constexpr unsigned long kDrawTimeoutMs = 500;
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
    bool alive = true;
    // The newest request's framebuffer, kept until the view has drawn it or a newer request
    // replaces it: a view that answers late still reads the image it was sent.
    TSFbo pending;
    quint64 pendingSequence = 0;
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
    TSFbo drawn; // let go of outside the lock
    QMutexLocker lock(&m_state->mutex);
    // Only the request being handled counts: a late answer to a draw that already timed
    // out must not end the wait of a newer one.
    if (m_state->drawing > m_state->lastDrawn)
        m_state->lastDrawn = m_state->drawing;
    if (m_state->pendingSequence <= m_state->lastDrawn)
        drawn = std::move(m_state->pending);
    m_state->drawn.wakeAll();
}

void TDrawTextureBase::drawRequest(quint64 sequence, uint textureId, QSize size, float scale)
{
    {
        QMutexLocker lock(&m_state->mutex);
        // A newer request is on its way and holds the only framebuffer kept for this view.
        if (sequence < m_state->lastRequested)
            return;
        m_state->drawing = sequence;
    }
    emit sendTexture(textureId, size, scale);
    drawTexture(textureId, size, scale);
}

bool TDrawTextureBase::drawTextureBlocking(const std::shared_ptr<DrawState>& state, quint64 sequence,
                                           const TSFbo& fbo)
{
    TSFbo replaced; // let go of outside the lock
    QMutexLocker lock(&state->mutex);
    replaced = std::exchange(state->pending, fbo);
    state->pendingSequence = sequence;
    QDeadlineTimer deadline(kDrawTimeoutMs);
    while (state->alive && state->lastDrawn < sequence) {
        if (!state->drawn.wait(&state->mutex, deadline))
            break;
    }
    const bool drawn = state->lastDrawn >= sequence;
    if (drawn || !state->alive)
        replaced = std::exchange(state->pending, TSFbo());
    return drawn;
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
