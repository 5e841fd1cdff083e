#include "nodes/tnoderoot.h"

#include "engine/tcmd_saveimage.h"
#include "engine/timpserver.h"
#include "engine/timpserverthread.h"
#include "nodes/tnoderootworker.h"

TNodeRoot::TNodeRoot(TImproc* parent, unsigned int uid)
    : TNode(parent, uid)
{
    m_params.insert(QStringLiteral("text"), QStringLiteral("Root Node"));
    m_params.insert(QStringLiteral("version"), 1);
    m_params.insert(QStringLiteral("imageUrl"), QUrl());
    m_params.insert(QStringLiteral("inputScale"), 1.0f);
    m_params.insert(QStringLiteral("inputTranslate"), QPointF(0, 0));
    m_params.insert(QStringLiteral("inputRotate"), 0.0f);
    m_params.insert(QStringLiteral("inputType"), QVariant::fromValue(TImproc::NOINPUT));
    if (TImpServerThread* t = TImpServer::impThread())
        connect(this, &TNodeRoot::inputChanged, t, &TImpServerThread::setRootNodeInput, Qt::BlockingQueuedConnection);
}

TNodeRoot::~TNodeRoot() = default;

TImprocWorker* TNodeRoot::createImproc()
{
    return new TNodeRootWorker(0, 0);
}

void TNodeRoot::apply()
{
    enqueueReq(new TCmd_SaveImage(unsigned(uid()), QUrl(), QVariantMap()));
}
