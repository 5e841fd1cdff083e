#include "engine/timproc.h"
#include "engine/enginelogging.h"

#include "engine/tcmd_drawcmd.h"
#include "engine/tcmd_params.h"
#include "engine/tcmd_update.h"
#include "engine/timpserver.h"
#include "engine/tpropertywriter.h"

#include <QMetaProperty>
#include <algorithm>
#include <cmath>

QMap<unsigned int, TImproc*> TImproc::m_ptrMap;
QMutex TImproc::m_mutex;
int TImproc::m_count = 0;

namespace {
// Known by name from the start, so JSON's wrapped form ("TImproc::ProcMode": 1) reads back as
// the enum in any process, not only once something has made a value of it.
const bool s_enumsRegistered = [] {
    qMetaTypeId<TImproc::InputType>();
    qMetaTypeId<TImproc::ProcMode>();
    qMetaTypeId<TImproc::ProcStatus>();
    return true;
}();

const QString kActive = QStringLiteral("active");
const QString kInputType = QStringLiteral("inputType");

bool isProtectedKey(const QString& key)
{
    return key == QLatin1String("className") || key == QLatin1String("version") || key == kInputType;
}
} // namespace

TImproc::TImproc(QObject* parent, unsigned int uid)
    : QObject(parent)
{
    if (uid != 0)
        m_uid.set(uid);
    {
        QMutexLocker lock(&m_mutex);
        m_ptrMap.insert(m_uid.uid(), this);
    }
    m_params.insert(kActive, true);
    m_params.insert(kInputType, QVariant::fromValue(NORMAL));
    ++m_count;
    qCDebug(lcEngine) << "TImproc created" << this << "live:" << m_count;
}

TImproc::~TImproc()
{
    {
        QMutexLocker lock(&m_mutex);
        // Only our own entry: an object rebuilt under the same id may already own it.
        auto it = m_ptrMap.find(m_uid.uid());
        if (it != m_ptrMap.end() && it.value() == this)
            m_ptrMap.erase(it);
    }
    --m_count;
    qCDebug(lcEngine) << "TImproc destroyed" << this << "live:" << m_count;
}

bool TImproc::floatValuesEqual(float c, float f)
{
    return std::fabs(c - f) * 100000.0f <= std::min(std::fabs(c), std::fabs(f));
}

void TImproc::enqueueAParam(const QString& key, const QVariant& value)
{
    if (!m_enqueueParams)
        return;
    enqueueReq(editCommand({key}, QVariantMap{{key, value}}, false));
}

TCmd* TImproc::editCommand(const QStringList& keys, const QVariantMap& params, bool undoPoint)
{
    ++m_editSerial;
    for (const QString& key : keys)
        m_keyEditSerial.insert(key, m_editSerial);
    auto* cmd = new TCmd_Params(m_uid.uid(), params, undoPoint, true, true);
    cmd->setGuiEditSerial(m_editSerial);
    return cmd;
}

void TImproc::editsReachedWorker(quint64 serial)
{
    m_editsOnWorker = std::max(m_editsOnWorker, serial);
}

void TImproc::setActive(bool arg)
{
    if (m_params.value(kActive).toBool() == arg && m_params.contains(kActive))
        return;
    m_params.insert(kActive, arg);
    enqueueAParam(kActive, arg);
    emit activeChanged(arg);
}

bool TImproc::acceptsValue(const QString& key, const QVariant& value) const
{
    const int index = metaObject()->indexOfProperty(key.toLatin1().constData());
    const QString refused =
        TPropertyWriter::refusal(index >= 0 ? metaObject()->property(index) : QMetaProperty(), value);
    if (refused.isEmpty())
        return true;
    qCWarning(lcEngine) << "ERROR!!! refused" << value << "for" << key << "of" << className() << "-" << refused;
    return false;
}

bool TImproc::setParamValue(const QString& key, double v)
{
    if (!acceptsValue(key, v))
        return false;
    if (floatValuesEqual(m_params.value(key).toFloat(), float(v)))
        return false;
    m_params.insert(key, v);
    enqueueAParam(key, v);
    return true;
}

bool TImproc::setParamValue(const QString& key, float v)
{
    if (!acceptsValue(key, v))
        return false;
    if (floatValuesEqual(m_params.value(key).toFloat(), v))
        return false;
    m_params.insert(key, v);
    enqueueAParam(key, v);
    return true;
}

