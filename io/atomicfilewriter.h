#pragma once
// Thread: any; one instance per write.
// Owns: the temporary file it creates, removed by the destructor unless committed.
// Errors: isValid() false / commit() false, with errorString().

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

    // Moves the temporary file onto the target, keeping an existing target's permissions.
    bool commit();

private:
    QString m_target;
    QString m_temporary;
    QString m_error;
    bool m_committed = false;
};
