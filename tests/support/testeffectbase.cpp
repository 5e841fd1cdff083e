#include "testeffectbase.h"

#include "effects/tefactory.h"

const char* const TestEffectBase::kClassName = "TestEffectBase";

namespace {
// 0.x presets are not supported: their conversion yields nothing.
QVariantMap fromAncient(const QVariantMap&)
{
    return {};
}
// 1.0 called the amount "strength".
QVariantMap from100(const QVariantMap& p)
{
    QVariantMap out = p;
    out.insert("amount", out.take("strength"));
    return out;
}
// Until 1.3 the count was in pairs.
QVariantMap from101(const QVariantMap& p)
{
    QVariantMap out = p;
    out.insert("count", p.value("count").toInt() * 2);
    return out;
}
// 1.2 presets already counted singly; registered after from101, so it wins for 1.2, and it
// leaves its mark in the label.
QVariantMap from102(const QVariantMap& p)
{
    QVariantMap out = p;
    out.insert("label", QStringLiteral("from 1.2"));
    return out;
}
} // namespace

TestEffectBase::TestEffectBase(QObject* parent)
    : TEBase(parent)
{
    registerParam("amount", 0.5f);
    registerParam("center", QPointF(0.5, 0.5));
    registerParam("label", QStringLiteral("none"));
    registerParam("enabled", true);
    registerParam("count", 1);
    registerParam("seed", 7u);
    registerParam("mode", Soft);
    registerParam("blend", TNode::BLENDMODE_NORMAL);
    registerParam("viewer", 0u, false);
    finalizeConstructor(kClassName, ver(1, 3));
    addPresetConvertor(0, 100, fromAncient);
    addPresetConvertor(100, 101, from100);
    addPresetConvertor(101, 103, from101);
    addPresetConvertor(102, 103, from102);
}

void TestEffectBase::registerClass()
{
    TEFactory::registerClass(
        kClassName, [](TEBase* parent) -> TEBase* { return new TestEffectBase(parent); },
        [](const QString& name, uint uid, uint parentUid) -> TEBaseWorker* {
            return new TestEffectBaseWorker(name, uid, parentUid);
        },
        {{"category", "test"}}, true);
}
