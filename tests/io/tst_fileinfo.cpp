#include "io/fileinfo.h"

#include "gpu/tsmat.h"
#include "testregistry.h"

#include <QtTest>

class TstFileInfo : public QObject
{
    Q_OBJECT

private slots:
    void displayedSize_data()
    {
        QTest::addColumn<int>("orientation"); // 0: no attribute
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("absent") << 0 << 640 << 480;
        QTest::newRow("code 4, flipped") << 4 << 640 << 480;
        QTest::newRow("code 5, transposed") << 5 << 480 << 640;
    }

    void displayedSize()
    {
        QFETCH(int, orientation);
        QFETCH(int, width);
        QFETCH(int, height);
        OIIO::ImageSpec spec(640, 480, 3, OIIO::TypeDesc::UINT8);
        if (orientation)
            spec.attribute("Orientation", orientation);
        const Ostrel::FileInfo info(spec);
        QCOMPARE(info.getImageWidth(), width);
        QCOMPARE(info.getImageHeight(), height);
    }

    void metaInfoIsHumanReadable()
    {
        OIIO::ImageSpec spec(8, 8, 3, OIIO::TypeDesc::UINT8);
        spec.attribute("Make", "Korvane");
        spec.attribute("ExposureTime", 0.01f);
        spec.attribute("Orientation", 6);
        std::map<std::string, std::string> out;
        QVERIFY(Ostrel::FileInfo(spec).getMetaInfo(out));
        QCOMPARE(out.size(), size_t(3));
        QCOMPARE(out["Make"], std::string("\"Korvane\"")); // strings come quoted
        QCOMPARE(out["ExposureTime"], std::string("0.01"));
        // The human form explains coded values rather than giving the bare number.
        QVERIFY2(QString::fromStdString(out["Orientation"]).contains("rotated 90"), out["Orientation"].c_str());
    }

    void travelsWithItsImage()
    {
        OIIO::ImageSpec spec(8, 8, 3, OIIO::TypeDesc::UINT16);
        spec.attribute("Artist", "someone");
        TSMat image(cv::Mat(8, 8, CV_16UC4, cv::Scalar::all(1)));
        Ostrel::FileInfo found(OIIO::ImageSpec(1, 1, 1, OIIO::TypeDesc::UINT8));
        QVERIFY(!Ostrel::FileInfo::attachedTo(image, &found));
        QCOMPARE(found.spec().width, 1); // untouched

        Ostrel::FileInfo::attachTo(image, Ostrel::FileInfo(spec));
        const TSMat copy = image; // handles share their properties
        QVERIFY(Ostrel::FileInfo::attachedTo(copy, &found));
        QCOMPARE(found.spec().get_string_attribute("Artist"), std::string("someone"));
        QCOMPARE(found.spec().format, OIIO::TypeDesc(OIIO::TypeDesc::UINT16));
    }
};

KORVANE_TEST_CASE(TstFileInfo)
#include "tst_fileinfo.moc"
