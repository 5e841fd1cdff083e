// Effect parameters, presets with their converters, the worker's change detection, the class
// registry under concurrent use, and parent changes however they are made.

#include "testeffectbase.h"
#include "korvanetest.h"

#include "effects/tefactory.h"
#include "engine/tjson.h"

#include <QQmlComponent>
#include <QQmlEngine>

#include <atomic>
#include <thread>

struct SetterRow { QByteArray key; QVariant nearlySame; QVariant changed; QVariant silent; };
Q_DECLARE_METATYPE(SetterRow)

class TstTEBase : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestEffectBase::registerClass(); }

    // Per kind: a change within the tolerance stores and signals nothing, a real one signals
    // both paramsChanged and the property's own signal; with signals off it stores silently.
    void settersStoreRealChangesOnly_data()
    {
        QTest::addColumn<SetterRow>("row");
        QTest::newRow("float") << SetterRow{"amount", 0.5f + 1e-7f, 0.6f, 0.7f};
        QTest::newRow("point") << SetterRow{"center", QPointF(0.5 + 1e-7, 0.5), QPointF(0.5, 0.6), QPointF(0.1, 0.1)};
        QTest::newRow("string") << SetterRow{"label", "none", "a", "b"};
        QTest::newRow("bool") << SetterRow{"enabled", true, false, true};
        QTest::newRow("int") << SetterRow{"count", 1, 2, 3};
        QTest::newRow("uint") << SetterRow{"seed", 7u, 8u, 9u};
        QTest::newRow("enum") << SetterRow{"mode", QVariant::fromValue(TestEffectBase::Soft),
                QVariant::fromValue(TestEffectBase::Hard), QVariant::fromValue(TestEffectBase::Linear)};
    }
    void settersStoreRealChangesOnly()
    {
        QFETCH(SetterRow, row);
        const auto& [key, nearlySame, changed, silent] = row;
        TestEffectBase effect;
        const QVariant before = effect.params().value(key);
        QSignalSpy all(&effect, &TEBase::paramsChanged);
        const QMetaProperty prop = effect.metaObject()->property(effect.metaObject()->indexOfProperty(key));
        QSignalSpy own(&effect, QByteArray("2") + prop.notifySignal().methodSignature());
        QVERIFY(own.isValid());
        effect.setProperty(key, nearlySame);
        QCOMPARE(effect.params().value(key), before);
        QCOMPARE(all.count() + own.count(), 0);
        effect.setProperty(key, changed);
        QCOMPARE(all.count(), 1);
        QCOMPARE(own.count(), 1);
        QCOMPARE(effect.property(key), changed);
        effect.setEmitParamChangeSignals(false);
        effect.setProperty(key, silent);
        QCOMPARE(effect.property(key), silent);
        QCOMPARE(all.count() + own.count(), 2);
    }

    void setParamsWritesWhatItCanAndResetRestoresDefaults()
    {
        TestEffectBase effect;
        const QVariantMap defaults = effect.params();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("setParams\\(\\) - key does not exists: \"nosuch\""));
        // Values the properties cannot take are warned about and leave their parameter.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot set property count"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("refused .* mode .*not a value of Mode"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("refused .* seed .*non-finite"));
        effect.setParams({{"amount", 0.25}, {"nosuch", 1}, {"className", "Other"}, {"uid", 5},
                          {"count", QVariantMap{{"a", 1}}}, {"mode", 9}, {"seed", qInf()}, {"label", "kept"}});
        QCOMPARE(effect.amount(), 0.25f);
        QCOMPARE(effect.label(), QStringLiteral("kept"));
        QCOMPARE(effect.className(), QString(TestEffectBase::kClassName));
        QCOMPARE(effect.count(), 1);
        QCOMPARE(effect.mode(), TestEffectBase::Soft);
        QCOMPARE(effect.seed(), 7u);
        effect.setCount(4);
        effect.resetParams();
        QCOMPARE(effect.params(), defaults);
    }

    void presetsConvertAndFill_data()
    {
        QTest::addColumn<QVariantMap>("preset");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QVariantMap>("expected"); // entries of the result checked
        const QString cls = TestEffectBase::kClassName;
        QTest::newRow("1.0: renamed, then doubled")
            << QVariantMap{{"className", cls}, {"version", 100}, {"strength", 0.25}, {"count", 3}} << QString()
            << QVariantMap{{"amount", 0.25}, {"count", 6}, {"label", "none"}};
        QTest::newRow("1.2: the later range wins")
            << QVariantMap{{"className", cls}, {"version", 102}, {"count", 3}} << QString()
            << QVariantMap{{"count", 3}, {"label", "from 1.2"}};
        QTest::newRow("current: missing keys default, extras dropped, viewer kept")
            << QVariantMap{{"className", cls}, {"version", 103}, {"seed", 9u}, {"extra", 1}, {"viewer", 5u}}
            << QString() << QVariantMap{{"seed", 9u}, {"amount", 0.5f}, {"viewer", 42u}, {"extra", QVariant()}};
        QTest::newRow("0.x: conversion fails") << QVariantMap{{"className", cls}, {"version", 50}} << "Preset Invalid"
                                               << QVariantMap();
        QTest::newRow("another class") << QVariantMap{{"className", "Other"}, {"version", 103}}
                                       << "The preset is not for this teffect!!!" << QVariantMap();
    }
    void presetsConvertAndFill()
    {
        QFETCH(QVariantMap, preset);
        QFETCH(QString, error);
        QFETCH(QVariantMap, expected);
        TestEffectBase effect;
        effect.setViewer(42);
        QVariantMap params{{"untouched", true}};
        QCOMPARE(effect.presetToParams(preset, params), error);
        if (!error.isEmpty()) {
            QCOMPARE(params, (QVariantMap{{"untouched", true}}));
            return;
        }
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QVERIFY2(params.value(it.key()) == it.value(), qPrintable(it.key()));
    }

    // The worker tells exactly which groups an edit touched, and refuses another object's state.
    void workerDetectsChangedGroups()
    {
        TestEffectBase effect;
        std::unique_ptr<TEBaseWorker> made(TEFactory::createWorker(TestEffectBase::kClassName, effect.uid(), 0));
        auto* worker = qobject_cast<TestEffectBaseWorker*>(made.get());
        QVERIFY(worker);
        QVERIFY(worker->setStateData(effect.stateData()));
        const QStringList shape{"amount", "count"};
        QVERIFY(worker->isPmValueChanged(shape));
        QVERIFY(worker->isPmValueChanged("label"));
        worker->clearParamsChanges();
        QVERIFY(!worker->isPmValueChanged(shape));
        QVERIFY(!worker->isPmValueChanged("label"));
        QVERIFY(worker->isPmDefaultValue(shape));
        effect.setCount(5);
        QVERIFY(worker->setStateData(effect.stateData()));
        QVERIFY(worker->isPmValueChanged(shape));
        QVERIFY(!worker->isPmValueChanged("label"));
        QVERIFY(!worker->isPmDefaultValue(shape));
        TestEffectBase other;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Worker Uid mismatch with stateData"));
        QVERIFY(!worker->setStateData(other.stateData()));
        QCOMPARE(worker->paramValue("count").toInt(), 5);
    }

    void registryKeepsFirstAndPartitions()
    {
        QVERIFY(!TEFactory::registerClass(TestEffectBase::kClassName, [](TEBase*) { return nullptr; }, nullptr));
        std::unique_ptr<TEBase> made(TEFactory::create(TestEffectBase::kClassName, nullptr));
        QVERIFY(qobject_cast<TestEffectBase*>(made.get()));
        QCOMPARE(TEFactory::info(TestEffectBase::kClassName).value("category").toString(), QStringLiteral("test"));
        QVERIFY(!TEFactory::create("NoSuchEffect", nullptr));
        QVERIFY(!TEFactory::createWorker("NoSuchEffect", 1, 0));
        QVERIFY(TEFactory::registerClass("AnUnflaggedClass", nullptr, nullptr));
        const QStringList flagged = TEFactory::classNames(true);
        const QStringList unflagged = TEFactory::classNames(false);
        QVERIFY(flagged.contains(TestEffectBase::kClassName) && unflagged.contains("AnUnflaggedClass"));
        for (const QString& name : flagged)
            QVERIFY(!unflagged.contains(name));
    }

    // Registration on this thread while another creates workers: both stay intact.
    void registryUnderConcurrentUse()
    {
        std::atomic<int> made{0};
        std::thread creator([&] {
            for (int i = 0; i < 5000; ++i) {
                std::unique_ptr<TEBaseWorker> w(TEFactory::createWorker(TestEffectBase::kClassName, 0, 0));
                made += w ? 1 : 0;
            }
        });
        for (int i = 0; i < 2000; ++i)
            TEFactory::registerClass(QStringLiteral("Concurrent%1").arg(i), nullptr, nullptr);
        creator.join();
        QCOMPARE(made.load(), 5000);
        QVERIFY(TEFactory::classNames(false).contains("Concurrent1999"));
    }

    void parentChangesReachTheHook()
    {
        QObject holder;
        TestEffectBase effect;
        effect.setParent(&holder);
        QCOMPARE(effect.parentChanges, 1);
        effect.setParent(nullptr);
        QTRY_COMPARE(effect.parentChanges, 2);
        qmlRegisterType<TestEffectBase>("KorvaneTest", 1, 0, "TestEffectBase");
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData("import QtQuick 2.0\nimport KorvaneTest 1.0\nItem { TestEffectBase { objectName: \"e\" } }",
                          QUrl());
        std::unique_ptr<QObject> item(component.create());
        QVERIFY2(item, qPrintable(component.errorString()));
        auto* fromQml = item->findChild<TestEffectBase*>("e");
        QVERIFY(fromQml);
        QCOMPARE(fromQml->parent(), item.get());
        QVERIFY(fromQml->parentChanges >= 1);
    }
};

