// CPU helpers on real pixels: conversions, QImage exchange in the engine's channel order, the
// end guard, and crop-and-rotate that keeps the crop centre on the same image point.

#include "korvanetest.h"

#include "gpu/cvutils.h"

#include <opencv2/imgproc.hpp>

Q_DECLARE_METATYPE(cv::Mat)
Q_DECLARE_METATYPE(cv::Scalar)

class TstCvUtils : public QObject
{
    Q_OBJECT
private slots:
    void conversions_data()
    {
        QTest::addColumn<cv::Mat>("result");
        QTest::addColumn<int>("type");
        QTest::addColumn<cv::Scalar>("firstPixel");
        const cv::Mat white16(1, 2, CV_16UC4, cv::Scalar::all(65535));
        QTest::newRow("16U to 8U") << CvUtils::convertTo8U(white16) << int(CV_8UC4) << cv::Scalar::all(255);
        QTest::newRow("float saturates") << CvUtils::convertTo8U(cv::Mat(1, 2, CV_32FC1, cv::Scalar(1.5)))
                                         << int(CV_8UC1) << cv::Scalar(255);
        QTest::newRow("three channels convert too")
            << CvUtils::convertTo8U(cv::Mat(1, 2, CV_16UC3, cv::Scalar(257, 514, 65535))) << int(CV_8UC3)
            << cv::Scalar(1, 2, 255);
        QTest::newRow("8U to 16U") << CvUtils::convertTo16U(cv::Mat(1, 2, CV_8UC1, cv::Scalar(2))) << int(CV_16UC1)
                                   << cv::Scalar(514);
        QTest::newRow("opaque float alpha") << CvUtils::convertC3ToC4(cv::Mat(1, 2, CV_32FC3, cv::Scalar(0.2, 0.4, 0.6)))
                                            << int(CV_32FC4) << cv::Scalar(0.2, 0.4, 0.6, 1.0);
        QTest::newRow("opaque 16-bit alpha") << CvUtils::convertC1ToC4(cv::Mat(1, 2, CV_16UC1, cv::Scalar(9)))
                                             << int(CV_16UC4) << cv::Scalar(9, 9, 9, 65535);
        QTest::newRow("signed depth refused") << CvUtils::convertC3ToC4(cv::Mat(1, 2, CV_16SC3)) << -1 << cv::Scalar();
        QTest::newRow("alpha dropped") << CvUtils::convertC4ToC3(cv::Mat(1, 2, CV_8UC4, cv::Scalar(1, 2, 3, 4)))
                                       << int(CV_8UC3) << cv::Scalar(1, 2, 3);
    }
    void conversions()
    {
        QFETCH(cv::Mat, result);
        QFETCH(int, type);
        QFETCH(cv::Scalar, firstPixel);
        if (type < 0) {
            QVERIFY(result.empty());
            return;
        }
        QCOMPARE(result.type(), type);
        cv::Mat first;
        result(cv::Rect(0, 0, 1, 1)).convertTo(first, CV_64FC(result.channels()));
        for (int c = 0; c < result.channels(); ++c)
            QVERIFY2(std::fabs(first.ptr<double>(0)[c] - firstPixel[c]) < 1e-6, qPrintable(QString::number(c)));
    }

    void mixChannelsRefusesBadIndices()
    {
        const cv::Mat src(2, 2, CV_8UC3, cv::Scalar(1, 2, 3));
        cv::Mat dst(2, 2, CV_8UC4, cv::Scalar(9, 9, 9, 9));
        const int bad[] = {3, 0};
        QVERIFY(!CvUtils::mixChannels(src, dst, bad, 1));
        const int good[] = {2, 0, 0, 2};
        QVERIFY(CvUtils::mixChannels(src, dst, good, 2));
        QCOMPARE(dst.at<cv::Vec4b>(1, 1), cv::Vec4b(3, 9, 1, 9));
    }

    void qImagesComeInTheEngineOrder()
    {
        QImage argb(3, 2, QImage::Format_ARGB32);
        argb.fill(QColor(10, 20, 30, 40));
        QImage rgba = argb.convertToFormat(QImage::Format_RGBA8888);
        const cv::Mat a = CvUtils::qImageToMat(argb), b = CvUtils::qImageToMat(rgba);
        QCOMPARE(a.at<cv::Vec4b>(1, 2), cv::Vec4b(10, 20, 30, 40));
        QVERIFY(cv::norm(a, b, cv::NORM_INF) == 0.0);
        QImage premultiplied(1, 1, QImage::Format_ARGB32_Premultiplied);
        premultiplied.setPixel(0, 0, qRgba(128, 0, 0, 128));
        const cv::Vec4b straight = CvUtils::qImageToMat(premultiplied).at<cv::Vec4b>(0, 0);
        QVERIFY(std::abs(straight[0] - 255) <= 1 && straight[3] == 128);
        QVERIFY(CvUtils::qImageToMat(QImage(2, 2, QImage::Format_RGB888)).empty());
        const cv::Mat m(5, 7, CV_8UC4, cv::Scalar(1, 2, 3, 4));
        QVERIFY(cv::norm(CvUtils::qImageToMat(CvUtils::matToQImage(m)), m, cv::NORM_INF) == 0.0);
        cv::Mat grey(3, 5, CV_8UC1);
        cv::randu(grey, 0, 256);
        const QImage indexed = CvUtils::matToQImage(grey);
        QCOMPARE(qRed(indexed.pixel(4, 2)), int(grey.at<uchar>(2, 4)));
        // A red engine pixel (R first) stays red in the QImage, whatever the matrix type.
        for (const cv::Mat& red : {cv::Mat(2, 3, CV_8UC3, cv::Scalar(255, 0, 0)), cv::Mat(2, 3, CV_8UC4, cv::Scalar(255, 0, 0, 255)),
                                   cv::Mat(2, 3, CV_16UC3, cv::Scalar(65535, 0, 0)),
                                   cv::Mat(2, 3, CV_16UC4, cv::Scalar(65535, 0, 0, 65535))})
            QCOMPARE(CvUtils::matToQImage(red).pixel(2, 1), qRgba(255, 0, 0, 255));
    }

