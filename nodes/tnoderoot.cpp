#include "nodes/tnoderoot.h"
#include "nodes/nodeslogging.h"

#include "engine/tcmd_blockandupdate.h"
#include "nodes/commands/tcmd_canvas.h"
#include "nodes/commands/tcmd_createnodewithuid.h"
#include "nodes/commands/tcmd_deleteallchildren.h"
#include "nodes/commands/tcmd_deletelastchild.h"
#include "nodes/commands/tcmd_procmode.h"
#include "engine/tcmd_saveimage.h"
#include "engine/tcmd_savethumbnail.h"
#include "nodes/commands/tcmd_setinput.h"
#include "engine/timpserver.h"
#include "engine/timpserverthread.h"
#include "nodes/tnoderootworker.h"

#include <algorithm>
#include <cmath>
#include <opencv2/core.hpp>

namespace {
constexpr float kLowrezLongSide = 1600.f;
constexpr float kThumbnailLongSide = 240.f;
} // namespace

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

TNodeRoot::~TNodeRoot()
{
    qCDebug(lcNodes) << "TNodeRoot deleted ... " << this;
}

TImprocWorker* TNodeRoot::createImproc()
{
    return new TNodeRootWorker(0, 0);
}

QSize TNodeRoot::scaled(const QSize& size, float factor)
{
    return QSize(int(std::lround(size.width() * factor)), int(std::lround(size.height() * factor)));
}

void TNodeRoot::enqueueCanvas(bool undoable)
{
    enqueueReq(new TCmd_Canvas(unsigned(uid()), m_canvasSize, m_canvasColor, m_lowrezScale, m_thumbnailScale,
                               undoable));
}

void TNodeRoot::changeCanvasSize(const QSize& size, ScaleRule rule, bool undoable)
{
    if (size == m_canvasSize)
        return;
    m_canvasSize = size;
    const bool valid = size.width() >= 1 && size.height() >= 1;
    const float longSide = float(std::max(size.width(), size.height()));
    const bool lowrezUnset = m_lowrezSize.width() < 1 || m_lowrezSize.height() < 1;
    const bool thumbnailUnset = m_thumbnailSize.width() < 1 || m_thumbnailSize.height() < 1;
    if (valid && (rule == ScaleRule::Recompute || lowrezUnset)) {
        // Previews never enlarge: a small image previews at its own size.
        m_lowrezScale = std::min(1.0f, kLowrezLongSide / longSide);
        m_lowrezSize = scaled(size, m_lowrezScale);
        emit lowrezScaleChanged(m_lowrezScale);
    }
    if (valid && (rule == ScaleRule::Recompute || thumbnailUnset)) {
        m_thumbnailScale = std::min(1.0f, kThumbnailLongSide / longSide);
        m_thumbnailSize = scaled(size, m_thumbnailScale);
        emit thumbnailScaleChanged(m_thumbnailScale);
    }
    enqueueCanvas(undoable);
    emit canvasSizeChanged(m_canvasSize);
}

void TNodeRoot::setCanvasSize(const QSize& size)
{
    changeCanvasSize(size, ScaleRule::KeepOnceSet, true);
}

void TNodeRoot::refreshAllSize(QSize size)
{
    changeCanvasSize(size, ScaleRule::Recompute, true);
}

void TNodeRoot::setCanvasSize_NoUndo(const QSize& size)
{
    changeCanvasSize(size, ScaleRule::KeepOnceSet, false);
    qCDebug(lcNodes) << "canvas: " << m_thumbnailSize << m_thumbnailScale << m_lowrezSize << m_lowrezScale << m_canvasSize;
}

void TNodeRoot::showCanvas(QSize size, QColor color, float lowrezScale, float thumbnailScale)
{
    if (size != m_canvasSize) {
        m_canvasSize = size;
        emit canvasSizeChanged(size);
    }
    if (color != m_canvasColor) {
        m_canvasColor = color;
        emit canvasColorChanged(color);
    }
    if (lowrezScale != m_lowrezScale) {
        m_lowrezScale = lowrezScale;
        m_lowrezSize = scaled(m_canvasSize, lowrezScale);
        emit lowrezScaleChanged(lowrezScale);
    }
    if (thumbnailScale != m_thumbnailScale) {
        m_thumbnailScale = thumbnailScale;
        m_thumbnailSize = scaled(m_canvasSize, thumbnailScale);
        emit thumbnailScaleChanged(thumbnailScale);
    }
}

void TNodeRoot::setLowrezScale(float s)
{
    if (s == m_lowrezScale)
        return;
    m_lowrezScale = std::clamp(s, 0.25f, 1.0f);
    if (m_canvasSize.width() >= 1 && m_canvasSize.height() >= 1)
        m_lowrezSize = scaled(m_canvasSize, m_lowrezScale);
    enqueueCanvas(true);
    emit lowrezScaleChanged(m_lowrezScale);
}

