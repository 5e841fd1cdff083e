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

void MaskPainter::process(const QList<QVariantMap>& dabs, const TSFbo& colorSource)
{
    if (m_mask0.isEmpty())
        return;
    for (const QVariantMap& dab : dabs) {
        const QString type = dab.value(QStringLiteral("type")).toString();
        const bool needsNoOperation = type != QLatin1String("in") && type != QLatin1String("end")
                                   && type != QLatin1String("snapshot");
        if (m_operationFinished && needsNoOperation)
            render(colorSource);
        takeDab(dab);
    }
    render(colorSource);
}

void MaskPainter::takeDab(const QVariantMap& dab)
{
    const QString type = dab.value(QStringLiteral("type")).toString();
    if (type == QLatin1String("start")) {
        if (m_operationOpen)
            return;
        m_history.dropRedo();
        open(true);
        queueDab(dab);
    } else if (type == QLatin1String("in")) {
        if (m_operationOpen && m_takingDabs)
            queueDab(dab);
    } else if (type == QLatin1String("snapshot")) {
        if (m_operationOpen && !m_operationFinished)
            finish(dab);
    } else if (type == QLatin1String("undo")) {
        if (!m_operationOpen)
            restore(m_history.stepBack(), false);
    } else if (type == QLatin1String("redo")) {
        if (!m_operationOpen)
            restore(m_history.stepForward(), true);
    } else if (type == QLatin1String("reset") || type == QLatin1String("invert")) {
        if (m_operationOpen)
            return;
        m_history.dropRedo();
        open(false);
        (type == QLatin1String("reset") ? m_resetPending : m_invertPending) = true;
    }
    // "end" keeps an open stroke open and does nothing without one.
}

void MaskPainter::open(bool takesDabs)
{
    m_operationOpen = true;
    m_operationFinished = false;
    m_takingDabs = takesDabs;
}

void MaskPainter::queueDab(const QVariantMap& dab)
{
    const QSizeF size(m_mask0.size());
    const float radius = dab.value(QStringLiteral("radius")).toFloat();
    TEffectMaskDrawTriangle::Dab d;
    d.center = QPointF(dab.value(QStringLiteral("center.x")).toDouble() / size.width(),
                       dab.value(QStringLiteral("center.y")).toDouble() / size.height());
    d.halfExtent = QSizeF(radius / size.width(), radius / size.height());
    d.radius = radius;
    d.hardness = dab.value(QStringLiteral("hardness")).toFloat();
    d.strength = dab.value(QStringLiteral("strength")).toFloat();
    d.flow = dab.value(QStringLiteral("flow")).toFloat();
    d.colorAware = dab.value(QStringLiteral("coloraware")).toFloat() > 0.1f;
    m_drawTriangle.addDab(d);
}

void MaskPainter::finish(const QVariantMap& snapshot)
{
    m_takingDabs = false;
    m_operationFinished = true;
    m_operationArea = operationArea(snapshot);
}

QRect MaskPainter::operationArea(const QVariantMap& snapshot) const
{
    const QRect whole(QPoint(), m_mask0.size());
    const double x = snapshot.value(QStringLiteral("workingArea.x")).toDouble();
    const double y = snapshot.value(QStringLiteral("workingArea.y")).toDouble();
    const double w = snapshot.value(QStringLiteral("workingArea.width")).toDouble();
    const double h = snapshot.value(QStringLiteral("workingArea.height")).toDouble();
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(w) || !std::isfinite(h))
        return whole;
    // Clamped before the conversions to int, whatever the numbers.
    const int x0 = std::max(0, int(std::floor(std::clamp(x, -1.0, double(whole.width())))) - 1);
    const int y0 = std::max(0, int(std::floor(std::clamp(y, -1.0, double(whole.height())))) - 1);
    const int width = std::min(whole.width() - x0, int(std::ceil(std::clamp(w, 0.0, double(whole.width())))) + 2);
    const int height = std::min(whole.height() - y0, int(std::ceil(std::clamp(h, 0.0, double(whole.height())))) + 2);
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
}

void MaskPainter::render(const TSFbo& colorSource)
{
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
