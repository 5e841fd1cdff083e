#include "nodes/tnodeworker.h"

TNodeWorker::TNodeWorker(unsigned int uid, unsigned int parentUid)
    : TImprocWorker(uid, parentUid)
{
}

TNodeWorker::~TNodeWorker() = default;
