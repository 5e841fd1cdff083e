#include "imagelayer.h"

ImageLayer::ImageLayer(TImproc* parent, unsigned int uid)
    : TNode(parent, uid)
{
    m_params.insert(QStringLiteral("source"), QString());
    finalizeTNodeClass(QStringLiteral("ImageLayer"));
}
