#include "testeffectbase.h"

#include "effects/tefactory.h"

const char* const TestEffectBase::kClassName = "TestEffectBase";

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
    // 0.x presets are not supported: their conversion yields nothing. 1.0 called the amount
    // "strength"; until 1.3 the count was in pairs. 1.2 presets already counted singly: their
    // converter, registered later, wins for 1.2 and leaves its mark in the label.
    addPresetConvertor(0, 100, [](const QVariantMap&) { return QVariantMap(); });
    addPresetConvertor(100, 101, [](const QVariantMap& p) { QVariantMap q = p; q.insert("amount", q.take("strength")); return q; });
    addPresetConvertor(101, 103, [](const QVariantMap& p) { QVariantMap q = p; q.insert("count", p.value("count").toInt() * 2); return q; });
    addPresetConvertor(102, 103, [](const QVariantMap& p) { QVariantMap q = p; q.insert("label", QStringLiteral("from 1.2")); return q; });
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
