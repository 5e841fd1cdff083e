#pragma once
// Thread: registration on any thread when the library loads, before the first worker exists;
//         every other call on the render thread.
// Owns: nothing; the workers it creates belong to their parent worker (or to the family's
//       registry when they have none) and `deleteAll` frees them.
// Errors: an unknown class name creates nothing (null); unknown ids find nothing (null).

#include <QString>

class QObject;

// A family of render-thread workers (layer nodes, effects) made by class name. The render
// thread creates, finds and frees them through this interface, so it never names the
// classes of the layers above it; each family registers its factory with the thread.
class TWorkerFactory
{
public:
    virtual ~TWorkerFactory() = default;

    virtual QObject* createWorker(const QString& className, unsigned int uid, unsigned int parentUid) = 0;
    virtual QObject* worker(unsigned int uid) const = 0;
    // Deletes every live worker of the family (at shutdown, with the context current).
    virtual void deleteAll() = 0;
};
