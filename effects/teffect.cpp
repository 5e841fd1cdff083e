#include "effects/teffect.h"

#include "effects/effectslogging.h"
#include "effects/tenodeempty.h"
#include "engine/tpropertywriter.h"
#include "engine/timpserver.h"
#include "engine/timpserverthread.h"

#include <QMetaProperty>
#include <QSet>

#include <algorithm>

bool TEffect::m_bPrepareToQuit = false;

namespace {
const QString kInput = QStringLiteral("input");
const QString kInput1 = QStringLiteral("input1");
const QString kInputPreviewerUid = QStringLiteral("inputPreviewerUid");
const QString kPreviewerUid = QStringLiteral("previewerUid");
const QString kDecimation = QStringLiteral("decimation");
const QString kProcMode = QStringLiteral("procMode");
const QString kTenodelist = QStringLiteral("tenodelist");
const QString kForceRedraw = QStringLiteral("bForceRedraw");
const QString kReqTag = QStringLiteral("reqTag");
const QString kRootNode = QStringLiteral("_rootNode_");
const QString kTreeRoot = QStringLiteral("_treeRoot_");
const QString kOutput = QStringLiteral("output");
const QString kUid = QStringLiteral("uid");
// The scratch tree a preset request carries, by serial; taken out before the worker sees it.
const QString kScratch = QStringLiteral("_scratchTree_");

// GUI thread only, like the effects themselves.
QSet<const TEffect*> s_liveEffects;

// The server asks whether any effect is still busy without knowing the effect classes.
const bool s_busyQueryInstalled = [] {
    TImpServer::setEffectsBusyQuery([] { return TEffect::isAnyBusy(); });
    return true;
}();

uint parentEffectUid(const QObject* parent)
{
    const auto* effect = qobject_cast<const TEffect*>(parent);
    return effect ? effect->uid() : 0;
}
} // namespace

TEffect::TEffect(QObject* parent)
    : TEBase(parent)
{
    m_deadlockTimer.setSingleShot(true);
    m_deadlockTimer.setInterval(120000);
    m_deadlockTimer.setTimerType(Qt::VeryCoarseTimer);
    connect(&m_deadlockTimer, &QTimer::timeout, this, &TEffect::procDeadlockTimeout);
    m_previewTimer.setSingleShot(true);
    m_previewTimer.setInterval(16);
    connect(&m_previewTimer, &QTimer::timeout, this, &TEffect::procPreviewImp);
    m_rootNode = new TENodeEmpty(nullptr);

    m_stateData.insert(kInput, QVariant::fromValue(TSMat()));
    m_stateData.insert(kInput1, QVariant::fromValue(TSMat()));
    m_stateData.insert(kInputPreviewerUid, 0u);
    m_stateData.insert(kPreviewerUid, 0u);
    m_stateData.insert(kDecimation, 1);
    m_stateData.insert(kProcMode, QStringLiteral("PREVIEW"));
    m_stateData.insert(kTenodelist, QVariantList());
    m_stateData.insert(kForceRedraw, false);
    addPersistKey(kTenodelist);

    connect(this, &TEBase::paramsChanged, this, &TEffect::clearParamsInfo, Qt::DirectConnection);
    if (!TImpServer::isStopped()) {
        if (TImpServerThread* thread = TImpServer::impThread()) {
            connect(this, &TEffect::createWorker, thread, &TImpServerThread::createTEWorker,
                    Qt::BlockingQueuedConnection);
            connect(this, &TEffect::deleteWorker, thread, &TImpServerThread::deleteTEWorker, Qt::QueuedConnection);
            connect(this, &TEffect::reParentWorker, thread, &TImpServerThread::reParentTEWorker,
                    Qt::BlockingQueuedConnection);
        }
    }
    s_liveEffects.insert(this);
}

TEffect::~TEffect()
{
    s_liveEffects.remove(this);
    // The tree's nodes and the scratch trees ask for their own workers' deletion.
    m_scratchTrees.clear();
    if (m_rootNode && !m_rootNode->QObject::parent())
        delete m_rootNode;
    if (!TImpServer::isStopped())
        emit deleteWorker(uid());
}

