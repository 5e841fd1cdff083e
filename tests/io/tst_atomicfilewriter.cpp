#include "io/atomicfilewriter.h"

#include "iotestfiles.h"
#include "korvanetest.h"

#include <QDir>

class TstAtomicFileWriter : public QObject
{
    Q_OBJECT

private slots:
    void replacesOnlyOnCommit()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath("image.tif");
        QVERIFY(IoTestFiles::writeBytes(target, "old content"));
        QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
        {
            AtomicFileWriter writer(target);
            QVERIFY(writer.isValid());
            QVERIFY(writer.temporaryPath().endsWith(".tif")); // writers choose formats by name
            QCOMPARE(QFileInfo(writer.temporaryPath()).absolutePath(), dir.path());
            QVERIFY(IoTestFiles::writeBytes(writer.temporaryPath(), "new content"));
            QCOMPARE(IoTestFiles::readBytes(target), QByteArray("old content"));
            QVERIFY(writer.commit());
        }
        QCOMPARE(IoTestFiles::readBytes(target), QByteArray("new content"));
        // The "User" flags describe the caller's access, not the file's mode: leave them out.
        const QFileDevice::Permissions user = QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser;
        QCOMPARE(QFile::permissions(target) & ~user,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    void abandonedWriteLeavesNothing()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath("image.png");
        {
            AtomicFileWriter writer(target);
            QVERIFY(IoTestFiles::writeBytes(writer.temporaryPath(), "partial"));
        }
        QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }

    void missingFolderIsReported()
    {
        QTemporaryDir dir;
        AtomicFileWriter writer(dir.filePath("no/such/folder/image.jpg"));
        QVERIFY(!writer.isValid());
        QVERIFY(!writer.errorString().isEmpty());
        QVERIFY(!writer.commit());
    }
};

KORVANE_TEST_CASE(TstAtomicFileWriter)
#include "tst_atomicfilewriter.moc"
