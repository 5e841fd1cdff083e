#include "testbceffect.h"

#include "effects/tefactory.h"
#include "gputest.h"

const char* const TestBCEffect::kClassName = "TestBCEffect";
std::atomic<int> TestBCEffectWorker::s_doProcs{0};

TestBCEffect::TestBCEffect(QObject* parent)
    : TEffect(parent)
{
    registerParam("brightness", 0.0f);
    registerParam("contrast", 1.0f);
    registerParam("failWith", QString());
    registerParam("cancelHalfway", false);
    finalizeConstructor(kClassName, ver(1, 2));
    addPresetConvertor(100, 101, [](const QVariantMap& p) {
        QVariantMap q = p;
        q.insert("brightness", q.take("light"));
        q.insert("contrastPercent", 100.0);
        q.insert("version", 101);
        return q;
    });
    addPresetConvertor(101, 102, [](const QVariantMap& p) {
        QVariantMap q = p;
        q.insert("contrast", q.take("contrastPercent").toDouble() / 100.0);
        q.insert("version", 102);
        return q;
    });
}

void TestBCEffect::registerClass()
{
    TEFactory::registerClass(
        kClassName, [](TEBase* parent) -> TEBase* { return new TestBCEffect(parent); },
        [](const QString& name, uint uid, uint parentUid) -> TEBaseWorker* {
            return new TestBCEffectWorker(name, uid, parentUid);
        });
}

QString TestBCEffectWorker::doProc(TSFbo& out)
{
    ++s_doProcs;
    const TSFbo in = inputFbo(decimation(), false, TSFbo::workingFormat());
    if (in.isEmpty())
        return QString();
    emit blockingProcProgress(50, QStringLiteral("half-way"));
    const TSFbo result = GpuTest::brightnessContrast(in, paramValue("brightness").toFloat(), paramValue("contrast").toFloat());
    if (result.isEmpty())
        return QStringLiteral("ERROR!!! TestBCEffect: the pass failed");
    out = result;
    if (paramValue("cancelHalfway").toBool())
        processCancelReq();
    // Answered after drawing: a half-made image must not count as a result.
    return paramValue("failWith").toString();
}
