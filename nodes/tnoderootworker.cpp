#include "nodes/tnoderootworker.h"
#include "nodes/nodeslogging.h"

#include "gpu/tuid.h"
#include "gpu/glareareduce.h"
#include "gpu/glcache.h"
#include "gpu/glimfilter.h"
#include "gpu/glresources.h"
#include "gpu/gltransform.h"
#include "io/backgroundimagewriter.h"
#include "io/imageiomanager.h"
#include "nodes/tnode.h"
#include "nodes/tnoderoot.h"

#include <QImage>
#include <QImageWriter>
#include <QOpenGLFunctions_3_3_Core>
#include <atomic>
#include <cmath>
#include <opencv2/core.hpp>

namespace {
constexpr float kMinOpacity = 0.005f;
const QString kOutput = QStringLiteral("_output_");
const QString kInput = QStringLiteral("_input_");

bool fuzzyOne(float s)
{
    return TImproc::floatValuesEqual(s, 1.0f);
}

QSize scaled(const QSize& size, float factor)
{
    return QSize(int(std::lround(size.width() * factor)), int(std::lround(size.height() * factor)));
}
} // namespace

TNodeRootWorker::TNodeRootWorker(unsigned int uid, unsigned int parentUid)
    : TNodeWorker(uid, parentUid)
{
    if (auto* gui = qobject_cast<TNodeRoot*>(TImproc::ptr(uid))) {
        connect(this, &TNodeRootWorker::outputChanged, gui, &TNodeRoot::setOutput, Qt::QueuedConnection);
        connect(this, &TNodeRootWorker::saveFinished, gui, &TNodeRoot::saveFinished, Qt::QueuedConnection);
    }
    connect(this, &TImprocWorker::updateReq, this, &TNodeRootWorker::procUpdateReq, Qt::DirectConnection);
    connect(this, &TNodeWorker::saveOutputReq, this,
            [this](TNodeWorker* which, const QUrl& url, const QVariantMap& params) { procSaveOutputReq(which, url, params); },
            Qt::QueuedConnection);
}

TNodeRootWorker::~TNodeRootWorker()
{
    m_writer.reset(); // every save asked for is written and reported while this object is whole
    GLCache::release(reducedInputKey());
}

void TNodeRootWorker::setCanvas(const QSize& size, const QColor& color, float lowrezScale, float thumbnailScale)
{
    if (size == m_canvasSize && color == m_canvasColor && TImproc::floatValuesEqual(lowrezScale, m_lowrezScale)
        && TImproc::floatValuesEqual(thumbnailScale, m_thumbnailScale))
        return;
    m_canvasSize = size;
    m_canvasColor = color;
    m_lowrezScale = lowrezScale;
    m_thumbnailScale = thumbnailScale;
}

void TNodeRootWorker::prepareInput(const TSMat& input)
{
    cv::Mat m = input.mat();
    // A 16-bit input keeps its 16 bits on the GPU: a save must give back what a 16-bit file
    // held (within the working format's precision), which 8 bits cannot. Three channels are
    // widened once, here, with an opaque alpha.
    if (m.type() == CV_16UC3) {
        cv::Mat alpha(m.rows, m.cols, CV_16UC1, cv::Scalar(65535));
        const cv::Mat parts[] = {m, alpha};
        cv::Mat rgba;
        cv::merge(parts, 2, rgba);
        m = rgba;
    }
    // Whether the canvas can show through anywhere, decided once per input.
    m_inputOpaque = true;
    if (m.channels() == 4) {
        cv::Mat alpha;
        cv::extractChannel(m, alpha, 3);
        double lowest = 0;
        cv::minMaxLoc(alpha, &lowest);
        m_inputOpaque = lowest >= (m.depth() == CV_16U ? 65535.0 : 255.0);
    }
    TSMat converted(m);
    converted.setUid(input.uid());
    converted.setScale(input.scale());
    converted.setName(input.name());
    converted.setProperties(input.properties());
    m_input = TSFbo(converted, m.depth() == CV_16U ? GL_RGBA16 : GL_RGBA8);
    static std::atomic<quint64> inputsTaken{0};
    m_inputKey = ++inputsTaken;
}

