#include "filllayer.h"

FillLayer::FillLayer(TImproc* parent, unsigned int uid)
    : TNode(parent, uid)
{
    m_params.insert(QStringLiteral("color"), QColor(255, 140, 0));
    m_params.insert(QStringLiteral("color2"), QColor(255, 140, 0));
    m_params.insert(QStringLiteral("angle"), 0.0f);
    finalizeTNodeClass(QStringLiteral("FillLayer"));
}
