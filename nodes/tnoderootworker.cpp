#include "nodes/tnoderootworker.h"

TNodeRootWorker::TNodeRootWorker(unsigned int uid, unsigned int parentUid)
    : TNodeWorker(uid, parentUid)
{
}

TNodeRootWorker::~TNodeRootWorker() = default;

void TNodeRootWorker::prepareInput(const TSMat& input)
{
    m_input = input;
}

TSMat TNodeRootWorker::procSaveOutputReq(TImprocWorker*, const QUrl&, const QVariantMap&)
{
    return TSMat();
}

void TNodeRootWorker::procSaveQImage(TImprocWorker*, const QString&)
{
}

void TNodeRootWorker::setCanvas(const QSize& size, const QColor& color, float lowrezScale, float thumbnailScale)
{
    if (size == m_canvasSize && color == m_canvasColor && TImproc::floatValuesEqual(lowrezScale, m_lowrezScale)
        && TImproc::floatValuesEqual(thumbnailScale, m_thumbnailScale))
        return;
    m_canvasSize = size;
    m_canvasColor = color;
    m_lowrezScale = lowrezScale;
    m_thumbnailScale = thumbnailScale;
}
