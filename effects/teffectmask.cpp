#include "effects/teffectmask.h"

#include "effects/brushpoint.h"
#include "effects/effectslogging.h"
#include "effects/teffectrequestqueue.h"

const QString TEffectMask::kGlobalMaskId = QStringLiteral("__GlobalBlendMask__");

namespace {
const QString kMaskUndoRedo = QStringLiteral("maskUndoRedo");
const QString kMaskPreviewerUid = QStringLiteral("maskPreviewerUid");
const QString kMaskThumbnailSize = QStringLiteral("maskThumbnailSize");
const QString kMaskUndoTarget = QStringLiteral("maskUndoTarget");
} // namespace

// Presets and documents name these enums in JSON: known by name before any is read.
static void registerEffectMaskEnums()
{
    qRegisterMetaType<TEffectMask::BlendMode>("TEffectMask::BlendMode");
    qRegisterMetaType<TEffectMask::MaskType>("TEffectMask::MaskType");
    qRegisterMetaType<TEffectMask::SelType>("TEffectMask::SelType");
}
Q_CONSTRUCTOR_FUNCTION(registerEffectMaskEnums)

TEffectMask::TEffectMask(QObject* parent)
    : TEffect(parent)
{
    // Presets carry the look (opacity, blend mode), never where it applies.
    registerParam(QStringLiteral("scale"), 1.0f, false);
    registerParam(QStringLiteral("translate"), QPointF(0, 0), false);
    registerParam(QStringLiteral("rotate"), 0.0f, false);
    registerParam(QStringLiteral("opacity"), 1.0f);
    registerParam(QStringLiteral("blendMode"), BLENDMODE_NORMAL);
    registerParam(QStringLiteral("selMin"), 0.0f, false);
    registerParam(QStringLiteral("maskType"), NONE, false);
    registerParam(QStringLiteral("selType"), cLUM, false);
    registerParam(QStringLiteral("selValueCOLOR"), 0.2f, false);
    registerParam(QStringLiteral("selRangeCOLOR"), 0.4f, false);
    registerParam(QStringLiteral("selInvertColor"), false, false);
    registerParam(QStringLiteral("selValueLUM"), 0.2f, false);
    registerParam(QStringLiteral("selRangeLUM"), 0.4f, false);
    registerParam(QStringLiteral("selInvertLUM"), false, false);
    registerParam(QStringLiteral("selPosition"), QPointF(0.5, 0.5), false);
    registerParam(QStringLiteral("selSize"), 0.4f, false);
    registerParam(QStringLiteral("selTransition"), 0.85f, false);
    registerParam(QStringLiteral("selAspect"), 0.0f, false);
    registerParam(QStringLiteral("selRotate"), 0.0f, false);
    registerParam(QStringLiteral("selColorAware"), 0.0f, false);
    registerParam(QStringLiteral("selInvert"), true, false);
    registerParam(QStringLiteral("selXScale"), 1.0f, false);
    registerParam(QStringLiteral("selYScale"), 1.0f, false);
    m_stateData.insert(TEffectRequestQueue::kPointsKey, QVariantMap());
    m_stateData.insert(kMaskPreviewerUid, 0u);
    m_stateData.insert(kMaskThumbnailSize, QSize(0, 0));
    m_stateData.insert(kMaskUndoTarget, QString());
    addPersistKey(kMaskUndoTarget);
}

void TEffectMask::setMaskPreviewerUid(uint uid)
{
    if (maskPreviewerUid() == uid)
        return;
    m_stateData.insert(kMaskPreviewerUid, uid);
    emit maskPreviewerUidChanged(uid);
}

void TEffectMask::setMaskThumbnailSize(const QSize& size)
{
    if (maskThumbnailSize() == size)
        return;
    m_stateData.insert(kMaskThumbnailSize, size);
    emit maskThumbnailSizeChanged(size);
}

void TEffectMask::setMaskUndoTarget(const QString& maskId)
{
    if (maskUndoTarget() == maskId)
        return;
    m_stateData.insert(kMaskUndoTarget, maskId);
    emit maskUndoTargetChanged(maskId);
}

void TEffectMask::drawPoint(const QString& maskId, const QPointF& normalizedXY, bool isBegin, bool isEnd,
                            const QVariantMap& extra)
{
    const QVariantMap settings = extra.isEmpty() ? m_brushes.value(maskId) : extra;
    if (settings.isEmpty()) {
        qCWarning(lcEffects) << "ERROR - TEBase::drawCmd - Brush settings are empty - make sure call setBrush first!!!";
        return;
    }
    QVariantMap points = m_stateData.value(TEffectRequestQueue::kPointsKey).toMap();
    QVariantList samples = points.value(maskId).toList();
    samples.append(QVariant::fromValue(BrushPoint{maskId, normalizedXY, isBegin, isEnd, settings}));
    points.insert(maskId, samples);
    m_stateData.insert(TEffectRequestQueue::kPointsKey, points);
}

void TEffectMask::setBrush(const QString& maskId, float radius, float strength, float hardness, float flow,
                           float colorAwareness)
{
    m_brushes.insert(maskId, {{QStringLiteral("radius"), radius},
                              {QStringLiteral("strength"), strength},
                              {QStringLiteral("hardness"), hardness},
                              {QStringLiteral("flow"), flow},
                              {QStringLiteral("coloraware"), colorAwareness}});
}

void TEffectMask::updateMaxBrushRadius(int sz)
{
    if (m_maxBrushRadius == sz)
        return;
    m_maxBrushRadius = sz;
    emit maxBrushRadiusChanged(sz);
}

void TEffectMask::clearStateValue()
{
    m_stateData.insert(TEffectRequestQueue::kPointsKey, QVariantMap());
}

void TEffectMask::setUndoPointImp(const QVariantMap& extra)
{
    const QString target = maskUndoTarget();
    if (target.isEmpty()) {
        TEffect::setUndoPointImp(extra);
        return;
    }
    setMaskUndoTarget(QString());
    QVariantMap withTarget = extra;
    withTarget.insert(kMaskUndoRedo, target);
    TEffect::setUndoPointImp(withTarget);
}

// Samples not yet sent stay and go first: a "snapshot" among them must close its stroke
// before the stroke can be undone.
QVariantMap TEffectMask::undo()
{
    if (!canUndo())
        return QVariantMap();
    const QVariantMap undone = currentStateData();
    QVariantMap result = TEffect::undo();
    result.remove(kMaskUndoRedo);
    if (undone.contains(kMaskUndoRedo))
        sendMaskCommand(undone.value(kMaskUndoRedo).toString(), QStringLiteral("undo"));
    return result;
}

QVariantMap TEffectMask::redo()
{
    if (!canRedo())
        return QVariantMap();
    QVariantMap result = TEffect::redo();
    if (result.isEmpty())
        return result;
    if (!result.contains(kMaskUndoRedo)) {
        qCWarning(lcEffects) << "ERROR - TEffectMask::redo() - key maskUndoRedo not found";
        return result;
    }
    sendMaskCommand(result.take(kMaskUndoRedo).toString(), QStringLiteral("redo"));
    return result;
}

void TEffectMask::sendMaskCommand(const QString& maskId, const QString& command)
{
    drawPoint(maskId, QPointF(), false, false, {{QStringLiteral("type"), command}});
}
