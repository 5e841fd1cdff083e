#include "imagelayer.h"

#include "io/imageiomanager.h"
#include "io/workspace.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QList>

#include <algorithm>
#include <chrono>
#include <future>

namespace {
// Reads by source string. A std::async future waits for its read when the last copy goes,
// so nothing outlives clearReadAhead() still decoding.
QMutex g_readAheadMutex;
QHash<QString, std::shared_future<ImageLayer::Loaded>> g_readAhead;
// Reads nobody will take, kept only until they end: dropping the last copy of a running one
// would wait for it on the dropping thread (the GUI thread, when a source changes).
QList<std::shared_future<ImageLayer::Loaded>> g_dropped;

bool finished(const std::shared_future<ImageLayer::Loaded>& read)
{
    return read.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

// Forgets the read of `source`: its pixels go now if it has ended, else when it ends.
void dropReadAhead(const QString& source)
{
    QMutexLocker lock(&g_readAheadMutex);
    g_dropped.erase(std::remove_if(g_dropped.begin(), g_dropped.end(), finished), g_dropped.end());
    if (std::shared_future<ImageLayer::Loaded> read = g_readAhead.take(source); read.valid() && !finished(read))
        g_dropped << read;
}
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
        // A read nobody took is dropped instead of holding its pixels.
        dropReadAhead(source());
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
    QList<std::shared_future<Loaded>> dropped;
    {
        QMutexLocker lock(&g_readAheadMutex);
        pending.swap(g_readAhead);
        dropped.swap(g_dropped);
    }
    pending.clear(); // waits for each read still running
    dropped.clear();
}
