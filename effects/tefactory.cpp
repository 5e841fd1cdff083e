#include "effects/tefactory.h"

#include "effects/effectslogging.h"

QMap<QString, TEFactory::Info> TEFactory::s_infos;
QReadWriteLock TEFactory::s_lock;
int TEFactory::m_count = 0;

TEFactory::TEFactory()
{
    QWriteLocker lock(&s_lock);
    ++m_count;
}

TEFactory::~TEFactory()
{
    QWriteLocker lock(&s_lock);
    if (--m_count == 0)
        s_infos.clear();
}

bool TEFactory::registerClass(const QString& className, CreateFunction create, CreateWorkerFunction createWorker,
                              const QVariantMap& info, bool flag)
{
    QWriteLocker lock(&s_lock);
    if (s_infos.contains(className)) {
        qCDebug(lcEffects) << "TEFactory: already registered, the first registration stays:" << className;
        return false;
    }
    s_infos.insert(className, Info{std::move(create), std::move(createWorker), flag, info});
    return true;
}

TEFactory::Info TEFactory::find(const QString& className)
{
    QReadLocker lock(&s_lock);
    return s_infos.value(className);
}

TEBase* TEFactory::create(const QString& className, TEBase* parent)
{
    const Info entry = find(className);
    return entry.create ? entry.create(parent) : nullptr;
}

TEBaseWorker* TEFactory::createWorker(const QString& className, uint uid, uint parentUid)
{
    const Info entry = find(className);
    return entry.createWorker ? entry.createWorker(className, uid, parentUid) : nullptr;
}

QStringList TEFactory::classNames(bool flag)
{
    QReadLocker lock(&s_lock);
    QStringList names;
    for (auto it = s_infos.cbegin(); it != s_infos.cend(); ++it) {
        if (it.value().flag == flag)
            names << it.key();
    }
    return names;
}

QVariantMap TEFactory::info(const QString& className)
{
    return find(className).info;
}
