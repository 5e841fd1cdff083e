#include "effects/ttreenode.h"

#include "effects/effectslogging.h"
#include "effects/tefactory.h"
#include "effects/tenodeempty.h"
#include "effects/tenodeemptyworker.h"
#include "effects/ttreenodelayer.h"
#include "effects/ttreenodelayerworker.h"
#include "engine/timpserver.h"
#include "engine/timpserverthread.h"

#include <QQmlEngine>

#include <algorithm>

const QString TTreeNode::kChildren = QStringLiteral("_children_");

namespace {
const QString kClassName = QStringLiteral("className");
const QString kUid = QStringLiteral("uid");

// The tree's own classes are there for every effect, unless the host registered its own
// under those names first (the first registration stays).
void registerTreeClasses()
{
    TEFactory::registerClass(
        QStringLiteral("TENodeEmpty"), [](TEBase* parent) -> TEBase* { return new TENodeEmpty(parent); },
        [](const QString& name, uint uid, uint parentUid) -> TEBaseWorker* {
            return new TENodeEmptyWorker(name, uid, parentUid);
        });
    TEFactory::registerClass(
        QStringLiteral("TTreeNodeLayer"), [](TEBase* parent) -> TEBase* { return new TTreeNodeLayer(parent); },
        [](const QString& name, uint uid, uint parentUid) -> TEBaseWorker* {
            // A plain layer has no processing of its own: the empty node's worker serves it.
            return new TENodeEmptyWorker(name, uid, parentUid);
        });
}
} // namespace

TTreeNode::TTreeNode(QObject* parent)
    : TEBase(parent)
{
    registerParam(QStringLiteral("text"), QString());
    registerParam(QStringLiteral("enabled"), true);
    registerParam(QStringLiteral("serialInput"), true);
    m_stateData.insert(QStringLiteral("thumbnailViewerUid"), 0u);
    m_stateData.insert(QStringLiteral("thumbnailLength"), 128);
    m_parentNode = qobject_cast<TTreeNode*>(QObject::parent());
    // QML would take a parentless node returned from a slot (the root is one) as its own
    // and collect it.
    QQmlEngine::setObjectOwnership(this, QQmlEngine::CppOwnership);
    if (!TImpServer::isStopped()) {
        if (TImpServerThread* thread = TImpServer::impThread()) {
            connect(this, &TTreeNode::deleteWorker, thread, &TImpServerThread::deleteTEWorker, Qt::QueuedConnection);
            connect(this, &TTreeNode::reParentWorker, thread, &TImpServerThread::reParentTEWorker,
                    Qt::QueuedConnection);
        }
    }
    registerTreeClasses();
}

TTreeNode::~TTreeNode()
{
    // After shutdown the render thread object is back on the main thread: no more calls.
    if (!TImpServer::isStopped())
        emit deleteWorker(uid());
}

void TTreeNode::settext(const QString& v)
{
    if (setParam(QStringLiteral("text"), v))
        emit textChanged(v);
}

void TTreeNode::setenabled(bool v)
{
    if (setParam(QStringLiteral("enabled"), v))
        emit enabledChanged(v);
}

void TTreeNode::setserialInput(bool v)
{
    if (setParam(QStringLiteral("serialInput"), v))
        emit serialInputChanged(v);
}

void TTreeNode::setThumbnailViewerUid(uint uid)
{
    if (thumbnailViewerUid() == uid)
        return;
    m_stateData.insert(QStringLiteral("thumbnailViewerUid"), uid);
    emit thumbnailViewerUidChanged(uid);
}

void TTreeNode::setThumbnailLength(int length)
{
    if (thumbnailLength() == length || length <= 0)
        return;
    m_stateData.insert(QStringLiteral("thumbnailLength"), length);
    emit thumbnailLengthChanged(length);
}

TTreeNode* TTreeNode::parent() const
{
    return qobject_cast<TTreeNode*>(QObject::parent());
}

void TTreeNode::onParentChanged()
{
    TTreeNode* now = parent();
    if (now == m_parentNode)
        return;
    m_parentNode = now;
    emit parentChanged();
}

TTreeNode* TTreeNode::child(int number) const
{
    return m_children.value(number, nullptr);
}

QVariantList TTreeNode::children() const
{
    QVariantList list;
    for (TTreeNode* c : m_children)
        list << QVariant::fromValue(c);
    return list;
}

