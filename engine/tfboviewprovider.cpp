#include "engine/tfboviewprovider.h"
#include "engine/enginelogging.h"

#include "engine/timpserver.h"
#include "gpu/glareareduce.h"

#include <QHash>
#include <QOpenGLFunctions_3_3_Core>
#include <QRect>

// Signals are emitted only after the lock is released: a receiver on this thread may call
// straight back into the provider.

TFboViewProvider::TFboViewProvider(QObject* parent)
    : QObject(parent)
{
    qCDebug(lcEngine) << "TFboViewProvider::TFboViewProvider - created";
}

TFboViewProvider::~TFboViewProvider() = default;

unsigned int TFboViewProvider::key(const QString& reqTag, int nodeUid, const QString& fboId)
{
    return qHash(reqTag + fboId, uint(nodeUid));
}

TFboViewProvider::Announcement TFboViewProvider::announcementOf(uint key, const ViewEntry& e)
{
    return Announcement{key, int(e.fbo.texture()), e.fbo.size(), e.fbo.isEmpty() ? 1.f : e.fbo.scale()};
}

QSize TFboViewProvider::displaySize(const ViewEntry& e, const QSize& output)
{
    if (e.size.width() < 1 || e.size.height() < 1)
        return output;
    if (e.sizing == Sizing::Fill)
        return e.size;
    if (output.width() <= e.size.width() && output.height() <= e.size.height())
        return output;
    return output.scaled(e.size, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

void TFboViewProvider::insertReq(unsigned int key, QSize size, Sizing sizing)
{
    Announcement a;
    {
        QMutexLocker lock(&m_mutex);
        auto it = m_entries.find(key);
        if (it == m_entries.end()) {
            ViewEntry e;
            e.size = size;
            e.sizing = sizing;
            m_entries.insert(key, e);
            return;
        }
        ++it->viewers;
        a = announcementOf(key, *it);
    }
    emit textureReady(a.key, a.texture, a.size, a.scale);
}

void TFboViewProvider::setReqSize(unsigned int key, QSize size)
{
    QMutexLocker lock(&m_mutex);
    auto it = m_entries.find(key);
    if (it != m_entries.end())
        it->size = size;
}

void TFboViewProvider::removeReq(unsigned int key)
{
    // Declared before the lock, so the dropped framebuffers die after it is released.
    TSFbo dropped;
    TSFbo droppedPrev;
    QMutexLocker lock(&m_mutex);
    auto it = m_entries.find(key);
    if (it == m_entries.end())
        return;
    if (--it->viewers <= 0) {
        dropped = it->fbo;
        droppedPrev = it->prevFbo;
        m_entries.erase(it);
    }
}

void TFboViewProvider::releaseTexture(uint key)
{
    QMutexLocker lock(&m_mutex);
    auto it = m_entries.find(key);
    if (it != m_entries.end())
        ++it->releases;
}

void TFboViewProvider::emitTexture(uint key)
{
    Announcement a;
    {
        QMutexLocker lock(&m_mutex);
        auto it = m_entries.constFind(key);
        if (it == m_entries.cend() || it->viewers <= 0 || it->fbo.isEmpty() || it->fbo.texture() == 0)
            return;
        a = announcementOf(key, *it);
    }
    emit textureReady(a.key, a.texture, a.size, a.scale);
}

void TFboViewProvider::copyInto(ViewEntry& e, const TSFbo& output)
{
    const QSize out = output.size();
    const QSize disp = e.fbo.size();
    const bool requested = e.size.width() >= 1 && e.size.height() >= 1;
    if (requested && out != disp) {
        const float ad = float(disp.width()) / float(disp.height());
        const float as = float(out.width()) / float(out.height());
        QRect src;
        if (ad > as) {
            const int h = int(out.height() * as / ad);
            src = QRect(0, (out.height() - h) / 2, out.width(), h);
        } else {
            const int w = int(out.width() / as * ad);
            src = QRect((out.width() - w) / 2, 0, w, out.height());
        }
        // Smaller than the output, as views usually are: by area, or fine detail turns to moire.
        if (src.width() < disp.width() || src.height() < disp.height() || !GLAreaReduce().reduce(output, src, e.fbo))
            TSFbo::blitFramebuffer(&e.fbo, QRect(QPoint(0, 0), disp), &output, src, GL_COLOR_BUFFER_BIT, GL_LINEAR);
    } else {
        TSFbo::blitFramebuffer(&e.fbo, &output, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    }
}

void TFboViewProvider::procOutputFbo(QString reqTag, int nodeUid, QString fboId, TSFbo fbo)
{
    Announcement a;
    TSFbo retired;
    {
        QMutexLocker lock(&m_mutex);
        const unsigned int k = key(reqTag, nodeUid, fboId);
        auto it = m_entries.find(k);
        if (it == m_entries.end())
            return;
        ViewEntry& e = *it;
        if (e.viewers <= 0) {
            retired = e.fbo;
            m_entries.erase(it);
            return;
        }
        if (fbo.isEmpty())
            return;
        if (e.releases == e.viewers) {
            retired = e.prevFbo;
            e.prevFbo = TSFbo();
            e.releases = 0;
        }
        const QSize target = displaySize(e, fbo.size());
        if (e.fbo.size() != target) {
            e.prevFbo = e.fbo;
            e.releases = 0;
            e.fbo = TSFbo(target, GL_RGBA8);
        }
        copyInto(e, fbo);
        e.fbo.setScale(fbo.scale());
        e.fbo.setName(fbo.name());
        e.fbo.setUid(fbo.uid());
        if (QOpenGLFunctions_3_3_Core* f = TImpServer::glFuncs())
            f->glFlush();
        a = announcementOf(k, e);
    }
    emit textureReady(a.key, a.texture, a.size, a.scale);
}

TSFbo TFboViewProvider::display(unsigned int key) const
{
    QMutexLocker lock(&m_mutex);
    return m_entries.value(key).fbo;
}

int TFboViewProvider::entryCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_entries.size();
}

int TFboViewProvider::viewerCount(unsigned int key) const
{
    QMutexLocker lock(&m_mutex);
    auto it = m_entries.constFind(key);
    return it == m_entries.cend() ? 0 : it->viewers;
}
