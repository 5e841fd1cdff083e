#include "engine/tnodemodel.h"

#include <atomic>

namespace {
std::atomic<TNodeModel*> s_model{nullptr};
}

TNodeModel* TNodeModel::instance()
{
    return s_model.load();
}

void TNodeModel::install(TNodeModel* model)
{
    s_model.store(model);
}
