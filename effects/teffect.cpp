#include "effects/teffect.h"

#include "engine/timpserver.h"

TEffect::TEffect(QObject* parent)
    : QObject(parent)
{
    TImpServer::insertTEffect(this);
}

TEffect::~TEffect()
{
    TImpServer::removeTEffect(this);
}

void TEffect::setBusy(bool busy)
{
    if (busy == m_isBusy)
        return;
    m_isBusy = busy;
    emit isBusyChanged(busy);
}
