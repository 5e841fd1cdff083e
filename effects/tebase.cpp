#include "effects/tebase.h"

#include "effects/effectslogging.h"
#include "engine/tpropertywriter.h"

#include <QCoreApplication>
#include <QChildEvent>
#include <QMetaProperty>

const QString TEBase::kParams = QStringLiteral("params");
const QString TEBase::kClassName = QStringLiteral("className");
const QString TEBase::kVersion = QStringLiteral("version");

QMap<uint, TEBase*> TEBase::s_ptrMap;
QMap<QString, QList<TEBase::ConvertorData>> TEBase::s_presetConvertors;
QMutex TEBase::s_mutex;

namespace {
const QString kUid = QStringLiteral("uid");
const QString kDefaultParams = QStringLiteral("defaultParams");
} // namespace

// QObject::setParent cannot be overridden and plain QObjects get no event of their own when
// it is called (from QML, or through a QObject pointer). Their old and new parents do get
// child events, which an application-wide filter sees: an effect moved to a new parent is
// told at once; one detached from its parent is told once the event loop runs, unless a new
// parent took it meanwhile.
class TEBaseParentWatcher : public QObject
{
public:
    static void ensureInstalled()
    {
        static TEBaseParentWatcher* watcher = nullptr;
        if (watcher || !QCoreApplication::instance())
            return;
        watcher = new TEBaseParentWatcher;
        watcher->moveToThread(QCoreApplication::instance()->thread());
        watcher->setParent(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(watcher);
    }

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() != QEvent::ChildAdded && e->type() != QEvent::ChildRemoved)
            return false;
        // During construction and destruction the cast fails: neither is a parent change.
        auto* base = qobject_cast<TEBase*>(static_cast<QChildEvent*>(e)->child());
        if (!base)
            return false;
        const quint64 serial = ++base->m_parentChanges;
        if (e->type() == QEvent::ChildAdded) {
            base->onParentChanged();
        } else {
            QMetaObject::invokeMethod(base, [base, serial] {
                if (base->m_parentChanges == serial && !base->parent())
                    base->onParentChanged();
            }, Qt::QueuedConnection);
        }
        return false;
    }
};

TEBase::TEBase(QObject* parent)
    : QObject(parent)
    , m_persistKeys{kUid, kParams}
{
    m_stateData.insert(kUid, uid());
    m_stateData.insert(kParams, QVariantMap());
    m_stateData.insert(kDefaultParams, QVariantMap());
    TEBaseParentWatcher::ensureInstalled();
    QMutexLocker lock(&s_mutex);
    s_ptrMap.insert(uid(), this);
}

void TEBase::componentComplete()
{
    if (parent())
        onParentChanged();
}

TEBase::~TEBase()
{
    QMutexLocker lock(&s_mutex);
    auto it = s_ptrMap.find(uid());
    if (it != s_ptrMap.end() && it.value() == this)
        s_ptrMap.erase(it);
}

int TEBase::liveCount()
{
    QMutexLocker lock(&s_mutex);
    return s_ptrMap.size();
}

QString TEBase::className(const QVariantMap& stateData)
{
    return stateData.value(kParams).toMap().value(kClassName).toString();
}

uint TEBase::uid(const QVariantMap& stateData)
{
    return stateData.value(kUid).toUInt();
}

TEBase* TEBase::ptr(uint uid)
{
    QMutexLocker lock(&s_mutex);
    return s_ptrMap.value(uid, nullptr);
}

void TEBase::storeParam(const QString& key, const QVariant& value)
{
    QVariantMap p = params();
    p.insert(key, value);
    m_stateData.insert(kParams, p);
}

void TEBase::finalizeConstructor(const QString& className, int version)
{
    registerParam(kClassName, className, true);
    registerParam(kVersion, version, true);
    if (m_stateData.value(kDefaultParams).toMap() != m_defaultParams)
        m_stateData.insert(kDefaultParams, m_defaultParams);
}

QVariant TEBase::defaultValue(const QString& paramKey) const
{
    if (!m_defaultParams.contains(paramKey)) {
        qCWarning(lcEffects) << "Default parameter does not exist for: " << paramKey;
        return QVariant();
    }
    return m_defaultParams.value(paramKey);
}

