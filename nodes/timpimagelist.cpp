#include "nodes/timpimagelist.h"

#include "engine/tcmd_params.h"
#include "engine/timpserver.h"

TImpImageList::TImpImageList(TImproc* parent, unsigned int uid)
    : TNode(parent, uid)
{
    m_params.insert(QStringLiteral("imageUrl"), QUrl());
    m_params.insert(QStringLiteral("count"), 0);
    m_params.insert(QStringLiteral("index"), -1);
    finalizeTNodeClass(QStringLiteral("TImpImageList"));
}

void TImpImageList::sendToWorker(const QString& key, const QVariant& value)
{
    m_params.insert(key, value);
    TImpServer::enqueueReq(new TCmd_Params(unsigned(this->uid()), {{key, value}}, false, false, true));
}

void TImpImageList::setImageUrl(const QUrl& url)
{
    if (url == imageUrl())
        return;
    sendToWorker(QStringLiteral("imageUrl"), url);
    emit imageUrlChanged(url);
}

void TImpImageList::setIndex(int index)
{
    if (index == this->index())
        return;
    sendToWorker(QStringLiteral("index"), index);
    emit indexChanged(index);
}

void TImpImageList::setCount(int count)
{
    if (count == this->count())
        return;
    m_params.insert(QStringLiteral("count"), count);
    emit countChanged(count);
}

void TImpImageList::reportIndex(int index)
{
    if (index == this->index())
        return;
    m_params.insert(QStringLiteral("index"), index);
    emit indexChanged(index);
}

void TImpImageList::next()
{
    if (bCanNext())
        setIndex(index() + 1);
}

void TImpImageList::prev()
{
    if (index() >= 1)
        setIndex(index() - 1);
}
