#include "effects/ttreenodeworker.h"

#include "effects/effectslogging.h"
#include "effects/tebase.h"
#include "effects/tefactory.h"
#include "effects/ttreenode.h"

#include <QOpenGLFunctions_3_3_Core>
#include <QThread>

#include <algorithm>
#include <cmath>

namespace {
const QString kParams = QStringLiteral("params");
} // namespace

bool TTreeNodeWorker::cancel() const
{
    for (const QObject* o = this; o; o = o->parent()) {
        if (auto* w = qobject_cast<const TTreeNodeWorker*>(o); w && w->m_cancel)
            return *w->m_cancel;
    }
    return false;
}

bool TTreeNodeWorker::playNice() const
{
    if (QOpenGLFunctions_3_3_Core* f = funcs())
        f->glFinish();
    QThread::yieldCurrentThread();
    return cancel();
}

TTreeNodeWorker* TTreeNodeWorker::getCreateWorker(const QString& className, uint uid, uint parentUid)
{
    if (TEBaseWorker* existing = ptr(uid)) {
        auto* tree = qobject_cast<TTreeNodeWorker*>(existing);
        if (tree && tree->className() == className)
            return tree;
        // The registry keeps the first worker of a uid: a stale one would shadow every new one.
        delete existing;
    }
    TEBaseWorker* made = TEFactory::createWorker(className, uid, parentUid);
    auto* tree = qobject_cast<TTreeNodeWorker*>(made);
    if (!tree)
        delete made;
    return tree;
}

QString TTreeNodeWorker::procTree(const QVariantMap& nodeState, const TSFbo& input, TSFbo& output)
{
    QVariantMap own = nodeState;
    const QVariantList children = own.take(TTreeNode::kChildren).toList();
    setStateData(own);

    TSFbo result = input;
    QString status = doProc(result);
    if (!status.isEmpty() || cancel())
        return status;

    // Once no later parallel child reads this node's own result, let go of it, so the running
    // image is the only handle and serial children draw into it without a copy.
    int lastParallel = -1;
    for (int i = 0; i < children.size(); ++i) {
        if (!children[i].toMap().value(kParams).toMap().value(QStringLiteral("serialInput")).toBool())
            lastParallel = i;
    }
    TSFbo running = result;
    for (int i = 0; i < children.size(); ++i) {
        if (i > lastParallel)
            result = TSFbo();
        const QVariantMap childState = children[i].toMap();
        const QVariantMap childParams = childState.value(kParams).toMap();
        const QString cls = TEBase::className(childState);
        TTreeNodeWorker* child = getCreateWorker(cls, TEBase::uid(childState), uid());
        if (!child)
            return QStringLiteral("ERROR!!! no worker for tree class ") + cls;
        // A node moved from another parent brings its worker along: it now lives (and is
        // deleted, and finds its cancel flag) here.
        if (child->parent() != this)
            child->setParent(this);
        // A disabled layer takes no part in the picture.
        if (!childParams.value(QStringLiteral("enabled"), true).toBool())
            continue;
        const TSFbo childInput = childParams.value(QStringLiteral("serialInput")).toBool() ? running : result;
        status = child->procTree(childState, childInput, running);
        if (!status.isEmpty() || cancel())
            return status;
    }
    drawOutputThumbnail(running);
    status = postProc(running, output);
    if (status.isEmpty())
        clearParamsChanges();
    return status;
}

QString TTreeNodeWorker::postProc(const TSFbo& source, TSFbo& destination)
{
    destination = source;
    return QString();
}

void TTreeNodeWorker::drawOutputThumbnail(const TSFbo& image)
{
    const uint viewer = stateData().value(QStringLiteral("thumbnailViewerUid")).toUInt();
    if (viewer == 0 || image.isEmpty() || image.uid() == m_lastThumbnailUid)
        return;
    const int length = std::max(1, stateData().value(QStringLiteral("thumbnailLength")).toInt());
    const double s = double(length) / std::max(image.width(), image.height());
    TSFbo thumbnail(std::max(1, int(std::lround(image.width() * s))), std::max(1, int(std::lround(image.height() * s))),
                    TSFbo::workingFormat());
    image.scaleTo(thumbnail);
    thumbnail.setUid(image.uid());
    thumbnail.setScale(float(s));
    drawToTGLImageView(thumbnail, QStringLiteral("thumbnailViewerUid"));
    m_lastThumbnailUid = image.uid();
}
