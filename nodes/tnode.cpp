#include "nodes/tnode.h"
#include "nodes/nodeslogging.h"

#include "nodes/commands/tcmd_createnodewithuid.h"
#include "nodes/commands/tcmd_movenode.h"
#include "engine/tcmd_saveimage.h"
#include "engine/tcmd_undogroup.h"
#include "engine/timpserver.h"
#include "engine/tpropertywriter.h"
#include "engine/timprocworker.h"
#include "engine/timpserverthread.h"
#include "nodes/tnodefactory.h"

#include <cmath>

namespace {
// Known by name from the start, so JSON's wrapped form ("TNode::BlendMode": 3) reads back as
// the enum in any process.
const bool s_enumsRegistered = [] {
    qMetaTypeId<TNode::BlendMode>();
    qMetaTypeId<TNode::SelType>();
    return true;
}();

const QString kChildren = QStringLiteral("_children_");
const QString kClassName = QStringLiteral("className");
} // namespace

TNode::TNode(TImproc* parent, unsigned int uid)
    : TImproc(parent, uid)
{
    m_params.insert(QStringLiteral("serialInput"), true);
    m_params.insert(QStringLiteral("scale"), 1.0f);
    m_params.insert(QStringLiteral("translate"), QPointF(0, 0));
    m_params.insert(QStringLiteral("rotate"), 0.0f);
    m_params.insert(QStringLiteral("opacity"), 1.0f);
    m_params.insert(QStringLiteral("blendMode"), int(BLENDMODE_NORMAL));
    m_params.insert(QStringLiteral("selType"), int(NONE));
    m_params.insert(QStringLiteral("selValueCOLOR"), 0.2f);
    m_params.insert(QStringLiteral("selRangeCOLOR"), 0.4f);
    m_params.insert(QStringLiteral("selValueLUM"), 0.2f);
    m_params.insert(QStringLiteral("selRangeLUM"), 0.4f);
    m_params.insert(QStringLiteral("selValue"), 0.0f);
    m_params.insert(QStringLiteral("selRange"), 0.2f);
    m_params.insert(QStringLiteral("selPosition"), QPointF(0.5, 0.5));
    m_params.insert(QStringLiteral("selSize"), 0.33f);
    m_params.insert(QStringLiteral("selMin"), 0.0f);
    m_params.insert(QStringLiteral("selTransition"), 0.0f);
    m_params.insert(QStringLiteral("selAspect"), 0.0f);
    m_params.insert(QStringLiteral("selRotate"), 0.0f);
    m_params.insert(QStringLiteral("selColorAware"), 0.5f);
    m_params.insert(QStringLiteral("selInvert"), true);

    // Worker requests block the GUI thread until the render thread has answered, so the
    // worker tree is complete before any command for this node can reach it.
    if (TImpServerThread* t = TImpServer::impThread()) {
        connect(this, &TNode::createNodeWorker, t, &TImpServerThread::createNodeWorker, Qt::BlockingQueuedConnection);
        connect(this, &TNode::deleteNodeWorker, t, &TImpServerThread::deleteNodeWorker, Qt::BlockingQueuedConnection);
        connect(this, &TNode::moveChildNodeWorker, t, &TImpServerThread::moveChildNodeWorker, Qt::BlockingQueuedConnection);
    }
}

TNode::~TNode()
{
    if (engineRunning())
        emit deleteNodeWorker(unsigned(uid()));
}

bool TNode::engineRunning() const
{
    // After shutdown the thread object is back on this thread; a blocking call would hang.
    return !TImpServer::isStopped() && TImpServer::impThread();
}

void TNode::finalizeTNodeClass(const QString& className)
{
    m_params.insert(kClassName, className);
    const TNode* parentNode = parent();
    if (engineRunning())
        emit createNodeWorker(className, unsigned(uid()), parentNode ? unsigned(parentNode->uid()) : 0u);
}

bool TNode::samePoint(const QPointF& a, const QPointF& b)
{
    return std::abs(a.x() - b.x()) <= 1e-12 && std::abs(a.y() - b.y()) <= 1e-12;
}

