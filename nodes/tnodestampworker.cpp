#include "nodes/tnodestampworker.h"

TNodeStampWorker::TNodeStampWorker(unsigned int uid, unsigned int parentUid)
    : TNodeWorker(uid, parentUid)
{
}

TNodeStampWorker::~TNodeStampWorker() = default;
