#include "engine/trootworker.h"

#include "engine/timprocworker.h"

TRootWorker* TRootWorker::enclosing(TImprocWorker* worker)
{
    for (QObject* o = worker; o; o = o->parent()) {
        if (auto* root = dynamic_cast<TRootWorker*>(o))
            return root;
    }
    return nullptr;
}
