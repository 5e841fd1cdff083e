#include "engine/timprocworker.h"
#include "engine/enginelogging.h"

#include "engine/tfboviewprovider.h"
#include "engine/timproc.h"
#include "engine/timpserver.h"
#include "engine/timpserverthread.h"
#include "gpu/tuid.h"

#include <QThread>

QMap<unsigned int, TImprocWorker*> TImprocWorker::s_workers_p;
QMutex TImprocWorker::s_mutex;

TImprocWorker::TImprocWorker(unsigned int uid, unsigned int parentUid)
    : QObject(ptr(parentUid))
    , m_uid(uid)
{
    {
        QMutexLocker lock(&s_mutex);
        if (uid != 0 && !s_workers_p.contains(uid))
            s_workers_p.insert(uid, this);
    }

    if (TImprocWorker* parentWorker = parent())
        connect(this, &TImprocWorker::updateReq, parentWorker, &TImprocWorker::updateReq, Qt::DirectConnection);

    // The GUI thread is blocked in the creating call, so reading the twin's map here is safe.
    if (TImproc* twin = TImproc::ptr(uid)) {
        connect(this, &TImprocWorker::errorMessage, twin, &TImproc::errorMessage, Qt::QueuedConnection);
        m_params = twin->params();
        clearParamsChange(QString());
    }

    if (TFboViewProvider* provider = TImpServerThread::fboViewProvider())
        connect(this, &TImprocWorker::outputFbo, provider, &TFboViewProvider::procOutputFbo, Qt::DirectConnection);
}

TImprocWorker::~TImprocWorker()
{
    QMutexLocker lock(&s_mutex);
    removeFromMapLocked(m_uid, this);
}

TImprocWorker* TImprocWorker::parent() const
{
    return qobject_cast<TImprocWorker*>(QObject::parent());
}

void TImprocWorker::setParams(const QVariantMap& params)
{
    for (auto it = params.cbegin(); it != params.cend(); ++it) {
        auto own = m_params.find(it.key());
        if (own != m_params.end() && own.value() != it.value()) {
            own.value() = it.value();
            m_paramsKeyValid = false;
        }
    }
}

void TImprocWorker::defineParams(const QVariantMap& params)
{
    m_params = params;
    m_paramsKeyValid = false;
}

unsigned int TImprocWorker::paramsKey() const
{
    if (!m_paramsKeyValid) {
        m_paramsKey = TUid::hash(QVariant(m_params));
        m_paramsKeyValid = true;
    }
    return m_paramsKey;
}

bool TImprocWorker::setParamValue(const QString& key, double v)
{
    auto it = m_params.constFind(key);
    if (it != m_params.cend() && TImproc::floatValuesEqual(it.value().toFloat(), float(v)))
        return false;
    m_params.insert(key, v);
    m_paramsKeyValid = false;
    return true;
}

bool TImprocWorker::setParamValue(const QString& key, float v)
{
    auto it = m_params.constFind(key);
    if (it != m_params.cend() && TImproc::floatValuesEqual(it.value().toFloat(), v))
        return false;
    m_params.insert(key, v);
    m_paramsKeyValid = false;
    return true;
}

bool TImprocWorker::isPmValueChanged(const QString& key) const
{
    auto snap = m_paramsSnapshot.constFind(key);
    return snap != m_paramsSnapshot.cend() && snap.value() != m_params.value(key);
}

bool TImprocWorker::isPmValueChanged(const QStringList& keys) const
{
    for (const QString& key : keys) {
        if (isPmValueChanged(key))
            return true;
    }
    return false;
}

void TImprocWorker::clearParamsChange(const QString& key)
{
    if (key.isEmpty()) {
        m_paramsSnapshot = m_params;
        return;
    }
    auto it = m_params.constFind(key);
    if (it != m_params.cend())
        m_paramsSnapshot.insert(key, it.value());
}

int TImprocWorker::nodeType() const
{
    return m_params.value(QStringLiteral("inputType")).toInt();
}

void TImprocWorker::emitUpdateReq(TImprocWorker* which, QString reqTag, QString fboId)
{
    emit updateReq(which, reqTag, fboId);
}

QOpenGLFunctions_3_3_Core* TImprocWorker::funcs() const
{
    return TImpServer::glFuncs();
}

void TImprocWorker::playNice()
{
    if (QOpenGLFunctions_3_3_Core* f = funcs())
        f->glFinish();
    QThread::yieldCurrentThread();
}

void TImprocWorker::appendDrawCmds(const QList<TDrawPoint>& points)
{
    QMutexLocker lock(&m_drawMutex);
    for (const TDrawPoint& p : points)
        m_drawCmds[p.which].append(p);
}

QList<TDrawPoint> TImprocWorker::drawCmds(const QString& which) const
{
    QMutexLocker lock(&m_drawMutex);
    return m_drawCmds.value(which);
}

QList<TDrawPoint> TImprocWorker::takeDrawCmds(const QString& which)
{
    QMutexLocker lock(&m_drawMutex);
    return m_drawCmds.take(which);
}

void TImprocWorker::resetDrawCmds(const QString& which, const QList<TDrawPoint>& points)
{
    QMutexLocker lock(&m_drawMutex);
    m_drawCmds.insert(which, points);
}

TImprocWorker* TImprocWorker::ptr(unsigned int uid)
{
    QMutexLocker lock(&s_mutex);
    return s_workers_p.value(uid, nullptr);
}

void TImprocWorker::insertWorker(unsigned int uid, TImprocWorker* worker)
{
    if (uid == 0 || !worker)
        return;
    QMutexLocker lock(&s_mutex);
    if (s_workers_p.contains(uid)) {
        qCWarning(lcEngine) << "ERROR!!! - TImprocWorker::insertWorker - try to insert worker multiple times!!!";
        return;
    }
    s_workers_p.insert(uid, worker);
}

void TImprocWorker::removeFromMapLocked(unsigned int uid, TImprocWorker* worker)
{
    // Only the registered object may remove its entry: a rejected duplicate must not
    // unregister the worker that holds the id.
    auto it = s_workers_p.find(uid);
    if (it != s_workers_p.end() && it.value() == worker)
        s_workers_p.erase(it);
}

void TImprocWorker::removeWorkerChildrenFromMap(TImprocWorker* worker)
{
    removeFromMapLocked(worker->uid(), worker);
    for (QObject* child : worker->children()) {
        if (auto* childWorker = qobject_cast<TImprocWorker*>(child))
            removeWorkerChildrenFromMap(childWorker);
    }
}

void TImprocWorker::clearWorkers()
{
    for (;;) {
        TImprocWorker* worker = nullptr;
        {
            QMutexLocker lock(&s_mutex);
            if (s_workers_p.isEmpty())
                return;
            worker = s_workers_p.first();
            removeWorkerChildrenFromMap(worker);
        }
        delete worker;
    }
}

int TImprocWorker::liveCount()
{
    QMutexLocker lock(&s_mutex);
    return s_workers_p.size();
}

bool TImprocWorker::saveStandalone(const QUrl&, const QVariantMap&)
{
    return false;
}
