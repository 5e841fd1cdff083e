#include "io/korvane.h"

#include "testregistry.h"

#include <QFile>
#include <QtTest>

class TstKorvane : public QObject
{
    Q_OBJECT

private slots:
    // Values and queued-signal types are what the host relies on after init.
    void initRegistersAndStores()
    {
        Korvane::init("/data/user", QUrl("https://cloud.example/root"), "/data/quarn");
        QVERIFY(QFile::exists(":/korvane/glshaders/copy.frag"));
        for (const char* type : {"TSMat", "TSFbo", "Ostrel::FileInfo"})
            QVERIFY2(QMetaType::type(type) != QMetaType::UnknownType, type);
        const int tsMat = QMetaType::type("TSMat");

        // A second call keeps the registrations and takes the new values.
        Korvane::init("/other", QUrl(), QString());
        QCOMPARE(QMetaType::type("TSMat"), tsMat);
        QCOMPARE(Korvane::userDataFolder(), QString("/other"));
        Korvane::shutDown();
    }
};

KORVANE_TEST_CASE(TstKorvane)
#include "tst_korvane.moc"
