#include "fuzzsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>

namespace FuzzSupport {

void silenceLibraryOutput()
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    // The file layer reports on std::cerr; a stream without a buffer swallows it.
    std::cerr.rdbuf(nullptr);
}

QString scratchFolder()
{
    static const std::unique_ptr<QTemporaryDir> dir = [] {
        auto d = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/korvane-fuzz-XXXXXX");
        if (!d->isValid())
            fail("cannot create a scratch folder: " + d->errorString());
        return d;
    }();
    return dir->path();
}

bool writeFile(const QString& path, const uint8_t* data, size_t size)
{
    std::FILE* f = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

void fail(const QString& message)
{
    // std::cerr is silenced; stdio's stderr is not.
    std::fprintf(stderr, "FUZZ PROPERTY FAILED: %s\n", qPrintable(message));
    std::abort();
}

} // namespace FuzzSupport