void TEffect::finalizeConstructor(const QString& className, int version)
{
    TEBase::finalizeConstructor(className, version);
    if (!TImpServer::isStopped())
        emit createWorker(className, uid(), parentEffectUid(parent()));
}

void TEffect::onParentChanged()
{
    if (!TImpServer::isStopped())
        emit reParentWorker(uid(), parentEffectUid(parent()));
}

bool TEffect::isAnyBusy()
{
    return std::any_of(s_liveEffects.cbegin(), s_liveEffects.cend(), [](const TEffect* e) { return e->isBusy(); });
}

template <typename T>
void TEffect::setStateValue(const QString& key, const T& value, void (TEffect::*changed)(T))
{
    if (m_stateData.value(key).value<T>() == value)
        return;
    m_stateData.insert(key, QVariant::fromValue(value));
    emit(this->*changed)(value);
}

void TEffect::setInput(const TSMat& image)
{
    setStateValue(kInput, image, &TEffect::inputChanged);
}

void TEffect::setInput1(const TSMat& image)
{
    setStateValue(kInput1, image, &TEffect::input1Changed);
}

void TEffect::setPreviewerUid(uint uid)
{
    setStateValue(kPreviewerUid, uid, &TEffect::previewerUidChanged);
}

void TEffect::setInputPreviewerUid(uint uid)
{
    setStateValue(kInputPreviewerUid, uid, &TEffect::inputPreviewerUidChanged);
}

void TEffect::setDecimation(int decimation)
{
    setStateValue(kDecimation, decimation, &TEffect::decimationChanged);
}

void TEffect::setOutput(const TSMat& image)
{
    if (image == m_output)
        return;
    m_output = image;
    emit outputChanged(image);
}

int TEffect::presetDecimation() const
{
    QSize size = input().size();
    if (size.width() <= 0 || size.height() <= 0)
        size = input1().size();
    if (size.width() <= 0 || size.height() <= 0)
        return 4;
    return std::max(1, std::max(size.width() / 512, size.height() / 512));
}

// --- requests ---------------------------------------------------------------------------

void TEffect::procPreview(bool bForceDraw)
{
    if (m_bPrepareToQuit)
        return;
    if (m_stateData.value(kForceRedraw).toBool() != bForceDraw)
        m_stateData.insert(kForceRedraw, bForceDraw);
    // A window, not a restart: while a slider moves faster than the interval, previews still
    // follow it, one per window, instead of waiting for it to stop.
    if (!bForceDraw) {
        if (!m_previewTimer.isActive())
            m_previewTimer.start();
        return;
    }
    // The forced preview covers whatever change the timer was waiting to show.
    m_previewTimer.stop();
    procPreviewImp();
}

void TEffect::procPreviewImp()
{
    if (m_bPrepareToQuit)
        return;
    QVariantMap request = allStateData();
    clearStateValue();
    request.insert(kProcMode, QStringLiteral("PREVIEW"));
    request.insert(kReqTag, TEffectRequestQueue::kPreviewTag);
    m_queue.appendPreview(request);
    handleProcReqQueue();
}

void TEffect::procOutput()
{
    if (m_bPrepareToQuit)
        return;
    QVariantMap request = allStateData();
    clearStateValue();
    request.insert(kProcMode, QStringLiteral("OUTPUT"));
    request.insert(kDecimation, 1);
    request.insert(kReqTag, TEffectRequestQueue::kOutputTag);
    m_queue.append(request);
    handleProcReqQueue();
}

QString TEffect::procPreset(const QString& presetId, const QVariantMap& preset)
{
    if (m_bPrepareToQuit)
        return QString();
    std::unique_ptr<TTreeNode> scratch;
    QString error;
    QVariantMap request = presetRequest(preset, scratch, error);
    if (!error.isEmpty())
        return error;
    request.insert(kProcMode, QStringLiteral("PRESET"));
    request.insert(kDecimation, presetDecimation());
    request.insert(kReqTag, presetId);
    if (scratch) {
        request.insert(kScratch, ++m_scratchSerial);
        m_scratchTrees[m_scratchSerial] = std::move(scratch);
    }
    m_queue.appendPreset(request, m_isProcPresetActive);
    handleProcReqQueue();
    return QString();
}