void TNodeRoot::setThumbnailScale(float s)
{
    if (s == m_thumbnailScale)
        return;
    m_thumbnailScale = std::clamp(s, 0.01f, 1.0f);
    if (m_canvasSize.width() >= 1 && m_canvasSize.height() >= 1)
        m_thumbnailSize = scaled(m_canvasSize, m_thumbnailScale);
    enqueueCanvas(true);
    emit thumbnailScaleChanged(m_thumbnailScale);
}

void TNodeRoot::setCanvasColor(const QColor& color)
{
    if (color == m_canvasColor)
        return;
    m_canvasColor = color;
    enqueueCanvas(true);
    emit canvasColorChanged(color);
}

void TNodeRoot::setProcMode(TImproc::ProcMode mode)
{
    if (mode == m_procMode)
        return;
    m_procMode = mode;
    enqueueReq(new TCmd_ProcMode(unsigned(uid()), mode));
    emit procModeChanged(mode);
}

void TNodeRoot::setImageUrl(const QUrl& url)
{
    if (!url.isValid() || url == imageUrl())
        return;
    m_params.insert(QStringLiteral("imageUrl"), url);
    enqueueAParam(QStringLiteral("imageUrl"), url);
    emit imageUrlChanged(url);
}

void TNodeRoot::setOutput(TSMat output)
{
    if (output == m_output)
        return;
    m_output = output;
    emit outputChanged(output);
}

void TNodeRoot::setInput(TSMat input)
{
    if (input.isEmpty())
        return;
    enqueueReq(new TCmd_SetInput(unsigned(uid()), input));
    setCanvasSize_NoUndo(input.size());
}

void TNodeRoot::apply()
{
    enqueueReq(new TCmd_SaveImage(unsigned(uid()), QUrl(), QVariantMap()));
}

void TNodeRoot::blockAndUpdateFbo(QString reqTag, QString fboId)
{
    enqueueReq(new TCmd_BlockAndUpdate(unsigned(uid()), reqTag, fboId));
}

void TNodeRoot::removeAllChildren()
{
    enqueueReq(new TCmd_DeleteAllChildren(unsigned(uid())));
}

namespace {
const QString kCanvasColor = QStringLiteral("canvasColor");
}

QVariantMap TNodeRoot::preset(bool bChildrenOnly)
{
    QVariantMap result = TNode::preset(bChildrenOnly);
    if (!bChildrenOnly)
        result.insert(kCanvasColor, m_canvasColor);
    return result;
}

bool TNodeRoot::setPreset(QVariantMap value, bool bChildrenOnly)
{
    if (!presetFits(value))
        return false;
    const PresetUndoGroup group(this);
    const QVariant color = value.take(kCanvasColor);
    if (!TNode::setPreset(value, bChildrenOnly))
        return false;
    if (!bChildrenOnly && color.canConvert<QColor>() && color.value<QColor>().isValid())
        setCanvasColor(color.value<QColor>());
    return true;
}

uint TNodeRoot::attachPreset(QVariantMap value)
{
    if (value.isEmpty())
        return 0;
    unsigned int attachPoint = unsigned(uid());
    QVariantMap own = value;
    own.remove(QStringLiteral("_children_"));
    const QString ownClass = own.value(QStringLiteral("className")).toString();
    if (!ownClass.isEmpty() && ownClass == className()) {
        // A whole tree's preset: its root is this root, never a second one inside it.
        const QVariant color = own.take(kCanvasColor);
        setParams(own);
        if (color.canConvert<QColor>() && color.value<QColor>().isValid())
            setCanvasColor(color.value<QColor>());
    } else if (!own.isEmpty()) {
        const unsigned int fresh = TUid().uid();
        enqueueReq(new TCmd_CreateNodeWithUid(own.value(QStringLiteral("className")).toString(), fresh, attachPoint,
                                              QString(), nullptr, own));
        computePreset(own, false, fresh);
        attachPoint = fresh;
    }
    for (const QVariant& entry : value.value(QStringLiteral("_children_")).toList()) {
        const QVariantMap map = entry.toMap();
        const unsigned int fresh = TUid().uid();
        enqueueReq(new TCmd_CreateNodeWithUid(map.value(QStringLiteral("className")).toString(), fresh, attachPoint,
                                              QString(), nullptr, map));
        computePreset(map, false, fresh);
    }
    return attachPoint;
}

bool TNodeRoot::removePreset(uint uid)
{
    if (childCount() == 0)
        return false;
    enqueueReq(new TCmd_DeleteLastChild(unsigned(this->uid()), uid));
    return true;
}

void TNodeRoot::generatePresetThumbnail(QString saveLocalationUrl, QSize imageSize, QVariantMap presetParams)
{
    setProcMode(TImproc::FULL);
    TSMat transparent(cv::Mat(std::max(imageSize.height(), 0), std::max(imageSize.width(), 0), CV_8UC4,
                              cv::Scalar::all(0)));
    transparent.setScale(1.0f);
    setInput(transparent);
    attachPreset(presetParams);
    enqueueReq(new TCmd_SaveThumbnail(unsigned(uid()), saveLocalationUrl));
    removeAllChildren();
}
