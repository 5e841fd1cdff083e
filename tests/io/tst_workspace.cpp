#include "io/standardprofiles.h"
#include "io/workspace.h"

#include "korvanetest.h"

class TstWorkspace : public QObject
{
    Q_OBJECT

private slots:
    void profilesReachTheSharedInstance()
    {
        const QByteArray adobe = StandardProfiles::build("Adobe98.icc");
        const auto* data = reinterpret_cast<const unsigned char*>(adobe.constData());
        Workspace::setWorkingColorProfile(data, unsigned(adobe.size()));
        Workspace::setDeviceColorProfile(data, unsigned(adobe.size()));
        QCOMPARE(Workspace::colorManagmentSystem().workingProfile().size(), unsigned(adobe.size()));
        QCOMPARE(Workspace::colorManagmentSystem().deviceProfiles().size(), 1);
        // Leave the process-wide instance as other tests expect it.
        Workspace::colorManagmentSystem() = ColorManagementSystem();
        QVERIFY(Workspace::colorManagmentSystem().workingProfile().isBuiltInSRGB());
    }

};

KORVANE_TEST_CASE(TstWorkspace)
#include "tst_workspace.moc"
