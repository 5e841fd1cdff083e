#include "gpu/gltextureutils.h"
#include "gpu/gpulogging.h"

#include <QFile>
#include <QFileInfo>

#include <limits>
#include <new>

bool GLTextureUtils::load(const QString& path, char** buffer, uint& size)
{
    if (!buffer)
        return false;
    *buffer = nullptr;
    size = 0;
    if (QFileInfo(path).suffix() != QLatin1String("dds")) {
        qCWarning(lcGpu) << "GLTextureUtils::load - not a .dds file:" << path;
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcGpu) << "GLTextureUtils::load - cannot open" << path << file.errorString();
        return false;
    }
    const qint64 bytes = file.size();
    if (bytes < 0 || quint64(bytes) > std::numeric_limits<uint>::max()) {
        qCWarning(lcGpu) << "GLTextureUtils::load - file too large:" << path;
        return false;
    }
    char* data = new (std::nothrow) char[size_t(bytes) + 1];
    if (!data) {
        qCWarning(lcGpu) << "GLTextureUtils::load - cannot allocate" << bytes << "bytes for" << path;
        return false;
    }
    qint64 done = 0;
    while (done < bytes) {
        const qint64 n = file.read(data + done, bytes - done);
        if (n <= 0) {
            qCWarning(lcGpu) << "GLTextureUtils::load - read failed:" << path << file.errorString();
            delete[] data;
            return false;
        }
        done += n;
    }
    *buffer = data;
    size = uint(bytes);
    return true;
}

bool GLTextureUtils::convertImage2TET(const QString& source, const QString& destination)
{
    qCWarning(lcGpu) << "GLTextureUtils::convertImage2TET - no texture converter is available; not converting"
                     << source << "to" << destination;
    return false;
}
