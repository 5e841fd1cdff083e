#include "io/colorprofile.h"
#include "io/standardprofiles.h"

#include "korvanetest.h"

#include <lcms2.h>

class TstColorProfile : public QObject
{
    Q_OBJECT

private slots:
    void emptySourceGivesSrgb()
    {
        const QByteArray adobe = StandardProfiles::build("Adobe98.icc");
        ColorProfile profile(reinterpret_cast<const uchar*>(adobe.constData()), adobe.size());
        QVERIFY(!profile.isBuiltInSRGB());
        QVERIFY(profile.open(nullptr, 100));
        QVERIFY(profile.isBuiltInSRGB());
        QVERIFY(profile.open(reinterpret_cast<const uchar*>(adobe.constData()), 0));
        QVERIFY(profile.isBuiltInSRGB());
    }

    void unreadableBytesReportFailure_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray adobe = StandardProfiles::build("Adobe98.icc");
        QTest::newRow("garbage") << QByteArray(300, 'x');
        QTest::newRow("truncated") << adobe.left(100);
        QByteArray badTags = adobe;
        badTags[131] = char(0x7f); // tag count far past the end of the data
        QTest::newRow("bad tag count") << badTags;
    }

    void unreadableBytesReportFailure()
    {
        QFETCH(QByteArray, bytes);
        ColorProfile profile;
        QVERIFY(!profile.open(reinterpret_cast<const uchar*>(bytes.constData()), bytes.size()));
        // The invariant holds: there is still a usable profile, sRGB.
        QVERIFY(profile.profile() != nullptr);
        QVERIFY(profile.isBuiltInSRGB());
    }

    void copiesOwnTheirBytes()
    {
        const QByteArray adobe = StandardProfiles::build("Adobe98.icc");
        auto* original = new ColorProfile(reinterpret_cast<const uchar*>(adobe.constData()), adobe.size());
        const ColorProfile copy(*original);
        ColorProfile assigned;
        assigned = *original;
        QVERIFY(copy.profile() != original->profile());
        QVERIFY(copy.data() != original->data());
        delete original; // the copies must not depend on it
        for (const ColorProfile* p : std::initializer_list<const ColorProfile*>{&copy, &assigned}) {
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(p->data()), int(p->size())), adobe);
            QCOMPARE(p->colorSpace(), unsigned(cmsSigRgbData));
        }
        assigned = assigned; // self-assignment keeps the profile
        QCOMPARE(assigned.size(), unsigned(adobe.size()));
        assigned = ColorProfile();
        QVERIFY(assigned.isBuiltInSRGB());
    }
};

KORVANE_TEST_CASE(TstColorProfile)
#include "tst_colorprofile.moc"
