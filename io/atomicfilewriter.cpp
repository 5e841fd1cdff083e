#include "io/atomicfilewriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Flushes a file's data to the disk: a delayed write that finds the disk full fails here.
bool syncFile(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    const int savedErrno = errno;
    ::close(fd);
    errno = savedErrno;
    return synced;
}
} // namespace

AtomicFileWriter::AtomicFileWriter(const QString& target)
    : m_target(target)
{
    const QFileInfo info(target);
    const QString suffix = info.completeSuffix().isEmpty() ? QString() : '.' + info.suffix();
    // Hidden, so a folder view does not show it while it is written.
    QTemporaryFile file(info.absolutePath() + "/." + info.completeBaseName() + ".XXXXXX" + suffix);
    file.setAutoRemove(false);
    if (!file.open()) {
        m_error = "could not create a temporary file in " + info.absolutePath() + ": " + file.errorString();
        return;
    }
    m_temporary = file.fileName();
    file.close();
}

AtomicFileWriter::~AtomicFileWriter()
{
    if (!m_committed && !m_temporary.isEmpty())
        QFile::remove(m_temporary);
}

bool AtomicFileWriter::isValid() const
{
    return !m_temporary.isEmpty();
}

QString AtomicFileWriter::temporaryPath() const
{
    return m_temporary;
}

QString AtomicFileWriter::errorString() const
{
    return m_error;
}

bool AtomicFileWriter::fail(const QString& what)
{
    m_error = what + ": " + QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

bool AtomicFileWriter::write(const void* data, size_t size)
{
    if (!isValid())
        return false;
    const QByteArray path = QFile::encodeName(m_temporary);
    const int fd = ::open(path.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return fail("could not open " + m_temporary);
    const char* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            const int savedErrno = errno;
            ::close(fd);
            errno = savedErrno;
            return fail("could not write " + m_temporary);
        }
        done += size_t(n);
    }
    const bool synced = ::fsync(fd) == 0;
    const int syncErrno = errno;
    const bool closed = ::close(fd) == 0;
    if (!synced || !closed) {
        if (!synced)
            errno = syncErrno;
        return fail("could not write " + m_temporary);
    }
    m_written = qint64(size);
    return true;
}

bool AtomicFileWriter::commit()
{
    if (!isValid())
        return false;
    const QByteArray temporary = QFile::encodeName(m_temporary);
    if (!syncFile(temporary))
        return fail("could not write " + m_temporary);
    struct stat written {};
    if (::stat(temporary.constData(), &written) != 0)
        return fail("could not check " + m_temporary);
    if ((m_written >= 0 && qint64(written.st_size) != m_written) || (m_written < 0 && written.st_size == 0)) {
        m_error = QStringLiteral("%1 holds %2 bytes, not what was written; the disk may be full")
                      .arg(m_temporary).arg(qint64(written.st_size));
        return false;
    }
    const QFileInfo existing(m_target);
    const QFileDevice::Permissions permissions = existing.exists()
        ? existing.permissions()
        : QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    QFile::setPermissions(m_temporary, permissions);
    // rename(2) replaces the target atomically; QFile::rename refuses an existing target.
    if (std::rename(temporary.constData(), QFile::encodeName(m_target).constData()) != 0) {
        m_error = "could not replace " + m_target + ": " + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    m_committed = true;
    return true;
}