bool TEBase::setParams(const QVariantMap& params)
{
    const QMetaObject* mo = metaObject();
    for (auto it = params.cbegin(); it != params.cend(); ++it) {
        const int index = mo->indexOfProperty(it.key().toLatin1().constData());
        if (index < 0) {
            qCWarning(lcEffects) << "setParams() - key does not exists:" << it.key();
            continue;
        }
        const QMetaProperty prop = mo->property(index);
        if (prop.isWritable())
            TPropertyWriter::write(this, prop, it.value());
    }
    return true;
}

bool TEBase::setStateData(const QVariantMap& stateData)
{
    for (auto it = stateData.cbegin(); it != stateData.cend(); ++it) {
        if (it.key() == kParams)
            setParams(it.value().toMap());
        else if (m_stateData.contains(it.key()))
            m_stateData.insert(it.key(), it.value());
    }
    return true;
}

void TEBase::resetParams(const QStringList& keyList)
{
    const QStringList keys = keyList.isEmpty() ? QStringList(m_defaultParams.keys()) : keyList;
    const QMetaObject* mo = metaObject();
    for (const QString& key : keys) {
        const int index = mo->indexOfProperty(key.toLatin1().constData());
        if (index >= 0 && m_defaultParams.contains(key) && mo->property(index).isWritable())
            TPropertyWriter::write(this, mo->property(index), m_defaultParams.value(key));
    }
}

void TEBase::addPresetConvertor(int fromVersion, int toVersion, PresetConvertor convertor) const
{
    QMutexLocker lock(&s_mutex);
    QList<ConvertorData>& list = s_presetConvertors[className()];
    for (const ConvertorData& c : qAsConst(list)) {
        if (c.fromVersion == fromVersion && c.toVersion == toVersion && c.convertor == convertor)
            return;
    }
    qCDebug(lcEffects) << "adding preset convertor: " << className() << fromVersion << toVersion
                       << reinterpret_cast<const void*>(convertor);
    list.append({fromVersion, toVersion, convertor});
}

TEBase::PresetConvertor TEBase::getPresetConvertor(int version, int& resultVersion) const
{
    resultVersion = version;
    QMutexLocker lock(&s_mutex);
    auto list = s_presetConvertors.constFind(className());
    if (list == s_presetConvertors.cend())
        return nullptr;
    // The latest registration holding the version wins.
    for (auto it = list->crbegin(); it != list->crend(); ++it) {
        if (it->fromVersion <= version && version < it->toVersion) {
            resultVersion = it->toVersion;
            return it->convertor;
        }
    }
    return nullptr;
}

QString TEBase::presetToParams(const QVariantMap& preset, QVariantMap& params)
{
    QVariantMap p = preset;
    if (p.value(kClassName).toString() != className()) {
        qCWarning(lcEffects) << "Incompetible class: preset: " << p.value(kClassName).toString()
                             << "this tebase: " << className() << version();
        return QCoreApplication::translate("TEBase", "The preset is not for this teffect!!!");
    }
    int v = p.value(kVersion).toInt();
    int from = v;
    while (PresetConvertor convert = getPresetConvertor(from, v)) {
        p = convert(p);
        if (p.isEmpty()) {
            qCWarning(lcEffects) << "ERROR!!! - convertor failed: " << className() << from << v
                                 << reinterpret_cast<const void*>(convert);
            return QStringLiteral("Preset Invalid");
        }
        from = v;
    }
    if (v != version())
        qCWarning(lcEffects) << "versin not match " << v << version();
    QVariantMap result = m_defaultParams;
    for (auto it = p.cbegin(); it != p.cend(); ++it) {
        if (result.contains(it.key()))
            result.insert(it.key(), it.value());
        else
            qCWarning(lcEffects) << "Warning!!! - preset invalid keys: " << it.key() << it.value();
    }
    const QVariantMap current = this->params();
    for (const QString& key : qAsConst(m_nonPresetKeys)) {
        if (current.contains(key) && result.contains(key))
            result.insert(key, current.value(key));
    }
    params = result;
    return QString();
}
