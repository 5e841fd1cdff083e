#include "effects/tebaseworker.h"

#include "effects/effectslogging.h"
#include "engine/tdrawtexturebase.h"
#include "engine/timpserver.h"
#include "engine/timpserverthread.h"
#include "gpu/tsfbo.h"
#include "gpu/tuid.h"

QMap<unsigned int, TEBaseWorker*> TEBaseWorker::s_ptrMap;
QMutex TEBaseWorker::s_mutex;

TEBaseWorker::TEBaseWorker(const QString& className, unsigned int uid, unsigned int parentUid)
    : QObject(parentUid ? ptr(parentUid) : nullptr)
    , m_className(className)
    , m_uid(uid)
    , m_updateData{{QStringLiteral("errorMessage"), QString()}}
{
    QMutexLocker lock(&s_mutex);
    if (uid != 0 && !s_ptrMap.contains(uid))
        s_ptrMap.insert(uid, this);
}

TEBaseWorker::~TEBaseWorker()
{
    QMutexLocker lock(&s_mutex);
    auto it = s_ptrMap.find(m_uid);
    if (it != s_ptrMap.end() && it.value() == this)
        s_ptrMap.erase(it);
}

TEBaseWorker* TEBaseWorker::ptr(unsigned int uid)
{
    QMutexLocker lock(&s_mutex);
    return s_ptrMap.value(uid, nullptr);
}

int TEBaseWorker::liveCount()
{
    QMutexLocker lock(&s_mutex);
    return s_ptrMap.size();
}

void TEBaseWorker::clear()
{
    for (;;) {
        TEBaseWorker* worker = nullptr;
        {
            QMutexLocker lock(&s_mutex);
            if (s_ptrMap.isEmpty())
                return;
            worker = s_ptrMap.first();
            // Top-level first, so Qt deletes each subtree once.
            while (auto* p = qobject_cast<TEBaseWorker*>(worker->parent()))
                worker = p;
        }
        delete worker;
    }
}

bool TEBaseWorker::setStateData(const QVariantMap& stateData)
{
    if (stateData.value(QStringLiteral("uid")).toUInt() != m_uid) {
        qCWarning(lcEffects) << "ERROR!!! Worker Uid mismatch with stateData" << m_className << m_uid;
        return false;
    }
    m_stateData = stateData;
    return true;
}

uint TEBaseWorker::stateUid() const
{
    return TUid::hash(QStringList(), m_stateData, 0);
}

uint TEBaseWorker::paramUid(const QStringList& keys, uint seed) const
{
    return TUid::hash(keys, params(), seed);
}

bool TEBaseWorker::isPmValueChanged(const QStringList& keys, uint* hash)
{
    const QString group = keys.join(QString());
    const uint h = paramUid(keys, 1);
    m_currentParamHashes.insert(group, h);
    if (hash)
        *hash = h;
    auto last = m_lastParamHashes.constFind(group);
    return last == m_lastParamHashes.cend() || last.value() != h;
}

bool TEBaseWorker::isPmValueChanged(const QString& key, uint* hash)
{
    return isPmValueChanged(QStringList{key}, hash);
}

void TEBaseWorker::clearParamsChanges()
{
    for (auto it = m_currentParamHashes.cbegin(); it != m_currentParamHashes.cend(); ++it)
        m_lastParamHashes.insert(it.key(), it.value());
}

bool TEBaseWorker::isPmDefaultValue(const QStringList& keys) const
{
    const QVariantMap defaults = defaultParams();
    const QVariantMap current = params();
    for (const QString& key : keys) {
        auto d = defaults.constFind(key);
        if (d != defaults.cend() && current.value(key) != d.value())
            return false;
    }
    return true;
}

void TEBaseWorker::drawToTGLImageView(const TSFbo& image, const QString& stateKey) const
{
    const uint viewer = m_stateData.value(stateKey).toUInt();
    if (!image.isEmpty() && viewer != 0)
        TDrawTextureBase::drawToTGLImageView(image, viewer);
}

QString TEBaseWorker::glGpuRenderer()
{
    TImpServerThread* thread = TImpServer::impThread();
    return thread ? thread->gpuRenderer() : QString();
}

int TEBaseWorker::glMaxTextureSize()
{
    TImpServerThread* thread = TImpServer::impThread();
    return thread ? thread->glMaxTextureSize() : 0;
}

int TEBaseWorker::glRAMSizeKB()
{
    TImpServerThread* thread = TImpServer::impThread();
    return thread ? thread->glRAMSizeKB() : 0;
}

QOpenGLFunctions_3_3_Core* TEBaseWorker::funcs()
{
    TImpServerThread* thread = TImpServer::impThread();
    return thread ? thread->funcs() : nullptr;
}