QString TEffect::presetParams(const QVariantMap& preset, QVariantMap& params)
{
    const QString presetClass = preset.value(kClassName).toString();
    if (presetClass.isEmpty() || presetClass != className()) {
        const QString error =
            QStringLiteral("Preset Error: className mismatch: ") + presetClass + QLatin1Char(' ') + className();
        qCWarning(lcEffects) << error;
        return error;
    }
    QVariantMap own = preset;
    own.remove(kTreeRoot);
    if (!presetToParams(own, params).isEmpty()) {
        qCWarning(lcEffects) << "Preset conversion failure! " << preset << params;
        return QStringLiteral("Preset conversion failure! ");
    }
    return QString();
}

QVariantMap TEffect::presetRequest(const QVariantMap& preset, std::unique_ptr<TTreeNode>& scratch, QString& error)
{
    QVariantMap converted;
    error = presetParams(preset, converted);
    if (!error.isEmpty())
        return QVariantMap();
    // What setParams would leave, without the setters running: values a property refuses
    // keep the current ones, read-only keys (class, version) stay.
    QVariantMap params = this->params();
    const QMetaObject* mo = metaObject();
    for (auto it = converted.cbegin(); it != converted.cend(); ++it) {
        const QMetaProperty prop = mo->property(mo->indexOfProperty(it.key().toLatin1().constData()));
        if (!prop.isValid() || !prop.isWritable())
            continue;
        const QVariant value = TPropertyWriter::asPropertyValue(prop, it.value());
        if (value.isValid())
            params.insert(it.key(), value);
    }
    QVariantMap request = allStateData();
    request.insert(kParams, params);
    // Samples belong to the live effect's requests; a thumbnail takes none.
    request.remove(TEffectRequestQueue::kPointsKey);
    // The live layers' thumbnails show the live look, not a preset's.
    request.insert(kRootNode, TTreeNode::withoutThumbnailViewers(request.value(kRootNode).toMap()));
    if (preset.contains(kTreeRoot)) {
        const QVariantMap root = preset.value(kTreeRoot).toMap();
        if (!root.contains(kClassName)) {
            qCWarning(lcEffects) << "ERROR: root has no className: " << root;
            error = QStringLiteral("ERROR: root has no className: ");
            return QVariantMap();
        }
        request.insert(kRootNode, m_rootNode->presetTreeState(root, scratch, error));
        if (!error.isEmpty())
            return QVariantMap();
    }
    return request;
}

void TEffect::cancelPreset(const QString& presetId)
{
    releaseScratch(m_queue.cancelFirst(presetId));
}

void TEffect::clearProcQueue()
{
    releaseScratch(m_queue.clear());
}

void TEffect::releaseScratch(const QVariantMap& request)
{
    if (request.contains(kScratch))
        m_scratchTrees.erase(request.value(kScratch).toULongLong());
}

void TEffect::releaseScratch(const QList<QVariantMap>& requests)
{
    for (const QVariantMap& request : requests)
        releaseScratch(request);
}

void TEffect::setIsProcPresetActive(bool active)
{
    if (active == m_isProcPresetActive)
        return;
    m_isProcPresetActive = active;
    emit isProcPresetActiveChanged(active);
    if (!active) {
        m_queue.park();
        return;
    }
    m_queue.unpark();
    handleProcReqQueue();
}

void TEffect::handleProcReqQueue()
{
    if (m_isBusy || m_bPrepareToQuit || TImpServer::isStopped())
        return;
    // Before the server hands over its context a request would draw nothing and "succeed":
    // wait for the context instead.
    TImpServerThread* thread = TImpServer::impThread();
    if (!thread)
        return;
    if (!thread->hasContext()) {
        connect(thread, &TImpServerThread::contextAttached, this, &TEffect::handleProcReqQueue,
                Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection));
        return;
    }
    QVariantMap request;
    if (!m_queue.takeFirst(request))
        return;
    const QString reqTag = request.value(kReqTag).toString();
    if (request.contains(kScratch))
        m_scratchInFlight.append({reqTag, request.take(kScratch).toULongLong()});
    proc(reqTag, request);
}

