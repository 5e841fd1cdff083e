#include "levelseffect.h"

#include "levelseffectworker.h"

#include "effects/tefactory.h"

#include <QQmlEngine>

LevelsEffect::LevelsEffect(QObject* parent)
    : TEffectMask(parent)
{
    registerParam(QStringLiteral("exposure"), 1.0f);
    finalizeConstructor(QStringLiteral("LevelsEffect"), ver(1, 0));
}

void LevelsEffect::registerClass()
{
    TEFactory::registerClass(
        QStringLiteral("LevelsEffect"), [](TEBase* parent) -> TEBase* { return new LevelsEffect(parent); },
        [](const QString& name, uint uid, uint parentUid) -> TEBaseWorker* {
            return new LevelsEffectWorker(name, uid, parentUid);
        });
    qmlRegisterType<LevelsEffect>("Korvane", 1, 0, "LevelsEffect");
}
