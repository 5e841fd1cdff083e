#include "testtreelayer.h"

#include "effects/tefactory.h"
#include "gputest.h"

const char* const TestTreeLayer::kClassName = "TestTreeLayer";
std::atomic<int> TestTreeLayerWorker::s_procs{0};
bool* TestTreeLayerWorker::s_cancelFlag = nullptr;

TestTreeLayer::TestTreeLayer(QObject* parent)
    : TTreeNodeLayer(parent)
{
    registerParam("brightness", 0.1f);
    registerParam("failWith", QString());
    registerParam("raiseCancel", false);
    finalizeConstructor(kClassName, ver(1, 0));
}

void TestTreeLayer::registerClass()
{
    TEFactory::registerClass(
        kClassName, [](TEBase* parent) -> TEBase* { return new TestTreeLayer(parent); },
        [](const QString& name, uint uid, uint parentUid) -> TEBaseWorker* {
            return new TestTreeLayerWorker(name, uid, parentUid);
        });
}

QString TestTreeLayerWorker::doProc(TSFbo& io)
{
    ++s_procs;
    const QString failure = paramValue("failWith").toString();
    if (!failure.isEmpty())
        return failure;
    const TSFbo out = GpuTest::brightnessContrast(io, paramValue("brightness").toFloat());
    if (out.isEmpty())
        return QStringLiteral("ERROR!!! TestTreeLayer: the pass failed");
    io = out;
    if (paramValue("raiseCancel").toBool() && s_cancelFlag)
        *s_cancelFlag = true;
    return QString();
}
