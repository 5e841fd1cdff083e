#pragma once
// Thread: any; one instance per write.
// Owns: the temporary file it creates, removed by the destructor unless committed.
// Errors: isValid() false / write() false / commit() false, with errorString(); a full disk
//         or an I/O error is an error like any other.

#include <QString>

// Writing a file without ever leaving a partial one: the content goes to a temporary file
// in the target's folder (same file system, same extension, so a writer that picks its
// format by name still sees the target's), which replaces the target in one rename once it
// is complete. Until then an existing target is untouched.
class AtomicFileWriter
{
public:
    explicit AtomicFileWriter(const QString& target);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // False when no temporary file could be created (e.g. the folder does not exist).
    bool isValid() const;
    QString temporaryPath() const;
    QString errorString() const;

    // Writes `size` bytes as the temporary's whole content and flushes them to the disk.
    bool write(const void* data, size_t size);

    // Flushes the temporary to the disk, checks that it holds what was written (the bytes
    // given to write(), or anything at all when a writer of its own filled it), then moves it
    // onto the target, keeping an existing target's permissions.
    bool commit();

private:
    bool fail(const QString& what);

    QString m_target;
    QString m_temporary;
    QString m_error;
    qint64 m_written = -1; // bytes given to write(); -1 when another writer filled the file
    bool m_committed = false;
};
