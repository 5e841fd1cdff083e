#pragma once
// Thread: render thread (registry lookups from any thread).
// Owns: its child workers.
// Errors: lookups of unknown ids return null.

#include <QMap>
#include <QMutex>
#include <QObject>

// Render-thread twin of an effect object, registered by uid.
class TEBaseWorker : public QObject
{
    Q_OBJECT
public:
    TEBaseWorker(unsigned int uid, unsigned int parentUid);
    ~TEBaseWorker() override;

    unsigned int uid() const { return m_uid; }

    static TEBaseWorker* ptr(unsigned int uid);
    // Deletes every registered effect worker (at shutdown, with the context current).
    static void clear();

private:
    unsigned int m_uid;
    static QMap<unsigned int, TEBaseWorker*> s_workers;
    static QMutex s_mutex;
};