float TNodeRootWorker::modeScale() const
{
    switch (m_procMode) {
    case TImproc::FULL:
        return 1.0f;
    case TImproc::LOWREZ:
        return m_lowrezScale;
    case TImproc::THUMBNAIL:
        return m_thumbnailScale;
    default:
        return 0.0f;
    }
}

TSFbo TNodeRootWorker::canvasFbo() const
{
    if (m_procMode == TImproc::NONE)
        return TSFbo();
    const float factor = modeScale();
    const QSize size = scaled(m_canvasSize, factor);
    TSFbo canvas(size, TSFbo::workingFormat());
    QOpenGLFunctions_3_3_Core* f = funcs();
    if (canvas.isEmpty() || !f || !canvas.bind())
        return TSFbo();
    f->glClearColor(float(m_canvasColor.redF()), float(m_canvasColor.greenF()), float(m_canvasColor.blueF()),
                    float(m_canvasColor.alphaF()));
    f->glClear(GL_COLOR_BUFFER_BIT);
    canvas.release();
    canvas.setName(QStringLiteral("Background"));
    canvas.setScale(factor);
    canvas.setUid(TUid::hash(size, TUid::hash(m_canvasColor, 0)));
    return canvas;
}

TSFbo TNodeRootWorker::fullCanvas() const
{
    // An opaque input of the canvas's size, unmoved, replaces the whole canvas as the walk
    // starts: loaded at once, the cleared full-size canvas it would replace is never made
    // (one full-size image allocated, zeroed and cleared less per export).
    if (m_input.isEmpty() || !m_inputOpaque || m_input.size() != m_canvasSize || !inputUnmoved())
        return canvasFbo();
    TSFbo loaded;
    if (!loadImageAt(loaded, m_canvasSize, 1.0f, QStringLiteral("Background")).isEmpty() || loaded.isEmpty())
        return canvasFbo();
    return loaded;
}

quint64 TNodeRootWorker::canvasKey() const
{
    const float factor = modeScale();
    const QSize size = scaled(m_canvasSize, factor);
    const quint64 sized = TUid::chain(quint32(size.width()), quint32(size.height()));
    return TUid::chain(TUid::chain(sized, m_canvasColor.rgba64()), TUid::hash(factor));
}

QString TNodeRootWorker::loadImage(TSFbo& io) const
{
    return loadImageAt(io, io.size(), io.scale(), io.name());
}

QString TNodeRootWorker::loadImageAt(TSFbo& io, const QSize& size, float scale, const QString& name) const
{
    if (m_input.isEmpty()) {
        io = TSFbo();
        return QString();
    }
    const uint loadedUid = TUid::hash(m_input.uid(), scale, 2, 3, 4, 5, 6, 7, 8);
    if (!io.isEmpty() && io.size() == size && io.uid() == loadedUid)
        return QString(); // loaded already (fullCanvas)
    const TSFbo source = inputFor(size);
    if (m_inputOpaque && source.size() == size) {
        // Pixel for pixel and nothing to see through: a nearest copy reads each input pixel
        // as it is, and skips the clear and the blending.
        GLImFilter copy(QStringLiteral(":/korvane/glshaders/copy.frag"));
        copy.setTexture(QStringLiteral("inputTexture0"), source, GL_NEAREST, GL_MIRRORED_REPEAT);
        TSFbo target = copy.render(size, TSFbo::workingFormat(), scale);
        if (target.isEmpty())
            return QStringLiteral("ERROR - TNodeRootWorker::loadImage - no framebuffer");
        target.setName(name);
        target.setUid(loadedUid);
        io = target;
        return QString();
    }
    // The input is stretched over the whole target and composited over the canvas colour
    // by its alpha, so transparent areas show the canvas, not black.
    TSFbo target(size, TSFbo::workingFormat());
    QOpenGLFunctions_3_3_Core* f = funcs();
    if (target.isEmpty() || !f || !target.bind())
        return QStringLiteral("ERROR - TNodeRootWorker::loadImage - no framebuffer");
    f->glClearColor(float(m_canvasColor.redF()), float(m_canvasColor.greenF()), float(m_canvasColor.blueF()), 1.0f);
    f->glClear(GL_COLOR_BUFFER_BIT);
    target.release();
    GLImFilter over(QStringLiteral(":/korvane/glshaders/opacity.frag"), QStringLiteral(":/korvane/glshaders/uvscale.vert"));
    over.proc(1.0f, source, target);
    target.setScale(scale);
    target.setName(name);
    target.setUid(loadedUid);
    io = target;
    return QString();
}

