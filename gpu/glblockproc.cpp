#include "gpu/glblockproc.h"

GLBlockProc::GLBlockProc(const QSize& imageSize, int overlap, const QSize& maxBlockSize)
    : m_imageSize(imageSize)
    , m_overlap(overlap)
    , m_step(maxBlockSize.width() - 2 * overlap, maxBlockSize.height() - 2 * overlap)
{
    if (imageSize.width() < 1 || imageSize.height() < 1 || overlap < 0 || m_step.width() < 1 || m_step.height() < 1)
        return;
    m_cols = (imageSize.width() + m_step.width() - 1) / m_step.width();
    m_rows = (imageSize.height() + m_step.height() - 1) / m_step.height();
}

QRect GLBlockProc::interior(int row, int col) const
{
    if (!contains(row, col))
        return QRect();
    return QRect(QPoint(col * m_step.width(), row * m_step.height()), m_step) & QRect(QPoint(0, 0), m_imageSize);
}

QRect GLBlockProc::withOverlap(int row, int col) const
{
    return interior(row, col).adjusted(-m_overlap, -m_overlap, m_overlap, m_overlap)
        & QRect(QPoint(0, 0), m_imageSize);
}

TSFbo GLBlockProc::getBlock(const TSFbo& in, int row, int col) const
{
    const QRect area = withOverlap(row, col);
    if (area.isEmpty() || in.size() != m_imageSize)
        return TSFbo();
    TSFbo block(area.size(), in.internalFormat());
    TSFbo::blitFramebuffer(&block, QRect(QPoint(0, 0), area.size()), &in, area);
    block.setScale(in.scale());
    return block;
}

bool GLBlockProc::mergeBlock(const TSFbo& block, int row, int col, TSFbo& out) const
{
    const QRect own = interior(row, col);
    const QRect area = withOverlap(row, col);
    if (own.isEmpty() || block.size() != area.size() || out.size() != m_imageSize)
        return false;
    TSFbo::blitFramebuffer(&out, own, &block, own.translated(-area.topLeft()));
    return true;
}
