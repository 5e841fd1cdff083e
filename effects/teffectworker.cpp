#include "effects/teffectworker.h"

#include "effects/effectslogging.h"
#include "effects/teffect.h"
#include "effects/ttreenodeworker.h"
#include "engine/timpserver.h"
#include "engine/timpserverthread.h"
#include "gpu/estexture.h"
#include "gpu/glcache.h"
#include "gpu/glcolorspace.h"
#include "gpu/glprog.h"
#include "gpu/tsmatcache.h"
#include "gpu/tuid.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {
const QString kOutput = QStringLiteral("output");
const QString kErrorMessage = QStringLiteral("errorMessage");
const QStringList kModes{QStringLiteral("PREVIEW"), QStringLiteral("OUTPUT"), QStringLiteral("PRESET")};

QString memoryFigures()
{
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(TSFbo::totalKBytesUsed())
        .arg(TSFbo::maxKBytesUsed())
        .arg(ESTexture::totalKBytesUsed())
        .arg(GLCache::fboCacheKB())
        .arg(GLCache::delayDestroyBuffersKB());
}
} // namespace

TEffectWorker::TEffectWorker(const QString& className, unsigned int uid, unsigned int parentUid)
    : TEBaseWorker(className, uid, parentUid)
    , m_resultKeyBase(QStringLiteral("TEffectWorker/%1/%2/doProcOut/").arg(uid).arg(quintptr(this), 0, 16))
{
    auto* twin = qobject_cast<TEffect*>(TEBase::ptr(uid));
    if (!twin) {
        qCWarning(lcEffects) << "ERROR!!! TEffectWorker - no effect with uid" << uid << "for" << className;
        return;
    }
    connect(twin, &TEffect::reqProc, this, &TEffectWorker::processProcReq, Qt::QueuedConnection);
    connect(twin, &TEffect::reqCancel, this, &TEffectWorker::processCancelReq, Qt::QueuedConnection);
    connect(this, &TEffectWorker::blockingProcProgress, twin, &TEffect::blockingBusy);
    connect(this, &TEffectWorker::procFinished, twin, &TEffect::procFinished, Qt::QueuedConnection);
}

TEffectWorker::~TEffectWorker()
{
    releaseOwnResults();
}

void TEffectWorker::releaseOwnResults()
{
    for (const QString& mode : kModes)
        GLCache::release(m_resultKeyBase + mode);
}

QString TEffectWorker::procMode() const
{
    return stateData().value(QStringLiteral("procMode")).toString();
}

int TEffectWorker::decimation() const
{
    return std::max(1, stateData().value(QStringLiteral("decimation")).toInt());
}

TSMat TEffectWorker::input(int decimation) const
{
    return inputOf(QStringLiteral("input"), decimation);
}

TSMat TEffectWorker::input1(int decimation) const
{
    return inputOf(QStringLiteral("input1"), decimation);
}

TSMat TEffectWorker::inputOf(const QString& key, int decimation) const
{
    const TSMat source = stateData().value(key).value<TSMat>();
    if (decimation <= 1 || source.isEmpty())
        return source;
    // Keyed by content: every effect on this image shares the reduced copy.
    const QString cacheKey = QStringLiteral("TEffectWorker::inputDec/%1/%2").arg(source.uid()).arg(decimation);
    TSMat reduced = TSMatCache::getDerived(cacheKey, source.uid(), decimation);
    if (!reduced.isEmpty())
        return reduced;
    // An area average: a bilinear reduction would read a fraction of the pixels and alias.
    const cv::Size size(std::max(1, int(std::lround(double(source.width()) / decimation))),
                        std::max(1, int(std::lround(double(source.height()) / decimation))));
    cv::Mat m;
    cv::resize(source.mat(), m, size, 0, 0, cv::INTER_AREA);
    reduced = TSMat(m);
    reduced.setScale(1.0f / float(decimation));
    reduced.setUid(TUid::hash(source.uid(), uint(decimation)));
    TSMatCache::setDerived(cacheKey, reduced, source.uid(), decimation);
    return reduced;
}