QString TNodeRootWorker::reducedInputKey() const
{
    return QStringLiteral("TNodeRootWorker/%1/%2/reducedInput").arg(uid()).arg(quintptr(this), 0, 16);
}

TSFbo TNodeRootWorker::inputFor(const QSize& size) const
{
    const bool smaller = size.width() <= m_input.width() && size.height() <= m_input.height() && size != m_input.size();
    if (!smaller)
        return m_input;
    // One entry per worker: a preview keeps its reduced input while only the tree changes.
    const QString key = reducedInputKey();
    const uint reducedUid = TUid::hash(size, m_input.uid());
    TSFbo reduced = GLCache::get(key, reducedUid);
    if (reduced.isEmpty()) {
        reduced = GLAreaReduce().reduce(m_input, size);
        if (reduced.isEmpty())
            return m_input; // sampled instead: detail may alias, but the image is there
        reduced.setUid(reducedUid);
        GLCache::set(key, reduced);
    }
    return reduced;
}

QString TNodeRootWorker::doTransform(const TSFbo& in, TSFbo& out) const
{
    if (in.isEmpty() || out.isEmpty())
        return QString();
    // The loaded image is opaque and already the canvas's size: unmoved, it covers the
    // canvas exactly, so the placement pass would only copy it.
    if (in.size() == out.size() && inputUnmoved()) {
        out = in;
        return QString();
    }
    GLTransform placement;
    placement.proc(in, paramValue(QStringLiteral("inputTranslate")).toPointF(), paramFloat("inputScale"),
                   paramFloat("inputRotate") * 360.f, out);
    return QString();
}

bool TNodeRootWorker::inputUnmoved() const
{
    return unmoved("inputTranslate", "inputScale", "inputRotate");
}

bool TNodeRootWorker::composeKeepsChildrenResult(const TSFbo& in, const TSFbo& out) const
{
    // The children start from an opaque image when the canvas is opaque or the (always
    // opaque) loaded input covers it unmoved, and blending onto an opaque image keeps it
    // opaque. An opaque image laid unmoved by NORMAL at full opacity without a selection
    // replaces every pixel: the composite would only copy it.
    const bool opaque = m_canvasColor.alpha() == 255 || (!m_input.isEmpty() && inputUnmoved());
    return opaque && in.size() == out.size() && paramFloat("opacity") >= 1.f
           && paramValue(QStringLiteral("blendMode")).toInt() == TNode::BLENDMODE_NORMAL
           && paramValue(QStringLiteral("selType")).toInt() == TNode::NONE && unmoved("translate", "scale", "rotate");
}

QString TNodeRootWorker::proc(const TSFbo& in, TSFbo& out, TPendingList& pending, quint64 inKey)
{
    if (pending.isEmpty() || !paramValue(QStringLiteral("active")).toBool())
        return QString();
    const quint64 own = stateKey();
    const quint64 startKey = inKey == 0 || own == 0 || !rendersEverythingBelow(pending)
                                 ? 0 : TUid::chain(TUid::chain(inKey, m_inputKey), own);
    // When the root's composite keeps its children's result, that result is the output and
    // shares its key; otherwise the output has a key of its own.
    const bool childrenResultIsOutput = paramFloat("opacity") >= kMinOpacity && composeKeepsChildrenResult(out, out);
    quint64 outputKey = startKey == 0 ? 0 : childrenResultKey(startKey);
    if (outputKey != 0 && !childrenResultIsOutput)
        outputKey = TUid::chain(outputKey, 0x726f6f74ull);
    if (const TSFbo kept = keptImage(outputKey, out.size()); !kept.isEmpty()) {
        out = kept;
    } else {
        const QString status = renderTree(in, out, pending, startKey);
        if (!status.isEmpty())
            return status;
        keepImage(outputKey, out);
    }
    pending.removeOne(this);
    clearParamsChange(QString());
    return QString();
}

QString TNodeRootWorker::placeInput(const TSFbo& in, TSFbo& out, TSFbo& childrenInput)
{
    childrenInput = in;
    QString status = loadImage(childrenInput);
    if (status.isEmpty())
        status = doTransform(childrenInput, out);
    if (status.isEmpty() && paramFloat("opacity") >= kMinOpacity)
        status = prepareChildrenInput(out, childrenInput);
    return status;
}

