#include "nodes/timpimagelistworker.h"

#include "io/imageiomanager.h"
#include "io/workspace.h"
#include "nodes/nodeslogging.h"
#include "nodes/timpimagelist.h"

TImpImageListWorker::TImpImageListWorker(unsigned int uid, unsigned int parentUid)
    : TNodeWorker(uid, parentUid)
{
    connect(this, &TImprocWorker::updateReq, this, &TImpImageListWorker::procUpdateReq, Qt::DirectConnection);
    // The GUI thread is blocked in the creating call: the twin cannot go away meanwhile.
    if (auto* twin = qobject_cast<TImpImageList*>(TImproc::ptr(uid))) {
        connect(this, &TImpImageListWorker::currentIndexChanged, twin, &TImpImageList::reportIndex,
                Qt::QueuedConnection);
        connect(this, &TImpImageListWorker::countChanged, twin, &TImpImageList::setCount, Qt::QueuedConnection);
        connect(this, &TImpImageListWorker::imageSizeChanged, twin, &TImpImageList::imageSizeChanged,
                Qt::QueuedConnection);
        connect(this, &TImpImageListWorker::saveFinished, twin, &TImpImageList::saveFinished, Qt::QueuedConnection);
    }
}

TImpImageListWorker::~TImpImageListWorker() = default;

QString TImpImageListWorker::loadImage(TSMat& out)
{
    out = TSMat();
    const QUrl url = paramValue(QStringLiteral("imageUrl")).toUrl();
    if (!url.isLocalFile())
        return QStringLiteral("ERROR - URL in wrong scheme!!!");
    QString error;
    out = ImageIOManager::tryLoadFile(url.toLocalFile(), Workspace::colorManagmentSystem(), &error);
    if (out.isEmpty())
        return QStringLiteral("ERROR - Load File Failed!!! ") + url.toLocalFile() + QStringLiteral(": ") + error;
    return QString();
}

void TImpImageListWorker::pushImage(const TSMat& image, const QString& name)
{
    m_list.push({image, name});
    // The worker's own position follows the list, as the twin's does.
    setParams({{QStringLiteral("index"), m_list.currentIndex()}, {QStringLiteral("count"), m_list.count()}});
    emit currentIndexChanged(m_list.currentIndex());
    emit countChanged(m_list.count());
    emit imageSizeChanged(QSize(image.mat().cols, image.mat().rows));
}

cv::Mat TImpImageListWorker::currentImage() const
{
    const int index = paramValue(QStringLiteral("index")).toInt();
    return index >= 0 && index < m_list.count() ? m_list.at(index).mat.mat() : cv::Mat();
}

void TImpImageListWorker::loadIfChanged()
{
    const QUrl url = paramValue(QStringLiteral("imageUrl")).toUrl();
    if (m_loaded && url == m_loadedUrl)
        return;
    m_loaded = true;
    m_loadedUrl = url;
    m_list.clear();
    TSMat image;
    const QString error = loadImage(image);
    if (!error.isEmpty()) {
        qCWarning(lcNodes) << error;
        emit errorMessage(error);
    }
    pushImage(image, QStringLiteral("Original Image"));
}

void TImpImageListWorker::procUpdateReq(TImprocWorker*, QString&, QString&)
{
    loadIfChanged();
}

QString TImpImageListWorker::layerSource(const TSFbo&, TSFbo&, bool* contributes)
{
    loadIfChanged();
    *contributes = false;
    return QString();
}

bool TImpImageListWorker::saveStandalone(const QUrl& fileName, const QVariantMap& fileParams)
{
    const int index = paramValue(QStringLiteral("index")).toInt();
    QString error;
    if (index < 0 || index >= m_list.count() || m_list.at(index).mat.isEmpty()) {
        error = QStringLiteral("ERROR!!! the image list has no image to save");
    } else {
        QString path = ImageIOManager::localPathFromUrl(fileName, &error);
        if (!path.isEmpty()) {
            ImageIOManager::trySaveFile(path, m_list.at(index).mat, Workspace::colorManagmentSystem(),
                                        ImageIOManager::toOptions(fileParams), &error);
        }
    }
    emit saveFinished(fileName, error);
    return true;
}
