#include "effects/maskpainter.h"

#include "effects/effectslogging.h"
#include "gpu/glimfilter.h"
#include "gpu/glpixeltransfer.h"

#include <QOpenGLFunctions_3_3_Core>

#include <cmath>

bool MaskPainter::reset(const QSize& size)
{
    m_mask0 = TSFbo(size, GL_R32F);
    m_mask1 = TSFbo(size, GL_R32F);
    m_history.clear();
    m_resetPending = m_operationOpen = m_operationFinished = m_takingDabs = m_invertPending = false;
    if (m_mask0.isEmpty() || m_mask1.isEmpty()) {
        m_mask0 = m_mask1 = TSFbo();
        return false;
    }
    clear(m_mask0);
    clear(m_mask1);
    return true;
}

QRect MaskPainter::process(const QVector<MaskDab>& dabs, const TSFbo& colorSource)
{
    m_changed = QRect();
    if (m_mask0.isEmpty())
        return m_changed;
    using Type = MaskDab::Type;
    for (const MaskDab& dab : dabs) {
        const bool needsNoOperation = dab.type != Type::In && dab.type != Type::End && dab.type != Type::Snapshot;
        if (m_operationFinished && needsNoOperation)
            render(colorSource);
        takeDab(dab);
    }
    render(colorSource);
    return m_changed;
}

void MaskPainter::takeDab(const MaskDab& dab)
{
    switch (dab.type) {
    case MaskDab::Type::Start:
        if (m_operationOpen)
            return;
        m_history.dropRedo();
        open(true);
        queueDab(dab);
        return;
    case MaskDab::Type::In:
        if (m_operationOpen && m_takingDabs)
            queueDab(dab);
        return;
    case MaskDab::Type::End: // keeps an open stroke open, does nothing without one
        return;
    case MaskDab::Type::Snapshot:
        if (m_operationOpen && !m_operationFinished) {
            m_takingDabs = false;
            m_operationFinished = true;
            m_operationArea = operationArea(dab.area);
        }
        return;
    case MaskDab::Type::Undo:
        if (!m_operationOpen)
            restore(m_history.stepBack(), false);
        return;
    case MaskDab::Type::Redo:
        if (!m_operationOpen)
            restore(m_history.stepForward(), true);
        return;
    case MaskDab::Type::Reset:
    case MaskDab::Type::Invert:
        if (m_operationOpen)
            return;
        m_history.dropRedo();
        open(false);
        (dab.type == MaskDab::Type::Reset ? m_resetPending : m_invertPending) = true;
        return;
    }
}

void MaskPainter::open(bool takesDabs)
{
    m_operationOpen = true;
    m_operationFinished = false;
    m_takingDabs = takesDabs;
}

void MaskPainter::queueDab(const MaskDab& dab)
{
    const QSizeF size(m_mask0.size());
    TEffectMaskDrawTriangle::Dab d;
    d.center = QPointF(dab.center.x() / size.width(), dab.center.y() / size.height());
    d.halfExtent = QSizeF(dab.radius / size.width(), dab.radius / size.height());
    d.radius = dab.radius;
    d.hardness = dab.hardness;
    d.strength = dab.strength;
    d.flow = dab.flow;
    d.colorAware = dab.coloraware > 0.1f;
    m_drawTriangle.addDab(d);
    const QPointF extent(dab.radius, dab.radius);
    m_changed |= QRectF(dab.center - extent, dab.center + extent).toAlignedRect() & QRect(QPoint(), m_mask0.size());
}

QRect MaskPainter::operationArea(const QRectF& area) const
{
    const QRect whole(QPoint(), m_mask0.size());
    const QRectF inside = area & QRectF(whole);
    if (inside.isEmpty())
        return whole;
    const int x0 = std::max(0, int(std::floor(inside.x())) - 1);
    const int y0 = std::max(0, int(std::floor(inside.y())) - 1);
    const int width = std::min(whole.width() - x0, int(std::ceil(inside.width())) + 2);
    const int height = std::min(whole.height() - y0, int(std::ceil(inside.height())) + 2);
    if (width < 3 || height < 3)
        return whole;
    return QRect(x0, y0, width, height);
}

void MaskPainter::restore(const MaskHistory::Entry* entry, bool after)
{
    if (!entry)
        return;
    const cv::Mat& image = after ? entry->after : entry->before;
    GLPixelTransfer::uploadRegion(image, m_mask0.fbo(), entry->rect.topLeft());
    GLPixelTransfer::uploadRegion(image, m_mask1.fbo(), entry->rect.topLeft());
    m_changed |= entry->rect;
}

void MaskPainter::render(const TSFbo& colorSource)
{
    if (m_resetPending || m_invertPending)
        m_changed = QRect(QPoint(), m_mask0.size());
    if (m_resetPending) {
        clear(m_mask0);
    } else if (m_invertPending) {
        GLImFilter invert(QStringLiteral(":/korvane/glshaders/tglmaskinvert.frag"));
        invert.proc(m_mask1, m_mask0);
    }
    m_resetPending = m_invertPending = false;
    if (m_drawTriangle.pendingDabs() > 0 && m_mask0.bind()) {
        m_drawTriangle.draw(m_mask0.size(), colorSource.texture());
        m_mask0.release();
    }
    if (m_operationFinished)
        recordOperation();
}

void MaskPainter::recordOperation()
{
    MaskHistory::Entry entry;
    entry.rect = m_operationArea;
    entry.before.create(m_operationArea.height(), m_operationArea.width(), CV_32FC1);
    entry.after.create(m_operationArea.height(), m_operationArea.width(), CV_32FC1);
    const bool read = GLPixelTransfer::downloadRegion(m_mask1.fbo(), m_operationArea, entry.before)
                   && GLPixelTransfer::downloadRegion(m_mask0.fbo(), m_operationArea, entry.after);
    TSFbo::blitFramebuffer(&m_mask1, m_operationArea, &m_mask0, m_operationArea);
    if (read)
        m_history.append(std::move(entry));
    else
        qCWarning(lcEffects) << "MaskPainter - could not read the mask back; the operation is not undoable";
    m_operationOpen = m_operationFinished = m_takingDabs = false;
}

void MaskPainter::clear(TSFbo& target)
{
    if (!target.bind())
        return;
    QOpenGLFunctions_3_3_Core* f = GLProg::funcs();
    f->glClearColor(0.f, 0.f, 0.f, 0.f);
    f->glClear(GL_COLOR_BUFFER_BIT);
    target.release();
}