int TTreeNode::positionWithSibling() const
{
    const TTreeNode* p = parent();
    return p ? p->m_children.indexOf(const_cast<TTreeNode*>(this)) : 0;
}

void TTreeNode::childrenEdited()
{
    emit childrenChanged(children());
    QList<uint> uids;
    for (int i = 0; i < m_children.size(); ++i) {
        uids << m_children[i]->uid();
        if (i >= m_lastChildUids.size() || m_lastChildUids[i] != uids[i])
            emit m_children[i]->positionWithSiblingChanged(i);
    }
    m_lastChildUids = uids;
}

bool TTreeNode::isAncestorOrSelf(const TTreeNode* node) const
{
    for (const TTreeNode* n = this; n; n = n->parent()) {
        if (n == node)
            return true;
    }
    return false;
}

bool TTreeNode::insertChild(int position, const QString& className)
{
    if (position < 0 || position > m_children.size()) {
        qCWarning(lcEffects) << "insert node failed: " << className << position << this->className();
        return false;
    }
    TTreeNode* node = create(className, this);
    if (!node) {
        qCWarning(lcEffects) << "insert node failed: " << className << position << this->className();
        return false;
    }
    return insertChild(position, node);
}

TTreeNode* TTreeNode::create(const QString& className, TTreeNode* parent)
{
    TEBase* made = TEFactory::create(className, parent);
    auto* node = qobject_cast<TTreeNode*>(made);
    if (!node)
        delete made;
    return node;
}

bool TTreeNode::insertChild(int position, TTreeNode* node)
{
    // A node inside its own subtree would make the tree a cycle.
    if (!node || position < 0 || position > m_children.size() || isAncestorOrSelf(node)
        || m_children.contains(node)) {
        qCWarning(lcEffects) << "insert node failed: " << (node ? node->className() : QString()) << position
                             << className();
        return false;
    }
    if (TTreeNode* old = node->parent(); old && old != this)
        old->takeChild(old->m_children.indexOf(node));
    if (node->QObject::parent() != this) {
        node->setParent(this);
        if (!TImpServer::isStopped())
            emit node->reParentWorker(node->uid(), uid());
    }
    node->m_parentNode = this;
    m_children.insert(position, node);
    childrenEdited();
    return true;
}

bool TTreeNode::removeChild(int position)
{
    if (position < 0 || position >= m_children.size())
        return false;
    m_children.takeAt(position)->deleteLater();
    childrenEdited();
    return true;
}

TTreeNode* TTreeNode::takeChild(int position)
{
    if (position < 0 || position >= m_children.size())
        return nullptr;
    TTreeNode* node = m_children.takeAt(position);
    childrenEdited();
    return node;
}

bool TTreeNode::moveChild(int from, int to)
{
    if (from == to)
        return true;
    if (from < 0 || to < 0 || from >= m_children.size() || to >= m_children.size())
        return false;
    m_children.move(from, to);
    childrenEdited();
    return true;
}

void TTreeNode::clearChildren()
{
    if (m_children.isEmpty())
        return;
    for (TTreeNode* c : qAsConst(m_children))
        c->deleteLater();
    m_children.clear();
    childrenEdited();
}

QVariantMap TTreeNode::getPreset() const
{
    QVariantMap preset = params();
    QVariantList list;
    for (const TTreeNode* c : m_children)
        list << c->getPreset();
    preset.insert(kChildren, list);
    return preset;
}

QVariantMap TTreeNode::treeState() const
{
    QVariantMap state = stateData();
    QVariantList list;
    for (const TTreeNode* c : m_children)
        list << c->treeState();
    state.insert(kChildren, list);
    return state;
}

TTreeNode* TTreeNode::childForEntry(int i, const QString& className)
{
    if (TTreeNode* existing = child(i); existing && existing->className() == className)
        return existing;
    if (i < m_children.size())
        removeChild(i);
    return insertChild(i, className) ? child(i) : nullptr;
}

void TTreeNode::trimChildren(int count)
{
    while (m_children.size() > count)
        removeChild(m_children.size() - 1);
    if (m_children.size() != count)
        qCWarning(lcEffects) << "Mismatch: " << m_children.size() << count;
}