TSFbo TEffectWorker::inputFbo(int decimation, bool toLinear, uint internalFormat) const
{
    return inputFboOf(QStringLiteral("input"), decimation, toLinear, internalFormat);
}

TSFbo TEffectWorker::input1Fbo(int decimation, bool toLinear, uint internalFormat) const
{
    return inputFboOf(QStringLiteral("input1"), decimation, toLinear, internalFormat);
}

TSFbo TEffectWorker::inputFboOf(const QString& key, int decimation, bool toLinear, uint internalFormat) const
{
    const uint sourceUid = stateData().value(key).value<TSMat>().uid();
    const TSMat image = inputOf(key, decimation);
    if (image.isEmpty())
        return TSFbo();
    const uint valid = TUid::hash(uint(decimation), sourceUid, TUid::hash(internalFormat, uint(toLinear)));
    const QString cacheKey = QStringLiteral("TEffectWorker::inFbo/%1/%2/%3/%4")
                                 .arg(sourceUid).arg(decimation).arg(internalFormat).arg(toLinear);
    TSFbo fbo = GLCache::get(cacheKey, valid);
    if (!fbo.isEmpty())
        return fbo;
    fbo = TSFbo(image, internalFormat);
    if (fbo.isEmpty())
        return TSFbo();
    if (toLinear) {
        TSFbo linear(fbo.size(), internalFormat);
        if (!GlColorSpace::sRGB2Linear(fbo, linear))
            return TSFbo();
        fbo = linear;
    }
    fbo.setScale(1.0f / float(decimation));
    fbo.setUid(valid);
    GLCache::set(cacheKey, fbo);
    return fbo;
}

void TEffectWorker::setOutput(const TSMat& image)
{
    if (updateData().value(kOutput).value<TSMat>() != image)
        setUpdateData(kOutput, QVariant::fromValue(image));
}

QStringList TEffectWorker::impParamKeys()
{
    if (impParamKeysCache.isEmpty())
        impParamKeysCache = remove(params().keys(), baseParamKeys());
    return impParamKeysCache;
}

QStringList TEffectWorker::remove(const QStringList& list, const QStringList& taken)
{
    QStringList rest;
    for (const QString& s : list) {
        if (!taken.contains(s))
            rest << s;
    }
    return rest;
}

QString TEffectWorker::postProc(const TSFbo& src, TSFbo& dst)
{
    dst = src;
    return QString();
}

bool TEffectWorker::isProcFinished()
{
    if (cancelRequested) {
        emit procFinished(currentReqTag, false, allUpdateData());
        return true;
    }
    if (!procError.isEmpty()) {
        setUpdateData(kErrorMessage, procError);
        emit procFinished(currentReqTag, false, allUpdateData());
        return true;
    }
    return false;
}

bool TEffectWorker::failedWith(const QString& answer)
{
    // A half-made image is no success: a step's answer is its error.
    if (!answer.isEmpty() && procError.isEmpty())
        setProcError(answer);
    return isProcFinished();
}

void TEffectWorker::drawInputPreview()
{
    const TSFbo fbo = inputFbo(decimation(), false, TSFbo::workingFormat());
    if (fbo.isEmpty())
        return;
    const QString group = QStringLiteral("inputPreviewerFboUid");
    const uint seen = stateData().value(QStringLiteral("inputPreviewerUid")).toUInt() ^ fbo.uid();
    if (!stateData().value(QStringLiteral("bForceRedraw")).toBool() && seen == uid(group))
        return;
    setUid(group, seen);
    drawToTGLImageView(fbo, QStringLiteral("inputPreviewerUid"));
}

void TEffectWorker::drawPreview(const TSFbo& image) const
{
    drawToTGLImageView(image, QStringLiteral("previewerUid"));
}

QString TEffectWorker::procTree(const QVariantMap& rootState, const TSFbo& in, TSFbo& out)
{
    const QString rootClass = TEBase::className(rootState);
    TTreeNodeWorker* root = TTreeNodeWorker::getCreateWorker(rootClass, TEBase::uid(rootState), 0);
    if (!root)
        return QStringLiteral("ERROR!!! no worker for tree class ") + rootClass;
    root->setRootData(&cancelRequested);
    const bool serial = rootState.value(QStringLiteral("params")).toMap().value(QStringLiteral("serialInput")).toBool();
    const TSFbo source = serial ? out : in;
    return root->procTree(rootState, source, out);
}

