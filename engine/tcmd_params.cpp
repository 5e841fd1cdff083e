#include "engine/tcmd_params.h"

#include "engine/timproc.h"
#include "engine/timprocworker.h"

#include <algorithm>
#include <iterator>

TCmd_Params::TCmd_Params(unsigned int uid, const QVariantMap& params, bool undoPoint, bool canUndoRedo,
                         bool bUpdateEngine, const QString& text, QUndoCommand* parent)
    : TCmd(uid, QStringLiteral("TCmd_Params"), canUndoRedo, bUpdateEngine, text, parent)
    , m_newParams(params)
    , m_undoPoint(undoPoint)
{
}

void TCmd_Params::redo()
{
    TImproc* gui = TImproc::ptr(uid());
    if (!m_redoneOnce && gui) {
        if (m_guiEditSerial != 0)
            gui->editsReachedWorker(m_guiEditSerial);
        // Values that reach the worker without passing the GUI's properties (presets built
        // through commands) meet the same checks here, so the two sides never disagree.
        for (auto it = m_newParams.begin(); it != m_newParams.end();)
            it = gui->acceptsValue(it.key(), it.value()) ? std::next(it) : m_newParams.erase(it);
    }
    TImprocWorker* worker = TImprocWorker::ptr(uid());
    if (!worker)
        return;
    if (m_oldParams.isEmpty()) {
        const QVariantMap current = worker->params();
        for (auto it = m_newParams.cbegin(); it != m_newParams.cend(); ++it) {
            auto own = current.constFind(it.key());
            if (own != current.cend()) {
                m_oldParams.insert(it.key(), own.value());
            } else {
                QVariantMap added = worker->params();
                added.insert(it.key(), it.value());
                worker->defineParams(added);
                m_oldParams.insert(it.key(), it.value());
            }
        }
    }
    worker->setParams(m_newParams);
    // The first execution mirrors what the GUI already shows; a redo after an undo does not.
    if (m_redoneOnce)
        updateGUIParam(m_newParams);
    m_redoneOnce = true;
}

void TCmd_Params::undo()
{
    TImprocWorker* worker = TImprocWorker::ptr(uid());
    if (!worker)
        return;
    worker->setParams(m_oldParams);
    updateGUIParam(m_oldParams);
}

namespace {
// A map node with its key and value: the key's characters, a string's or byte array's
// contents, and a fixed share for the node and the variant.
qint64 mapBytes(const QVariantMap& map)
{
    constexpr qint64 kPerEntry = 64;
    qint64 bytes = 0;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        bytes += kPerEntry + it.key().size() * qint64(sizeof(QChar));
        if (it.value().userType() == QMetaType::QString)
            bytes += it.value().toString().size() * qint64(sizeof(QChar));
        else if (it.value().userType() == QMetaType::QByteArray)
            bytes += it.value().toByteArray().size();
        else if (it.value().userType() == QMetaType::QVariantMap)
            bytes += mapBytes(it.value().toMap());
    }
    return bytes;
}
} // namespace

qint64 TCmd_Params::historyBytes() const
{
    return TCmd::historyBytes() + qint64(sizeof(TCmd_Params) - sizeof(TCmd)) + mapBytes(m_newParams)
        + mapBytes(m_oldParams);
}

bool TCmd_Params::mergeWith(const QUndoCommand* other)
{
    if (m_undoPoint)
        return false;
    auto* o = dynamic_cast<const TCmd_Params*>(other);
    if (!o || o->uid() != uid() || o->type() != type())
        return false;
    // A parameters-only command must not swallow a user edit (or the reverse):
    // the merged command would lose the edit's undo step or its render.
    if (o->canUndoRedo() != canUndoRedo() || o->bUpdateEngine() != bUpdateEngine())
        return false;
    for (auto it = o->m_newParams.cbegin(); it != o->m_newParams.cend(); ++it)
        m_newParams.insert(it.key(), it.value());
    for (auto it = o->m_oldParams.cbegin(); it != o->m_oldParams.cend(); ++it) {
        if (!m_oldParams.contains(it.key()))
            m_oldParams.insert(it.key(), it.value());
    }
    m_undoPoint = o->m_undoPoint;
    m_guiEditSerial = std::max(m_guiEditSerial, o->m_guiEditSerial);
    return true;
}

void TCmd_Params::updateGUIParam(const QVariantMap& params) const
{
    if (TImproc* gui = TImproc::ptr(uid()))
        gui->updateParamsFromWorker(params);
}
