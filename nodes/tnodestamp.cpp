#include "nodes/tnodestamp.h"

#include "nodes/commands/stamp_cmd.h"

TNodeStamp::TNodeStamp(TImproc* parent, unsigned int uid)
    : TNode(parent, uid)
{
    m_params.insert(QStringLiteral("inputType"), QVariant::fromValue(TImproc::STAMPFULL));
    enqueueAParam(QStringLiteral("inputType"), QVariant::fromValue(TImproc::STAMPFULL));
}

void TNodeStamp::restamp()
{
    enqueueReq(new Stamp_Cmd(unsigned(uid())));
}