    void compactCopiesAndTheEndGuard()
    {
        cv::Mat big(10, 10, CV_8UC4, cv::Scalar(7));
        const cv::Mat part = big(cv::Rect(2, 2, 4, 3));
        const cv::Mat compact = CvUtils::compactMat(part);
        QVERIFY(compact.isContinuous() && cv::norm(compact, part, cv::NORM_INF) == 0.0);
        QCOMPARE(CvUtils::compactMat(big).data, big.data);
        CvUtils::setEndPattern(big);
        QVERIFY(CvUtils::testEndPattern(big));
        big.at<cv::Vec4b>(9, 9)[3] = 0;
        QVERIFY(!CvUtils::testEndPattern(big));
        cv::Mat narrow(2, 1, CV_8UC4, cv::Scalar(0));
        CvUtils::setEndPattern(narrow); // 4 bytes a row: nothing written
        QVERIFY(!CvUtils::testEndPattern(narrow));
    }

    // Whole turns are exact: rotate r turns by -180 r degrees (positive: counter-clockwise).
    void quarterTurnsAreExact_data()
    {
        QTest::addColumn<float>("rotate");
        QTest::addColumn<int>("code");
        QTest::newRow("-90") << 0.5f << int(cv::ROTATE_90_CLOCKWISE);
        QTest::newRow("90") << -0.5f << int(cv::ROTATE_90_COUNTERCLOCKWISE);
        QTest::newRow("180") << 1.0f << int(cv::ROTATE_180);
        QTest::newRow("270") << -1.5f << int(cv::ROTATE_90_CLOCKWISE);
    }
    void quarterTurnsAreExact()
    {
        QFETCH(float, rotate);
        QFETCH(int, code);
        cv::Mat in(300, 400, CV_8UC4);
        cv::randu(in, 0, 256);
        cv::Mat expected;
        cv::rotate(in, expected, code);
        const TSMat out = CvUtils::cropRotateRGBA(TSMat(in), expected.cols, expected.rows, expected.cols,
                                                  expected.rows, rotate, 0.f, 0.f);
        QCOMPARE(out.mat().size(), expected.size());
        QVERIFY(cv::norm(out.mat(), expected, cv::NORM_INF) == 0.0);
    }

    // The image point under the crop centre stays there as the angle crosses the turns.
    void theCropCentreStaysOnItsPoint_data()
    {
        QTest::addColumn<double>("degrees");
        for (double d : {44.0, 46.0, -44.0, -46.0, 134.0, 136.0, -134.0, -136.0, 0.0})
            QTest::addRow("%g", d) << d;
    }
    void theCropCentreStaysOnItsPoint()
    {
        QFETCH(double, degrees);
        // 401 x 301: the centre moved by (30, 20) is the pixel (170, 130).
        cv::Mat marker(301, 401, CV_32FC1, cv::Scalar(0));
        cv::circle(marker, cv::Point(170, 130), 3, cv::Scalar(1), cv::FILLED);
        const TSMat out = CvUtils::cropRotateRGBA(TSMat(marker), 61, 61, 61, 61, float(-degrees / 180.0), 30.f, 20.f);
        QCOMPARE(out.mat().size(), cv::Size(61, 61));
        const cv::Moments mo = cv::moments(out.mat()); // the marker's intensity-weighted centre
        const QPointF c = mo.m00 > 0 ? QPointF(mo.m10 / mo.m00, mo.m01 / mo.m00) : QPointF(-1, -1);
        QVERIFY2(std::hypot(c.x() - 30.0, c.y() - 30.0) <= 0.5, qPrintable(QStringLiteral("%1, %2").arg(c.x()).arg(c.y())));
    }

    void badCropsGiveNothing()
    {
        const TSMat in(cv::Mat(30, 40, CV_8UC4, cv::Scalar::all(1)));
        QVERIFY(CvUtils::cropRotateRGBA(in, 0, 10, 10, 10, 0.f, 0.f, 0.f).mat().empty());
        QVERIFY(CvUtils::cropRotateRGBA(in, 10, 10, 10, 10, 0.f, 500.f, 0.f).mat().empty());
        // An offset is not the shortcut: the window moves 5 columns left and is cut at the
        // border, so the last column shown is column 34 of a ramp, stretched to the width.
        cv::Mat ramp(30, 40, CV_8UC1);
        for (int x = 0; x < 40; ++x)
            ramp.col(x).setTo(6 * x);
        const cv::Mat moved = CvUtils::cropRotateRGBA(TSMat(ramp), 40, 30, 40, 30, 0.f, 5.f, 0.f).mat();
        QCOMPARE(int(moved.at<uchar>(0, 39)), 6 * 34);
    }
};

KORVANE_TEST_CASE(TstCvUtils)
#include "tst_cvutils.moc"