void TNode::setText(const QString& v)
{
    if (m_params.contains(QStringLiteral("text")) && text() == v)
        return;
    m_params.insert(QStringLiteral("text"), v);
    enqueueAParam(QStringLiteral("text"), v);
    emit textChanged(v);
}

void TNode::setSerialInput(bool v)
{
    if (serialInput() == v)
        return;
    m_params.insert(QStringLiteral("serialInput"), v);
    enqueueAParam(QStringLiteral("serialInput"), v);
    emit serialInputChanged(v);
}

void TNode::setBlendMode(TNode::BlendMode v)
{
    if (blendMode() == v || !acceptsValue(QStringLiteral("blendMode"), int(v)))
        return;
    m_params.insert(QStringLiteral("blendMode"), QVariant::fromValue(v));
    enqueueAParam(QStringLiteral("blendMode"), QVariant::fromValue(v));
    emit blendModeChanged(v);
}

void TNode::setSelType(TNode::SelType v)
{
    if (selType() == v || !acceptsValue(QStringLiteral("selType"), int(v)))
        return;
    m_params.insert(QStringLiteral("selType"), QVariant::fromValue(v));
    enqueueAParam(QStringLiteral("selType"), QVariant::fromValue(v));
    emit selTypeChanged(v);
}

void TNode::setSelInvert(bool v)
{
    if (selInvert() == v)
        return;
    m_params.insert(QStringLiteral("selInvert"), v);
    enqueueAParam(QStringLiteral("selInvert"), v);
    emit selInvertChanged(v);
}

QVariantList TNode::childrenList()
{
    m_childrenList.clear();
    for (QObject* c : children()) {
        if (auto* node = qobject_cast<TNode*>(c))
            m_childrenList << QVariant::fromValue(node);
    }
    return m_childrenList;
}

TNode* TNode::child(int position) const
{
    const QObjectList& list = children();
    return (position >= 0 && position < list.size()) ? qobject_cast<TNode*>(list.at(position)) : nullptr;
}

int TNode::indexOfChild(TNode* node) const
{
    return node ? children().indexOf(node) : -1;
}

bool TNode::isChild(const QObject* object) const
{
    for (const QObject* p = object ? object->parent() : nullptr; p; p = p->parent()) {
        if (p == this)
            return true;
    }
    return false;
}

void TNode::reattach(const QList<TNode*>& nodes)
{
    for (TNode* n : nodes)
        n->setParent(this);
}

bool TNode::insertChild(int position, TNode* node)
{
    if (!node || position < 0 || position > childCount())
        return false;
    QList<TNode*> tail;
    while (childCount() > position) {
        auto* last = qobject_cast<TNode*>(children().last());
        if (!last)
            return false;
        last->setParent(nullptr);
        tail.prepend(last);
    }
    node->setParent(this);
    reattach(tail);
    emit childCountChanged(childCount());
    return true;
}

bool TNode::removeChildren(int position, int count)
{
    const int before = childCount();
    if (position < 0 || position >= before)
        return false;
    for (int i = 0; i < count && position < childCount(); ++i)
        delete children().at(position);
    qCDebug(lcNodes) << "deleted:" << position << before << childCount();
    emit childCountChanged(childCount());
    return true;
}

bool TNode::setChild(int position, TNode* node)
{
    return removeChildren(position, 1) && insertChild(position, node);
}

int TNode::positionWithSibling() const
{
    const TNode* p = parent();
    return p ? p->children().indexOf(const_cast<TNode*>(this)) : 0;
}

