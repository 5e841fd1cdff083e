#include "imagelayer.h"

#include "io/imageiomanager.h"
#include "io/workspace.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <future>

namespace {
// Reads by source string. A std::async future waits for its read when the last copy goes,
// so nothing outlives clearReadAhead() still decoding.
QMutex g_readAheadMutex;
QHash<QString, std::shared_future<ImageLayer::Loaded>> g_readAhead;
} // namespace

ImageLayer::ImageLayer(TImproc* parent, unsigned int uid)
    : TNode(parent, uid)
{
    m_params.insert(QStringLiteral("source"), QString());
    finalizeTNodeClass(QStringLiteral("ImageLayer"));
}

void ImageLayer::setSource(const QString& v)
{
    if (v != source()) {
        // A read nobody took is dropped (after it ends) instead of holding its pixels.
        Loaded stale;
        takeReadAhead(source(), &stale);
        readAhead(v);
    }
    setValue(QStringLiteral("source"), v, &ImageLayer::sourceChanged);
}

ImageLayer::Loaded ImageLayer::read(const QString& source)
{
    Loaded loaded;
    QString error;
    const QString path = ImageIOManager::localPathFromUrl(QUrl(source), &error);
    if (path.isEmpty()) {
        loaded.error = QStringLiteral("ERROR!!! ImageLayer: no file for \"%1\" %2").arg(source, error);
        return loaded;
    }
    // Colour conversion is not locked: each reading thread converts with its own copy.
    ColorManagementSystem cms = Workspace::colorManagmentSystem();
    loaded.pixels = ImageIOManager::tryLoadFile(path, cms, &error);
    if (loaded.pixels.isEmpty())
        loaded.error = QStringLiteral("ERROR!!! ImageLayer: %1").arg(error); // the reader names the file
    return loaded;
}

void ImageLayer::readAhead(const QString& source)
{
    if (source.isEmpty())
        return;
    QMutexLocker lock(&g_readAheadMutex);
    if (g_readAhead.contains(source))
        return;
    g_readAhead.insert(source, std::async(std::launch::async, [source] { return read(source); }).share());
}

void ImageLayer::readAhead(const QVariantMap& preset)
{
    if (preset.value(QStringLiteral("className")).toString() == QLatin1String("ImageLayer"))
        readAhead(preset.value(QStringLiteral("source")).toString());
    for (const QVariant& child : preset.value(QStringLiteral("_children_")).toList())
        readAhead(child.toMap());
}

bool ImageLayer::takeReadAhead(const QString& source, Loaded* loaded)
{
    std::shared_future<Loaded> pending;
    {
        QMutexLocker lock(&g_readAheadMutex);
        pending = g_readAhead.take(source);
    }
    if (!pending.valid())
        return false;
    *loaded = pending.get();
    return true;
}

void ImageLayer::clearReadAhead()
{
    QHash<QString, std::shared_future<Loaded>> pending;
    {
        QMutexLocker lock(&g_readAheadMutex);
        pending.swap(g_readAhead);
    }
    pending.clear(); // waits for each read still running
}
