#include "io/atomicfilewriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

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

bool AtomicFileWriter::commit()
{
    if (!isValid())
        return false;
    const QFileInfo existing(m_target);
    const QFileDevice::Permissions permissions = existing.exists()
        ? existing.permissions()
        : QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    QFile::setPermissions(m_temporary, permissions);
    // rename(2) replaces the target atomically; QFile::rename refuses an existing target.
    if (std::rename(QFile::encodeName(m_temporary).constData(), QFile::encodeName(m_target).constData()) != 0) {
        m_error = "could not replace " + m_target + ": " + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    m_committed = true;
    return true;
}
