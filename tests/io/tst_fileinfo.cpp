#include "io/fileinfo.h"

#include "gpu/tsmat.h"
#include "korvanetest.h"

class TstFileInfo : public QObject
{
    Q_OBJECT

private slots:
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