void TEffectWorker::processProcReq(QString reqTag, QVariantMap state)
{
    // The worker's one permit, held for the whole of a request.
    procSemaphore.acquire();
    const QSemaphoreReleaser held(procSemaphore);
    cancelRequested = false;
    procError.clear();
    currentReqTag = reqTag;
    setUpdateData(kOutput, QVariant::fromValue(TSMat()));
    setUpdateData(kErrorMessage, QString());
    process(reqTag, state);
}

void TEffectWorker::process(const QString& reqTag, QVariantMap state)
{
    TImpServerThread* thread = TImpServer::impThread();
    if (!thread || !thread->ensureGpu()) {
        setProcError(QStringLiteral("ERROR!!! no OpenGL context"));
        isProcFinished();
        return;
    }
    const QVariantMap rootState = state.take(QStringLiteral("_rootNode_")).toMap();
    setStateData(state);

    const TSMat source = input(1);
    const TSMat source1 = input1(1);
    if (source.uid() != lastInputUid || source1.uid() != lastInput1Uid) {
        // Only this worker's results go: the pool and the shared inputs serve others too.
        releaseOwnResults();
        TSFbo::resetMaxKBbytes();
        lastInputUid = source.uid();
        lastInput1Uid = source1.uid();
    }
    const int dec = decimation();
    const TSFbo in = inputFbo(dec, false, TSFbo::workingFormat());
    const TSFbo in1 = input1Fbo(dec, false, TSFbo::workingFormat());
    const auto uploadError = [](const char* which, const TSMat& m) {
        return QStringLiteral("ERROR!!! TEffectWorker - the GPU cannot take the %1 image (OpenCV type %2)")
            .arg(QLatin1String(which)).arg(m.type());
    };
    if (!source.isEmpty() && in.isEmpty())
        setProcError(uploadError("input", source));
    else if (!source1.isEmpty() && in1.isEmpty())
        setProcError(uploadError("input1", source1));
    if (isProcFinished())
        return;
    if (procMode() == QLatin1String("PREVIEW"))
        drawInputPreview();

    const uint key = TUid::hash(impParamKeys(), params(),
                                TUid::hash(source.uid(), source1.uid(), TUid::hash(procMode(), uint(dec))));
    const QString resultKey = m_resultKeyBase + procMode();
    TSFbo out = GLCache::get(resultKey, key);
    qCDebug(lcEffects) << "get cache " << key << out.width() << out.height();
    if (out.isEmpty()) {
        qCDebug(lcEffects) << "-------->> before doProc()- KB(TSFbo,max, ESTexture, GLCache, Buffer):" << memoryFigures();
        const QString answer = doProc(out);
        qCDebug(lcEffects) << "-------->> after  doProc()-------------------------------------------:" << memoryFigures();
        if (failedWith(answer))
            return;
        if (!out.isEmpty()) {
            out.setUid(key);
            GLCache::set(resultKey, out);
        }
    }
    if (!out.isEmpty()) {
        if (failedWith(procTree(rootState, in, out)))
            return;
        TSFbo result = in1.isEmpty() ? in : in1;
        GLProg::glLog(QStringLiteral("Before Postproc TEffectWorker::processProcReq - ") + reqTag);
        if (failedWith(postProc(out, result)))
            return;
        if (procMode() == QLatin1String("PREVIEW")) {
            drawPreview(result);
        } else {
            // Back with the channels it came in with: a transparent image keeps its alpha.
            const TSMat& shape = in1.isEmpty() ? source : source1;
            const int type = shape.isEmpty() || shape.mat().channels() == 4 ? CV_16UC4 : CV_16UC3;
            setOutput(result.dataToTSMat(type, true, true));
        }
    }
    clearParamsChanges();
    GLProg::glLog(QStringLiteral("Done TEffectWorker::processProcReq - ") + reqTag);
    emit procFinished(reqTag, true, allUpdateData());
}
