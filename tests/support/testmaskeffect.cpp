#include "testmaskeffect.h"

#include "effects/tefactory.h"
#include "gputest.h"

const char* const TestMaskEffect::kClassName = "TestMaskEffect";

TestMaskEffect::TestMaskEffect(QObject* parent)
    : TEffectMask(parent)
{
    registerParam("brightness", 0.0f);
    finalizeConstructor(kClassName, ver(1, 0));
}

void TestMaskEffect::registerClass()
{
    TEFactory::registerClass(
        kClassName, [](TEBase* parent) -> TEBase* { return new TestMaskEffect(parent); },
        [](const QString& name, uint uid, uint parentUid) -> TEBaseWorker* {
            return new TestMaskEffectWorker(name, uid, parentUid);
        });
}

QString TestMaskEffectWorker::doProc(TSFbo& out)
{
    const TSFbo in = inputFbo(decimation(), false, TSFbo::workingFormat());
    if (in.isEmpty())
        return QString();
    const TSFbo result = GpuTest::brightnessContrast(in, paramValue("brightness").toFloat());
    if (result.isEmpty())
        return QStringLiteral("ERROR!!! TestMaskEffect: the pass failed");
    out = result;
    return QString();
}
