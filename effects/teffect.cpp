#include "effects/teffect.h"

#include "engine/timpserver.h"

#include <QSet>
#include <algorithm>

namespace {
// GUI thread only, like the effects themselves.
QSet<const TEffect*> s_liveEffects;

// The server asks whether any effect is still busy without knowing the effect classes.
const bool s_busyQueryInstalled = [] {
    TImpServer::setEffectsBusyQuery([] {
        return std::any_of(s_liveEffects.cbegin(), s_liveEffects.cend(), [](const TEffect* e) { return e->isBusy(); });
    });
    return true;
}();
} // namespace

TEffect::TEffect(QObject* parent)
    : QObject(parent)
{
    s_liveEffects.insert(this);
}

TEffect::~TEffect()
{
    s_liveEffects.remove(this);
}

void TEffect::setBusy(bool busy)
{
    if (busy == m_isBusy)
        return;
    m_isBusy = busy;
    emit isBusyChanged(busy);
}