bool TNode::moveChildNode(uint fromRow, uint toRow)
{
    const int count = childCount();
    if (fromRow >= uint(count) || toRow >= uint(count))
        return false;
    const int first = int(std::min(fromRow, toRow));
    QList<TNode*> tail;
    for (int i = first; i < count; ++i) {
        auto* n = qobject_cast<TNode*>(children().at(i));
        if (!n)
            return false;
        tail << n;
    }
    for (TNode* n : tail)
        n->setParent(nullptr);
    tail.move(int(fromRow) - first, int(toRow) - first);
    reattach(tail);

    // The worker tree holds only children that have workers: the moved worker goes before
    // the next sibling that has one, so both trees keep the same relative order.
    TNode* moved = child(int(toRow));
    unsigned int beforeUid = 0;
    for (int i = int(toRow) + 1; i < count && beforeUid == 0; ++i) {
        TNode* sibling = child(i);
        if (sibling && TImprocWorker::ptr(unsigned(sibling->uid())))
            beforeUid = unsigned(sibling->uid());
    }
    if (engineRunning() && moved && TImprocWorker::ptr(unsigned(moved->uid())))
        emit moveChildNodeWorker(unsigned(moved->uid()), beforeUid);
    return true;
}

void TNode::move(uint fromRow, uint toRow)
{
    enqueueReq(new TCmd_MoveNode(unsigned(uid()), fromRow, toRow));
}

QVariantMap TNode::preset(bool bChildrenOnly)
{
    QVariantMap result = bChildrenOnly ? QVariantMap() : params();
    QVariantList list;
    for (QObject* c : children()) {
        if (auto* node = qobject_cast<TNode*>(c))
            list << node->preset(false);
    }
    result.insert(kChildren, list);
    return result;
}

int TNode::PresetUndoGroup::s_depth = 0;

TNode::PresetUndoGroup::PresetUndoGroup(TNode* node)
    : m_node(node)
{
    if (s_depth++ == 0)
        m_node->enqueueReq(new TCmd_UndoGroup(TCmd_UndoGroup::Begin, QStringLiteral("preset")));
}

TNode::PresetUndoGroup::~PresetUndoGroup()
{
    if (--s_depth == 0)
        m_node->enqueueReq(new TCmd_UndoGroup(TCmd_UndoGroup::End));
}

bool TNode::presetFits(const QVariantMap& value) const
{
    return value.contains(kClassName) && value.value(kClassName).toString() == className();
}

bool TNode::setPreset(QVariantMap value, bool bChildrenOnly)
{
    if (!presetFits(value))
        return false;
    const PresetUndoGroup group(this);
    if (!bChildrenOnly) {
        QVariantMap own = value;
        own.remove(kChildren);
        setParams(own);
    }
    if (!value.contains(kChildren))
        return true;
    while (childCount() > 0)
        delete children().last();
    for (const QVariant& entry : value.value(kChildren).toList()) {
        const QVariantMap map = entry.toMap();
        const QString name = map.value(kClassName).toString();
        qCDebug(lcNodes) << "------ will call TnodeFactory::create" << name;
        if (TNode* node = TNodeFactory::create(name, this, 0))
            node->setPreset(map, false);
        else
            qCWarning(lcNodes) << "fail to create: " << name;
    }
    emit childCountChanged(childCount());
    return true;
}

bool TNode::computePreset(QVariantMap value, bool bChildrenOnly, uint uid)
{
    if (value.isEmpty())
        return false;
    const uint target = uid ? uid : unsigned(this->uid());
    if (!bChildrenOnly) {
        QVariantMap own = value;
        own.remove(kChildren);
        for (auto it = own.begin(); it != own.end();) {
            if (TPropertyWriter::isFiniteValue(it.value())) {
                ++it;
                continue;
            }
            qCWarning(lcNodes) << "ERROR!!! refused a non-finite value for" << it.key() << "in the preset of"
                               << own.value(kClassName).toString();
            it = own.erase(it);
        }
        if (!own.isEmpty())
            setParamsOnly(own, target);
    }
    if (!value.contains(kChildren))
        return true;
    for (const QVariant& entry : value.value(kChildren).toList()) {
        const QVariantMap map = entry.toMap();
        const unsigned int childUid = TUid().uid();
        enqueueReq(new TCmd_CreateNodeWithUid(map.value(kClassName).toString(), childUid, target, QString(), nullptr, map));
        computePreset(map, false, childUid);
    }
    return true;
}

bool TNode::saveOutputToFile(QUrl fileName, QVariantMap fileParams)
{
    enqueueReq(new TCmd_SaveImage(unsigned(uid()), fileName, fileParams));
    return true;
}