void TEffect::proc(const QString& reqTag, const QVariantMap& data)
{
    setBusy(true);
    m_deadlockTimer.start();
    emit reqProc(reqTag, data);
}

void TEffect::setBusy(bool busy)
{
    if (busy == m_isBusy)
        return;
    m_isBusy = busy;
    emit isBusyChanged(busy);
}

void TEffect::procDeadlockTimeout()
{
    qCDebug(lcEffects) << "--------------------------->>>>>>>>>>> timeout";
    setBusy(false);
    handleProcReqQueue();
}

void TEffect::procFinished(QString reqTag, bool isSuccess, QVariantMap updateData)
{
    m_deadlockTimer.stop();
    setBusy(false);
    for (int i = 0; i < m_scratchInFlight.size(); ++i) {
        if (m_scratchInFlight.at(i).first == reqTag) {
            m_scratchTrees.erase(m_scratchInFlight.takeAt(i).second);
            break;
        }
    }
    emit procDone(reqTag, isSuccess, updateData.value(QStringLiteral("errorMessage")).toString());
    postProcUpdate(reqTag, isSuccess, updateData);
    if (m_bPrepareToQuit) {
        if (!TImpServer::bIsAnyTEffectBusy())
            emit readyToQuit();
        return;
    }
    handleProcReqQueue();
}

bool TEffect::postProcUpdate(const QString& reqTag, bool isSuccess, const QVariantMap& updateData)
{
    if (!isSuccess)
        return true;
    if (reqTag == TEffectRequestQueue::kOutputTag)
        setOutput(updateData.value(kOutput).value<TSMat>());
    else if (reqTag != TEffectRequestQueue::kPreviewTag)
        emit presetImage(reqTag, updateData.value(kOutput).value<TSMat>());
    return true;
}

void TEffect::prepareToQuit()
{
    m_bPrepareToQuit = true;
    clearProcQueue();
    if (!TImpServer::bIsAnyTEffectBusy())
        emit readyToQuit();
}

// --- presets and states -----------------------------------------------------------------

QVariantMap TEffect::getPreset() const
{
    QVariantMap preset = params();
    preset.insert(kTreeRoot, m_rootNode->getPreset());
    return preset;
}

QString TEffect::setPreset(const QVariantMap& preset)
{
    QVariantMap params;
    const QString refused = presetParams(preset, params);
    if (!refused.isEmpty())
        return refused;
    // The tree's document is checked, and a root of another class made, before anything
    // changes: a refused preset leaves the effect as it was.
    const QVariantMap root = preset.value(kTreeRoot).toMap();
    std::unique_ptr<TTreeNode> newRoot;
    if (preset.contains(kTreeRoot)) {
        if (!root.contains(kClassName)) {
            qCWarning(lcEffects) << "ERROR: root has no className: " << root;
            return QStringLiteral("ERROR: root has no className: ");
        }
        const QString rootClass = root.value(kClassName).toString();
        if (rootClass != m_rootNode->className()) {
            newRoot.reset(TTreeNode::create(rootClass));
            if (!newRoot) {
                qCWarning(lcEffects) << "ERROR!!! cannot set rootNode class: " << rootClass;
                return QStringLiteral("ERROR!!! cannot set rootNode class: ") + rootClass;
            }
        }
    }
    if (!setParams(params))
        return QStringLiteral("setParams failure ") + className();
    if (!preset.contains(kTreeRoot))
        return QString();
    if (newRoot)
        replaceRoot(newRoot.release());
    return m_rootNode->setPreset(root);
}

bool TEffect::setRootNodeClass(const QString& className)
{
    if (m_rootNode->className() == className)
        return true;
    TTreeNode* node = TTreeNode::create(className);
    if (!node)
        return false;
    replaceRoot(node);
    return true;
}

void TEffect::replaceRoot(TTreeNode* node)
{
    while (m_rootNode->childCount() > 0)
        node->insertChild(node->childCount(), m_rootNode->child(0));
    setRootNode(node);
}

void TEffect::setRootNode(TTreeNode* node)
{
    if (!node || node == m_rootNode)
        return;
    // The root this effect made (or took without a parent) is its own to delete.
    if (!m_rootNode->QObject::parent())
        delete m_rootNode;
    m_rootNode = node;
    emit rootNodeChanged();
}