QString TNodeRootWorker::renderTree(const TSFbo& in, TSFbo& out, TPendingList& pending, quint64 startKey)
{
    // The placed input is needed only by the root's own composite, so when that keeps the
    // children's result a kept start image spares placing the input again.
    const bool placedUnread = paramFloat("opacity") >= kMinOpacity && composeKeepsChildrenResult(out, out);
    TSFbo childrenInput = placedUnread ? keptImage(startKey, out.size()) : TSFbo();
    if (childrenInput.isEmpty()) {
        const QString status = placeInput(in, out, childrenInput);
        if (!status.isEmpty() || paramFloat("opacity") < kMinOpacity)
            return status;
        if (placedUnread)
            keepImage(startKey, childrenInput);
    }
    if (!placedUnread) {
        const QString status = childrenProc(childrenInput, pending, startKey);
        return status.isEmpty() ? postProc(childrenInput, out) : status;
    }
    out = TSFbo(); // not read again: not held through the walk
    const QString status = childrenProc(childrenInput, pending, startKey);
    if (status.isEmpty())
        out = childrenInput;
    return status;
}

QString TNodeRootWorker::prepareChildrenInput(const TSFbo& placed, TSFbo& childrenInput)
{
    childrenInput = placed;
    return QString();
}

QString TNodeRootWorker::postProc(const TSFbo& in, TSFbo& out)
{
    if (in.isEmpty() || out.isEmpty())
        return QString();
    if (paramFloat("opacity") < kMinOpacity || composeKeepsChildrenResult(in, out)) {
        out = in;
        return QString();
    }
    return compose(in, out);
}

QString TNodeRootWorker::saveOutput(const TSFbo& in, TSFbo& out, TNodeWorker* target)
{
    if (!paramValue(QStringLiteral("active")).toBool())
        return QString();
    TSFbo tmp = in;
    QString status = loadImage(tmp);
    // Held only while the result may still be this very copy (no layer shows): a full-size
    // image kept through a whole walk would raise the peak memory of every large export.
    const TSFbo loaded = isPlainCopyOfInput(tmp) && !showsAnyChild() ? tmp : TSFbo();
    if (status.isEmpty())
        status = doTransform(tmp, out);
    if (!status.isEmpty() || paramFloat("opacity") < kMinOpacity)
        return status;
    status = prepareChildrenInput(out, tmp);
    if (!status.isEmpty())
        return status;
    // A composite that keeps the children's result never reads the placed image in `out`:
    // it goes before the walk, one full-size image less at the peak of every export.
    const bool placedUnread = composeKeepsChildrenResult(tmp, out);
    if (placedUnread)
        out = TSFbo();
    bool reached = false;
    status = childrenSave(tmp, target, &reached);
    if (!status.isEmpty())
        return status;
    if (reached || placedUnread)
        out = tmp;
    else
        status = postProc(tmp, out);
    // A walk that handed back the loaded copy untouched gives back the input itself: the
    // half-float working format cannot carry 16-bit samples, and an unedited file must come
    // back bit for bit.
    if (status.isEmpty() && !loaded.isEmpty() && out.texture() == loaded.texture())
        out = m_input;
    return status;
}

bool TNodeRootWorker::isPlainCopyOfInput(const TSFbo& loaded) const
{
    // loadImage copies an opaque input of the target's size pixel for pixel.
    return !loaded.isEmpty() && m_inputOpaque && loaded.size() == m_input.size();
}

void TNodeRootWorker::procUpdateReq(TImprocWorker*, QString& reqTag, QString& fboId)
{
    if (m_procMode == TImproc::NONE)
        return;
    if (fboId == kInput) {
        TSFbo input = canvasFbo();
        loadImage(input);
        emit outputFbo(QString(), int(uid()), fboId, input);
        return;
    }
    if (m_procMode == TImproc::LOWREZ && !fuzzyOne(m_lowrezScale)) {
        TPendingList full = nodesNeedsFullProc();
        if (!full.isEmpty()) {
            qCDebug(lcNodes) << "TBD: full nodes: " << full;
            m_procMode = TImproc::FULL;
            TSFbo canvas = canvasFbo();
            proc(canvas, canvas, full, canvasKey());
            m_procMode = TImproc::LOWREZ;
        }
    }
    TPendingList pending{this};
    TSFbo canvas = canvasFbo();
    const QString status = proc(canvas, canvas, pending, canvasKey());
    if (!status.isEmpty())
        emit errorMessage(status);
    emit outputFbo(reqTag, int(uid()), kOutput, canvas);
}

