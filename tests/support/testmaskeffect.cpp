#include "testmaskeffect.h"

#include "effects/tefactory.h"
#include "gpu/glimfilter.h"

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
    GLImFilter bc(QStringLiteral(":/korvane/glshaders/testbc.frag"));
    bc.setUniformValue(QStringLiteral("brightness"), paramValue("brightness").toFloat());
    bc.setUniformValue(QStringLiteral("contrast"), 1.0f);
    TSFbo result(in.size(), in.internalFormat());
    if (!bc.proc(in, result))
        return QStringLiteral("ERROR!!! TestMaskEffect: the pass failed");
    result.setScale(in.scale());
    out = result;
    return QString();
}
