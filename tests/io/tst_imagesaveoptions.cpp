#include "io/imagesaveoptions.h"
#include "io/standardprofiles.h"

#include "korvanetest.h"

class TstImageSaveOptions : public QObject
{
    Q_OBJECT

private slots:
    void init() { StandardProfiles::install(); }
    void cleanup() { StandardProfiles::uninstall(); }

    void colorSpaces_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("resource"); // empty: the source's profile is kept
        QTest::addColumn<QString>("oiioName"); // empty: "oiio:ColorSpace" untouched
        QTest::newRow("ProPhoto") << "ProPhoto RGB" << "ProPhoto.icc" << "ProPhoto";
        QTest::newRow("sRGB") << "sRGB IEC61966-2.1" << "sRGB_IEC61966-2-1_black_scaled.icc" << "";
        QTest::newRow("DEFAULT") << "DEFAULT" << "" << "";
        QTest::newRow("unknown") << "Adobe RGB (1998)" << "" << "";
    }

    void colorSpaces()
    {
        QFETCH(QString, value);
        QFETCH(QString, resource);
        QFETCH(QString, oiioName);
        OIIO::ImageSpec spec(4, 4, 3, OIIO::TypeDesc::UINT8);
        const QByteArray source("source profile bytes");
        spec.attribute("ICCProfile", OIIO::TypeDesc(OIIO::TypeDesc::UINT8, source.size()), source.constData());
        spec.attribute("oiio:ColorSpace", "untouched");
        std::string error;
        QVERIFY(ImageSaveOptions::applyColorSpace({{"COLOR_SPACE", value.toStdString()}}, spec, &error));
        const OIIO::ParamValue* icc = spec.find_attribute("ICCProfile");
        QVERIFY(icc);
        QCOMPARE(int(icc->type().basetype), int(OIIO::TypeDesc::UINT8));
        const QByteArray stored(static_cast<const char*>(icc->data()), int(icc->type().size()));
        QCOMPARE(stored, resource.isEmpty() ? source : StandardProfiles::build(resource));
        QCOMPARE(QString::fromStdString(spec.get_string_attribute("oiio:ColorSpace")),
                 oiioName.isEmpty() ? QString("untouched") : oiioName);
    }

    void missingProfileIsAnError()
    {
        StandardProfiles::uninstall();
        OIIO::ImageSpec spec(4, 4, 3, OIIO::TypeDesc::UINT8);
        std::string error;
        QVERIFY(!ImageSaveOptions::applyColorSpace({{"COLOR_SPACE", "Wide Gamut RGB"}}, spec, &error));
        QCOMPARE(QString::fromStdString(error), QString("Could not open the colour profile :/iccprofiles/WideGamut.icc"));
        QVERIFY(!spec.find_attribute("ICCProfile"));
        // Without a "COLOR_SPACE" key nothing is needed.
        QVERIFY(ImageSaveOptions::applyColorSpace({}, spec, &error));
    }

};

KORVANE_TEST_CASE(TstImageSaveOptions)
#include "tst_imagesaveoptions.moc"
