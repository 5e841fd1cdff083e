#include "effects/tebaseworker.h"

QMap<unsigned int, TEBaseWorker*> TEBaseWorker::s_workers;
QMutex TEBaseWorker::s_mutex;

TEBaseWorker::TEBaseWorker(unsigned int uid, unsigned int parentUid)
    : QObject(ptr(parentUid))
    , m_uid(uid)
{
    QMutexLocker lock(&s_mutex);
    if (uid != 0 && !s_workers.contains(uid))
        s_workers.insert(uid, this);
}

TEBaseWorker::~TEBaseWorker()
{
    QMutexLocker lock(&s_mutex);
    auto it = s_workers.find(m_uid);
    if (it != s_workers.end() && it.value() == this)
        s_workers.erase(it);
}

TEBaseWorker* TEBaseWorker::ptr(unsigned int uid)
{
    QMutexLocker lock(&s_mutex);
    return s_workers.value(uid, nullptr);
}

void TEBaseWorker::clear()
{
    for (;;) {
        TEBaseWorker* worker = nullptr;
        {
            QMutexLocker lock(&s_mutex);
            if (s_workers.isEmpty())
                return;
            worker = s_workers.first();
            // Top-level first, so Qt deletes each subtree once.
            while (auto* p = qobject_cast<TEBaseWorker*>(worker->parent()))
                worker = p;
        }
        delete worker;
    }
}
