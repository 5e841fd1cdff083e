#include "blurlayer.h"

BlurLayer::BlurLayer(TImproc* parent, unsigned int uid)
    : TNode(parent, uid)
{
    m_params.insert(QStringLiteral("radius"), 8.0f);
    finalizeTNodeClass(QStringLiteral("BlurLayer"));
}
