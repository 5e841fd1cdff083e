#include "io/korvane.h"

#include "testregistry.h"

#include <QFile>
#include <QtTest>

class TstKorvane : public QObject
{
    Q_OBJECT

private slots:
    void initRegistersAndStores()
    {
        Korvane::init("/data/user", QUrl("https://cloud.example/root"), "/data/quarn");
        QCOMPARE(Korvane::userDataFolder(), QString("/data/user"));
        QCOMPARE(Korvane::ostrelCloudRootUrl(), QUrl("https://cloud.example/root"));
        QCOMPARE(Korvane::quarnFolder(), QString("/data/quarn"));
        QVERIFY(QFile::exists(":/korvane/glshaders/copy.frag"));

        const int tsMat = QMetaType::type("TSMat");
        const int tsFbo = QMetaType::type("TSFbo");
        const int fileInfo = QMetaType::type("Ostrel::FileInfo");
        QVERIFY(tsMat != QMetaType::UnknownType);
        QVERIFY(tsFbo != QMetaType::UnknownType);
        QVERIFY(fileInfo != QMetaType::UnknownType);

        // A second call keeps the registrations and takes the new values.
        Korvane::init("/other", QUrl(), QString());
        QCOMPARE(QMetaType::type("TSMat"), tsMat);
        QCOMPARE(QMetaType::type("TSFbo"), tsFbo);
        QCOMPARE(Korvane::userDataFolder(), QString("/other"));
        Korvane::shutDown();
    }
};

KORVANE_TEST_CASE(TstKorvane)
#include "tst_korvane.moc"
