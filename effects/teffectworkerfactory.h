#pragma once
// Thread: render thread; installs itself with the engine when the library loads.
// Owns: nothing; effect workers belong to their parent worker or to the effect registry.
// Errors: unknown classes create nothing (null).

#include "engine/tworkerfactory.h"

// The render thread's way to make, find and free effect workers without knowing their classes.
class TEffectWorkerFactory : public TWorkerFactory
{
public:
    QObject* createWorker(const QString& className, unsigned int uid, unsigned int parentUid) override;
    QObject* worker(unsigned int uid) const override;
    void deleteAll() override;
};
