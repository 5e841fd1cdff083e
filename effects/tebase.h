#pragma once
// Thread: GUI thread (objects are made, edited and destroyed there); ptr() and the preset
//         converter registry may be read from any thread, under the class-wide mutex.
// Owns: its state map; the registries own nothing (they list live objects and functions).
// Errors: unknown keys, keys without defaults and refused presets are warnings with the
//         messages below; a refused preset changes nothing, a refused value leaves its
//         parameter as it was.

#include "gpu/tuid.h"

#include <QMutex>
#include <QObject>
#include <QPointF>
#include <QQmlParserStatus>
#include <QStringList>
#include <QVariantMap>

#include <cmath>
#include <type_traits>

// Base of every effect object QML drives. Parameters are Qt properties whose values live in
// the state map ("uid", "params", "defaultParams", and what subclasses add): that map is what
// travels to the render thread and what presets are made of. Presets saved by older versions
// of a class are brought forward through the converters the class registers.
class TEBase : public QObject, public QQmlParserStatus
{
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    Q_PROPERTY(QString className READ className CONSTANT)
    Q_PROPERTY(int version READ version CONSTANT)
    Q_PROPERTY(uint uid READ uid CONSTANT)
public:
    using PresetConvertor = QVariantMap (*)(const QVariantMap&);
    struct ConvertorData
    {
        int fromVersion;
        int toVersion;
        PresetConvertor convertor;
    };

    explicit TEBase(QObject* parent = nullptr);
    ~TEBase() override;

    QVariantMap params() const { return m_stateData.value(kParams).toMap(); }
    QVariantMap stateData() const { return m_stateData; }
    QString className() const { return params().value(kClassName).toString(); }
    int version() const { return params().value(kVersion).toInt(); }
    uint uid() const { return m_uid.uid(); }
    // The same entries read from any object's state map.
    static QString className(const QVariantMap& stateData);
    static uint uid(const QVariantMap& stateData);

    bool isParamKey(const QString& key) const { return params().contains(key); }
    // Writes each key through its property (and so its setter); keys without a property are
    // warned about, read-only ones skipped. Always true.
    bool setParams(const QVariantMap& params);
    // "params" goes through setParams; other keys overwrite those the state already has.
    virtual bool setStateData(const QVariantMap& stateData);
    QStringList persistStateKeys() const { return m_persistKeys; }

    static TEBase* ptr(uint uid);
    // Effect objects alive in the process.
    static int liveCount();

public slots:
    // An empty list resets every parameter that has a default and a writable property.
    virtual void resetParams(const QStringList& keyList = QStringList());
    QVariant defaultValue(const QString& paramKey) const;

signals:
    void paramsChanged();
    void presetGuidChanged(QString presetGuid);

protected:
    static const QString kParams;
    static const QString kClassName;
    static const QString kVersion;

    static int ver(int major, int minor) { return major * 100 + minor; }
    void lock() { m_mutex.lock(); }
    void unlock() { m_mutex.unlock(); }
    void setEmitParamChangeSignals(bool on) { m_emitParamChangeSignals = on; }
    // A state key that undo entries and saved states keep besides "uid" and "params".
    void addPersistKey(const QString& key)
    {
        if (!m_persistKeys.contains(key))
            m_persistKeys << key;
    }

    template <typename T>
    void registerParam(const QString& key, const T& value, bool inPreset = true);
    virtual void finalizeConstructor(const QString& className, int version);
    // Stores a changed value; true (with paramsChanged) only when it changed and signals are
    // on. Floats and point coordinates equal within 1e-6 are no change.
    template <typename T>
    bool setParam(const QString& key, const T& value);

    void addPresetConvertor(int fromVersion, int toVersion, PresetConvertor convertor) const;
    // Fills `params` from `preset` (converted to this version, defaults for missing keys,
    // current values for keys kept out of presets); empty on success, else the error.
    virtual QString presetToParams(const QVariantMap& preset, QVariantMap& params);

    // Called on every change of the QObject parent, however it was made (QML, setParent);
    // a detach from the parent is reported once the event loop runs.
    virtual void onParentChanged() {}
    // QML sets the parent of the objects a document declares without telling them: the
    // hook runs when the document's object is complete.
    void classBegin() override {}
    void componentComplete() override;

    QVariantMap m_stateData;

private:
    template <typename T>
    static bool sameValue(const QVariant& current, const T& value);
    void storeParam(const QString& key, const QVariant& value);
    PresetConvertor getPresetConvertor(int version, int& resultVersion) const;

    QMutex m_mutex;
    TUid m_uid;
    QVariantMap m_defaultParams;
    QStringList m_nonPresetKeys;
    QStringList m_persistKeys;
    bool m_emitParamChangeSignals = true;
    quint64 m_parentChanges = 0;
    friend class TEBaseParentWatcher;

    static QMap<uint, TEBase*> s_ptrMap;
    static QMap<QString, QList<ConvertorData>> s_presetConvertors;
    static QMutex s_mutex;
};

template <typename T>
bool TEBase::sameValue(const QVariant& current, const T& value)
{
    if (!current.isValid())
        return false;
    if constexpr (std::is_same_v<T, float> || std::is_same_v<T, double>)
        return std::fabs(current.toDouble() - double(value)) <= 1e-6;
    else if constexpr (std::is_same_v<T, QPointF>)
        return std::fabs(current.toPointF().x() - value.x()) <= 1e-6
            && std::fabs(current.toPointF().y() - value.y()) <= 1e-6;
    else if constexpr (std::is_enum_v<T>)
        return current.userType() == qMetaTypeId<T>() ? current.value<T>() == value : current.toInt() == int(value);
    else
        return current == QVariant::fromValue(value);
}

template <typename T>
void TEBase::registerParam(const QString& key, const T& value, bool inPreset)
{
    const QVariant v = QVariant::fromValue(value);
    m_defaultParams.insert(key, v);
    QVariantMap p = params();
    if (p.value(key) != v || !p.contains(key)) {
        p.insert(key, v);
        m_stateData.insert(kParams, p);
    }
    if (!inPreset && !m_nonPresetKeys.contains(key))
        m_nonPresetKeys << key;
}

template <typename T>
bool TEBase::setParam(const QString& key, const T& value)
{
    if (sameValue(params().value(key), value))
        return false;
    storeParam(key, QVariant::fromValue(value));
    if (!m_emitParamChangeSignals)
        return false;
    emit paramsChanged();
    return true;
}