QString TTreeNode::setPreset(const QVariantMap& preset)
{
    if (!preset.contains(kClassName) || preset.value(kClassName).toString() != className()) {
        const QString error = QStringLiteral("Node className mismatch: ") + preset.value(kClassName).toString()
            + QLatin1Char(' ') + className();
        qCWarning(lcEffects) << error;
        return error;
    }
    QVariantMap own = preset;
    own.remove(kChildren);
    if (!setParams(own))
        return QStringLiteral("setParams failure: ") + className();
    QString firstError;
    const QVariantList entries = preset.value(kChildren).toList();
    int placed = 0;
    for (const QVariant& entry : entries) {
        const QVariantMap map = entry.toMap();
        if (!map.contains(kClassName)) {
            qCWarning(lcEffects) << "ERROR!!! preset has no classname";
            continue;
        }
        const int position = placed;
        TTreeNode* node = childForEntry(position, map.value(kClassName).toString());
        const QString error = node ? node->setPreset(map)
                                   : QStringLiteral("insert node failed: ") + map.value(kClassName).toString();
        placed += node ? 1 : 0;
        if (!error.isEmpty() && firstError.isEmpty())
            firstError = QStringLiteral("child %1: ").arg(position) + error;
    }
    trimChildren(placed);
    return firstError;
}

bool TTreeNode::setTreeState(const QVariantMap& state)
{
    QVariantMap own = state;
    own.remove(kChildren);
    own.insert(kUid, uid()); // identity is not part of a document
    bool ok = setStateData(own);
    const QVariantList entries = state.value(kChildren).toList();
    int placed = 0;
    for (const QVariant& entry : entries) {
        QVariantMap map = entry.toMap();
        const QString cls = className(map);
        if (cls.isEmpty()) {
            qCWarning(lcEffects) << "ERROR!!! preset has no classname";
            continue;
        }
        TTreeNode* node = childForEntry(placed, cls);
        if (!node) {
            ok = false;
            continue;
        }
        ++placed;
        // The child keeps its own uid, so its worker stays attached.
        map.insert(kUid, node->uid());
        ok = node->setTreeState(map) && ok;
    }
    trimChildren(placed);
    return ok;
}

void TTreeNode::pairUids(const TTreeNode* copy, QHash<uint, uint>& uids) const
{
    uids.insert(copy->uid(), uid());
    for (int i = 0; i < std::min(childCount(), copy->childCount()); ++i)
        m_children.at(i)->pairUids(copy->child(i), uids);
}

namespace {
// Live uids where the scratch tree kept a node.
QVariantMap adoptUids(QVariantMap state, const QHash<uint, uint>& liveUids)
{
    state.insert(kUid, liveUids.value(TEBase::uid(state), TEBase::uid(state)));
    QVariantList children;
    for (const QVariant& child : state.value(TTreeNode::kChildren).toList())
        children << adoptUids(child.toMap(), liveUids);
    state.insert(TTreeNode::kChildren, children);
    return state;
}
} // namespace

QVariantMap TTreeNode::withoutThumbnailViewers(QVariantMap state)
{
    state.insert(QStringLiteral("thumbnailViewerUid"), 0u);
    QVariantList children;
    for (const QVariant& child : state.value(kChildren).toList())
        children << withoutThumbnailViewers(child.toMap());
    state.insert(kChildren, children);
    return state;
}

QVariantMap TTreeNode::presetTreeState(const QVariantMap& preset, std::unique_ptr<TTreeNode>& scratch,
                                       QString& error) const
{
    const QString rootClass = preset.value(kClassName).toString();
    scratch.reset(create(rootClass));
    if (!scratch) {
        error = QStringLiteral("ERROR!!! cannot set rootNode class: ") + rootClass;
        return QVariantMap();
    }
    QHash<uint, uint> liveUids;
    if (rootClass == className()) {
        scratch->setTreeState(treeState());
        pairUids(scratch.get(), liveUids);
    } else {
        // Only the children move into a root of another class; below a scratch root they
        // are scratch nodes too, or their workers would move under a worker that goes.
        QVariantMap moved = scratch->stateData();
        moved.insert(kChildren, treeState().value(kChildren));
        scratch->setTreeState(moved);
    }
    error = scratch->setPreset(preset);
    return withoutThumbnailViewers(adoptUids(scratch->treeState(), liveUids));
}

bool TTreeNode::insertPresetChild(int position, const QVariantMap& nodePreset)
{
    if (nodePreset.contains(kClassName) && insertChild(position, nodePreset.value(kClassName).toString()))
        return child(position)->setPreset(nodePreset).isEmpty();
    qCWarning(lcEffects) << "Failed: insertPresetChild()";
    return false;
}