bool TImproc::writeProperty(const QString& key, const QVariant& value)
{
    const QMetaObject* mo = metaObject();
    const int index = mo->indexOfProperty(key.toLatin1().constData());
    if (index < 0)
        return false;
    const QMetaProperty prop = mo->property(index);
    // Read-only keys (class name, version, uid) are identity, not parameters.
    if (prop.isWritable())
        TPropertyWriter::write(this, prop, value);
    return true;
}

void TImproc::setParams(const QVariantMap& params)
{
    m_enqueueParams = false;
    QVariantMap written;
    for (auto it = params.cbegin(); it != params.cend(); ++it) {
        if (!m_params.contains(it.key())) {
            qCWarning(lcEngine) << "invalid key: " << it.key() << it.value();
            continue;
        }
        if (isProtectedKey(it.key()))
            continue;
        writeProperty(it.key(), it.value());
        written.insert(it.key(), m_params.value(it.key()));
    }
    m_enqueueParams = true;
    // Only the keys given travel: the rest of the GUI's map may be older than
    // what an undo or redo has just set on the worker.
    if (written.isEmpty())
        return;
    qCDebug(lcEngine) << "TImproc - will enqueue TCmd_Params" << uid();
    enqueueReq(editCommand(written.keys(), written, false));
}

void TImproc::setParamsOnly(const QVariantMap& params, unsigned int uid)
{
    TImpServer::enqueueReq(new TCmd_Params(uid, params, false, false, false));
}

QVariantMap TImproc::newParams() const
{
    QVariantMap changed;
    for (auto it = m_params.cbegin(); it != m_params.cend(); ++it) {
        auto snap = m_undoPointParams.constFind(it.key());
        if (snap == m_undoPointParams.cend() || snap.value() != it.value())
            changed.insert(it.key(), it.value());
    }
    return changed;
}

void TImproc::setUndoPoint()
{
    const QVariantMap changed = newParams();
    enqueueReq(editCommand(changed.keys(), changed, true));
    m_undoPointParams = m_params;
}

void TImproc::updateParamsFromWorker(QVariantMap params)
{
    m_enqueueParams = false;
    for (auto it = params.cbegin(); it != params.cend(); ++it) {
        if (m_keyEditSerial.value(it.key()) > m_editsOnWorker)
            continue;
        if (!m_params.contains(it.key())) {
            qCWarning(lcEngine) << "invalid key: " << it.key() << it.value();
            continue;
        }
        writeProperty(it.key(), it.value());
    }
    m_enqueueParams = true;
}

TCmd_DrawCmd* TImproc::createDrawCmd(const QString& which, QPointF normalizedXY, bool isBegin,
                                     bool isEnd, int layerId, const QVariantMap& extra)
{
    TDrawPoint point;
    point.which = which;
    point.normalizedXY = normalizedXY;
    point.isBegin = isBegin;
    point.isEnd = isEnd;
    point.layerId = layerId;
    point.extra = extra;
    return new TCmd_DrawCmd(m_uid.uid(), point);
}

void TImproc::drawCmd(const QString& which, QPointF normalizedXY, bool isBegin, bool isEnd,
                      int layerId, const QVariantMap& extra)
{
    enqueueReq(createDrawCmd(which, normalizedXY, isBegin, isEnd, layerId, extra));
}

void TImproc::drawCmd(const QString& which, QPointF normalizedXY, bool isBegin, bool isEnd, int layerId)
{
    drawCmd(which, normalizedXY, isBegin, isEnd, layerId, QVariantMap());
}

void TImproc::updateFbo(const QString& reqTag, const QString& fboId)
{
    enqueueReq(new TCmd_Update(m_uid.uid(), reqTag, fboId));
}

void TImproc::updateFbo(const QString& reqTag)
{
    updateFbo(reqTag, QStringLiteral("_output_"));
}

void TImproc::updateFbo()
{
    updateFbo(QString(), QStringLiteral("_output_"));
}

void TImproc::enqueueReq(TCmd* req_p)
{
    TImpServer::enqueueReq(req_p);
}

TImproc* TImproc::ptr(unsigned int uid)
{
    QMutexLocker lock(&m_mutex);
    return m_ptrMap.value(uid, nullptr);
}

int TImproc::liveCount()
{
    QMutexLocker lock(&m_mutex);
    return m_count;
}
