#include "io/standardprofiles.h"

#include "korvanetest.h"

#include <lcms2.h>

namespace {

struct Xy
{
    double x, y;
};

// The chromaticity a D50-adapted tag value had before the profile's chromatic adaptation.
Xy nativeChromaticity(cmsHPROFILE profile, const cmsCIEXYZ& adapted)
{
    cv::Matx33d m = cv::Matx33d::eye();
    if (const auto* chad = static_cast<const double*>(cmsReadTag(profile, cmsSigChromaticAdaptationTag)))
        m = cv::Matx33d(chad);
    const cv::Vec3d native = m.inv() * cv::Vec3d(adapted.X, adapted.Y, adapted.Z);
    const double X = native[0], Y = native[1], Z = native[2];
    return {X / (X + Y + Z), Y / (X + Y + Z)};
}

} // namespace

// xy: white, red, green, blue
struct ProfileRow { QString file; QVector<double> xy; double atHalf; double atSmall; };
Q_DECLARE_METATYPE(ProfileRow)

class TstStandardProfiles : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { StandardProfiles::uninstall(); }

    // Published definitions, written out here from the standards (not from the code):
    // white and primaries as xy, the decoding curve at 0.5 and at 0.02.
    void publishedDefinitions_data()
    {
        QTest::addColumn<ProfileRow>("row");
        QTest::newRow("sRGB") << ProfileRow{"sRGB_IEC61966-2-1_black_scaled.icc", {0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60,
                0.15, 0.06}, std::pow((0.5 + 0.055) / 1.055, 2.4), 0.02 / 12.92};
        QTest::newRow("Adobe RGB (1998)") << ProfileRow{"Adobe98.icc", {0.3127, 0.3290, 0.64, 0.33, 0.21, 0.71, 0.15, 0.06},
                std::pow(0.5, 2.19921875), std::pow(0.02, 2.19921875)};
        QTest::newRow("ProPhoto") << ProfileRow{"ProPhoto.icc", {0.3457, 0.3585, 0.7347, 0.2653, 0.1596, 0.8404, 0.0366,
                0.0001}, std::pow(0.5, 1.8), 0.02 / 16.0};
        QTest::newRow("Apple RGB") << ProfileRow{"AppleRGB.icc", {0.3127, 0.3290, 0.625, 0.34, 0.28, 0.595, 0.155, 0.07},
                std::pow(0.5, 1.8), std::pow(0.02, 1.8)};
        QTest::newRow("Wide Gamut") << ProfileRow{"WideGamut.icc", {0.3457, 0.3585, 0.7347, 0.2653, 0.1152, 0.8264, 0.1566,
                0.0177}, std::pow(0.5, 2.19921875), std::pow(0.02, 2.19921875)};
    }

    void publishedDefinitions()
    {
        QFETCH(ProfileRow, row);
        const auto& [file, xy, atHalf, atSmall] = row;
        QVERIFY(StandardProfiles::fileNames().contains(file));
        const QByteArray bytes = StandardProfiles::build(file);
        cmsHPROFILE profile = cmsOpenProfileFromMem(bytes.constData(), cmsUInt32Number(bytes.size()));
        QVERIFY(profile);
        QCOMPARE(cmsGetColorSpace(profile), cmsSigRgbData);

        // The colorants and white are stored adapted to D50: undo the adaptation and compare.
        const cmsCIEXYZ* r = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, cmsSigRedColorantTag));
        const cmsCIEXYZ* g = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, cmsSigGreenColorantTag));
        const cmsCIEXYZ* b = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, cmsSigBlueColorantTag));
        QVERIFY(r && g && b);
        const cmsCIEXYZ white{r->X + g->X + b->X, r->Y + g->Y + b->Y, r->Z + g->Z + b->Z};
        const Xy measured[4] = {nativeChromaticity(profile, white), nativeChromaticity(profile, *r),
                                nativeChromaticity(profile, *g), nativeChromaticity(profile, *b)};
        // ICC stores XYZ as s15.16 fixed point: chromaticities survive to about 1e-4.
        for (int i = 0; i < 4; ++i) {
            QVERIFY2(std::abs(measured[i].x - xy[2 * i]) < 5e-4, qPrintable(QString("x of %1").arg(i)));
            QVERIFY2(std::abs(measured[i].y - xy[2 * i + 1]) < 5e-4, qPrintable(QString("y of %1").arg(i)));
        }

        const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(profile, cmsSigRedTRCTag));
        QVERIFY(curve);
        QVERIFY(std::abs(cmsEvalToneCurveFloat(curve, 0.5f) - atHalf) < 1e-4);
        QVERIFY(std::abs(cmsEvalToneCurveFloat(curve, 0.02f) - atSmall) < 1e-5);
        cmsCloseProfile(profile);
    }

    void buildsAreReproducible()
    {
        const QByteArray first = StandardProfiles::build("ProPhoto.icc");
        QTest::qWait(1100); // past the next second of the clock the header would carry
        QCOMPARE(StandardProfiles::build("ProPhoto.icc"), first);
    }

    void lookupUsesBuiltProfilesOnlyOnceInstalled()
    {
        const QString resource = ":/iccprofiles/Adobe98.icc";
        QVERIFY(!StandardProfiles::isInstalled());
        QVERIFY(StandardProfiles::lookup(resource).isEmpty());
        StandardProfiles::install();
        QVERIFY(StandardProfiles::isInstalled());
        QCOMPARE(StandardProfiles::lookup(resource), StandardProfiles::build("Adobe98.icc"));
        QVERIFY(StandardProfiles::lookup(":/iccprofiles/Unknown.icc").isEmpty());
        QVERIFY(StandardProfiles::lookup(":/elsewhere/Adobe98.icc").isEmpty());
        StandardProfiles::uninstall();
        QVERIFY(StandardProfiles::lookup(resource).isEmpty());
    }
};

KORVANE_TEST_CASE(TstStandardProfiles)
#include "tst_standardprofiles.moc"
