#pragma once
// Thread: any. Registration usually happens on the GUI thread before effects exist, but
//         the render thread creates workers while the host may still register classes:
//         the registry is under a read-write lock, and the functions run outside it.
// Owns: the class entries (functions and the host's description).
// Errors: unknown names create nothing (null); a second registration of a name is refused.

#include <QReadWriteLock>
#include <QStringList>
#include <QVariantMap>

#include <functional>

class TEBase;
class TEBaseWorker;

// Effect and effect-layer classes by name: the host registers each with the functions making
// its GUI object and its render-thread worker; the library creates both by name.
class TEFactory
{
public:
    using CreateFunction = std::function<TEBase*(TEBase* parent)>;
    using CreateWorkerFunction = std::function<TEBaseWorker*(const QString& className, uint uid, uint parentUid)>;

    struct Info
    {
        CreateFunction create;
        CreateWorkerFunction createWorker;
        // A category of the host's, filtered on by classNames.
        bool flag = false;
        // The host's description of the class; the library never reads it.
        QVariantMap info;
    };

    // Instances only count: the registry empties when the last instance goes.
    TEFactory();
    ~TEFactory();
    TEFactory(const TEFactory&) = delete;
    TEFactory& operator=(const TEFactory&) = delete;

    // False when the name is taken: the first registration stays.
    static bool registerClass(const QString& className, CreateFunction create, CreateWorkerFunction createWorker,
                              const QVariantMap& info = QVariantMap(), bool flag = false);
    static TEBase* create(const QString& className, TEBase* parent);
    static TEBaseWorker* createWorker(const QString& className, uint uid, uint parentUid);
    // Registered names whose flag equals `flag`, in name order.
    static QStringList classNames(bool flag);
    static QVariantMap info(const QString& className);

private:
    static Info find(const QString& className);

    static QMap<QString, Info> s_infos;
    static QReadWriteLock s_lock;
    static int m_count;
};
