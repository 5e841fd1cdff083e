#include "levelslayer.h"

LevelsLayer::LevelsLayer(TImproc* parent, unsigned int uid)
    : TNode(parent, uid)
{
    m_params.insert(QStringLiteral("exposure"), 0.0f);
    m_params.insert(QStringLiteral("black"), 0.0f);
    m_params.insert(QStringLiteral("white"), 1.0f);
    m_params.insert(QStringLiteral("gamma"), 1.0f);
    finalizeTNodeClass(QStringLiteral("LevelsLayer"));
}