TSFbo TNodeRootWorker::renderFull(TNodeWorker* target, QString* error)
{
    const TImproc::ProcMode mode = m_procMode;
    m_procMode = TImproc::FULL;
    TSFbo canvas = fullCanvas();
    const QString status = saveOutput(canvas, canvas, target ? target : this);
    m_procMode = mode;
    if (error)
        *error = status;
    return canvas;
}

TSMat TNodeRootWorker::procSaveOutputReq(TImprocWorker* which, const QUrl& fileName, const QVariantMap& fileParams)
{
    QString error;
    TSFbo image = renderFull(qobject_cast<TNodeWorker*>(which), &error);
    if (error.isEmpty() && image.isEmpty())
        error = QStringLiteral("ERROR!!! nothing to save: the canvas is empty");
    if (!fileName.isValid()) {
        // A half-rendered image is never handed out as the result.
        if (error.isEmpty())
            emit outputChanged(image.dataToTSMat(CV_16UC3));
        else
            reportSaveFailure(fileName, error);
        return TSMat();
    }
    QString path;
    if (error.isEmpty())
        path = ImageIOManager::localPathFromUrl(fileName, &error);
    if (error.isEmpty()) {
        // A render error writes nothing: a half-rendered image must not replace a file.
        // With no preview to render, the walk's framebuffers would only sit through the
        // read-back, conversion and encoding, which need the memory more: the next save (a
        // batch's next image) allocates afresh, at a cost measured as noise. Before the
        // read-back all but the result go, after it the result too.
        const bool idleAfter = m_procMode == TImproc::NONE;
        if (idleAfter)
            GLResources::releaseIdleMemory();
        TSMat pixels = image.dataToTSMat(CV_16UC4);
        image = TSFbo();
        if (idleAfter)
            GLResources::releaseIdleMemory();
        pixels.setProperties(m_input.properties());
        // Converted and written while this thread renders what comes next.
        if (!m_writer)
            m_writer = std::make_unique<BackgroundImageWriter>();
        m_writer->write(path, pixels, ImageIOManager::toOptions(fileParams), [this, fileName](const QString& failure) {
            if (failure.isEmpty())
                emit saveFinished(fileName, failure);
            else
                reportSaveFailure(fileName, failure);
        });
        return TSMat();
    }
    reportSaveFailure(fileName, error);
    return TSMat();
}

void TNodeRootWorker::reportSaveFailure(const QUrl& fileName, const QString& error)
{
    // The host reports it from saveFinished: logged here only for debugging, so users read it once.
    qCDebug(lcNodes) << "TNodeRootWorker - save failed:" << error;
    emit saveFinished(fileName, error);
}

bool TNodeRootWorker::procSaveQImage(TImprocWorker* which, const QString& fileName)
{
    QString error;
    const TSFbo image = renderFull(qobject_cast<TNodeWorker*>(which), &error);
    if (!error.isEmpty()) {
        qCWarning(lcNodes) << "TNodeRootWorker - thumbnail not written:" << error;
        return false;
    }
    if (image.isEmpty() || fileName.isEmpty())
        return false;
    const cv::Mat rgb = image.dataToMat(CV_8UC3);
    QImage qimage(rgb.cols, rgb.rows, QImage::Format_ARGB32);
    for (int y = 0; y < rgb.rows; ++y) {
        const cv::Vec3b* row = rgb.ptr<cv::Vec3b>(y);
        QRgb* line = reinterpret_cast<QRgb*>(qimage.scanLine(y));
        for (int x = 0; x < rgb.cols; ++x)
            line[x] = qRgba(row[x][0], row[x][1], row[x][2], 255);
    }
    QImageWriter writer(fileName);
    if (!writer.write(qimage)) {
        qCWarning(lcNodes) << "writer failed " << writer.errorString();
        return false;
    }
    return true;
}