// Run in a process of its own: no enum value exists before the preset is read.
class TstEffectPresetJson : public QObject
{
    Q_OBJECT
private slots:
    void aJsonPresetOfAnOlderVersionApplies()
    {
        TestEffectBase::registerClass();
        const QVariantMap preset = TJson::stringToQMap(QStringLiteral(
            R"({"className": "TestEffectBase", "version": 100, "strength": 0.75, "count": 2, "seed": 11,)"
            R"( "mode": {"TNode::SelType": 2}, "blend": {"TNode::BlendMode": 3}, "center": {"x": 0.25, "y": 0.5}})"));
        QCOMPARE(preset.value("blend").userType(), qMetaTypeId<TNode::BlendMode>());
        TestEffectBase effect;
        QVariantMap params;
        QCOMPARE(effect.presetToParams(preset, params), QString());
        effect.setParams(params);
        QCOMPARE(effect.amount(), 0.75f);
        QCOMPARE(effect.count(), 4);
        QCOMPARE(effect.seed(), 11u);
        QCOMPARE(effect.mode(), TestEffectBase::Linear);
        QCOMPARE(effect.blend(), TNode::BlendMode(3));
        QCOMPARE(effect.center(), QPointF(0.25, 0.5));
        // Plain numbers reach enum properties too.
        effect.setParams({{"mode", 1.0}});
        QCOMPARE(effect.mode(), TestEffectBase::Hard);
    }
};

KORVANE_TEST_CASE(TstTEBase)
KORVANE_ISOLATED_TEST_CASE(TstEffectPresetJson)
#include "tst_tebase.moc"