QVariantMap TEffect::allStateData() const
{
    QVariantMap state = m_stateData;
    state.insert(kRootNode, m_rootNode->treeState());
    return state;
}

QVariantMap TEffect::persistStateData() const
{
    QVariantMap state;
    for (const QString& key : persistStateKeys())
        state.insert(key, m_stateData.value(key));
    state.insert(kRootNode, m_rootNode->treeState());
    return state;
}

bool TEffect::setAllStateData(const QVariantMap& state)
{
    QVariantMap rootState = state.value(kRootNode).toMap();
    QVariantMap rest = state;
    rest.remove(kRootNode);
    // Identity is not part of a document: this effect keeps its uid, its root keeps its own.
    rest.insert(kUid, uid());
    if (!rootState.isEmpty()) {
        const QString rootClass = TEBase::className(rootState);
        if (rootClass != m_rootNode->className() && !setRootNodeClass(rootClass)) {
            qCWarning(lcEffects) << "ERROR!!! cannot set rootNode class: " << rootClass;
            return false;
        }
        rootState.insert(kUid, m_rootNode->uid());
        if (!m_rootNode->setTreeState(rootState))
            return false;
    }
    return setStateData(rest);
}

// --- undo -------------------------------------------------------------------------------

void TEffect::setUndoPoint()
{
    setUndoPointImp(QVariantMap());
}

void TEffect::setUndoPointImp(const QVariantMap& extra)
{
    QVariantMap entry = extra;
    entry.insert(QStringLiteral("allStateData"), persistStateData());
    entry.insert(QStringLiteral("paramsInfo"), m_paramsInfo);
    appendToUndoList(entry);
}

void TEffect::appendToUndoList(const QVariantMap& entry)
{
    m_undo.append(entry);
    emit canUndoChanged(canUndo());
    emit canRedoChanged(canRedo());
}

QVariantMap TEffect::undo()
{
    if (!canUndo())
        return QVariantMap();
    const bool couldRedo = canRedo();
    return applyUndoEntry(m_undo.stepBack(), true, couldRedo);
}

QVariantMap TEffect::redo()
{
    if (!canRedo())
        return QVariantMap();
    const bool couldUndo = canUndo();
    return applyUndoEntry(m_undo.stepForward(), couldUndo, true);
}

QVariantMap TEffect::applyUndoEntry(const QVariantMap& entry, bool couldUndo, bool couldRedo)
{
    setAllStateData(entry.value(QStringLiteral("allStateData")).toMap());
    const QVariantMap info = entry.value(QStringLiteral("paramsInfo")).toMap();
    // Applying the parameters clears the information; the entry's is what belongs to them.
    if (info != m_paramsInfo) {
        m_paramsInfo = info;
        emit paramsInfoChanged(m_paramsInfo);
    }
    if (canUndo() != couldUndo)
        emit canUndoChanged(canUndo());
    if (canRedo() != couldRedo)
        emit canRedoChanged(canRedo());
    QVariantMap rest = entry;
    rest.remove(QStringLiteral("allStateData"));
    rest.remove(QStringLiteral("paramsInfo"));
    rest.remove(QStringLiteral("nodeCurrentToRoot"));
    return rest;
}

void TEffect::clearUndoHistory()
{
    const bool couldUndo = canUndo();
    const bool couldRedo = canRedo();
    m_undo.clear();
    if (couldUndo)
        emit canUndoChanged(false);
    if (couldRedo)
        emit canRedoChanged(false);
}

void TEffect::addToParamsInfo(const QVariantMap& info)
{
    bool changed = false;
    for (auto it = info.cbegin(); it != info.cend(); ++it) {
        if (!m_paramsInfo.contains(it.key()) || m_paramsInfo.value(it.key()) != it.value()) {
            m_paramsInfo.insert(it.key(), it.value());
            changed = true;
        }
    }
    if (changed)
        emit paramsInfoChanged(m_paramsInfo);
}

void TEffect::clearParamsInfo()
{
    if (m_paramsInfo.isEmpty())
        return;
    m_paramsInfo.clear();
    emit paramsInfoChanged(m_paramsInfo);
}
