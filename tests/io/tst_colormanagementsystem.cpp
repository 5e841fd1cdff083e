// Colour profiles and conversions against Little CMS: alpha through every layout, damaged
// and unfitting profiles, display profiles from the device list and the X11 root window.

#include "io/colormanagementsystem.h"
#include "io/colorprofile.h"
#include "io/standardprofiles.h"
#include "io/x11displayprofile.h"

#include "iotestfiles.h"
#include "korvanetest.h"

#include <QImage>

#include <lcms2.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace {

QByteArray adobe()
{
    return StandardProfiles::build("Adobe98.icc");
}

const uchar* bytesOf(const QByteArray& b)
{
    return reinterpret_cast<const uchar*>(b.constData());
}

// Publishes (or with an empty value removes) a display profile on the X11 root window.
class RootProperty
{
public:
    RootProperty()
    {
        m_connection = xcb_connect(nullptr, &m_screen);
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
        for (int i = 0; i < m_screen; ++i)
            xcb_screen_next(&it);
        m_root = it.data->root;
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, 12, "_ICC_PROFILE"), nullptr);
        m_atom = reply->atom;
        std::free(reply);
    }
    ~RootProperty()
    {
        set(QByteArray());
        xcb_disconnect(m_connection);
    }
    void set(const QByteArray& bytes)
    {
        if (bytes.isEmpty())
            xcb_delete_property(m_connection, m_root, m_atom);
        else
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_root, m_atom, XCB_ATOM_CARDINAL, 8,
                                uint32_t(bytes.size()), bytes.constData());
        // A round trip, so the server has applied the change before anyone reads it.
        std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    }

private:
    xcb_connection_t* m_connection = nullptr;
    int m_screen = 0;
    xcb_window_t m_root = 0;
    xcb_atom_t m_atom = 0;
};

} // namespace

// alphaIn: -1: the input has no alpha; greyProfile: the file's profile (else none: sRGB)
struct RepackRow { int inFormat; int outFormat; int alphaIn; int alphaOut; bool greyProfile; int direction; };
Q_DECLARE_METATYPE(RepackRow)

class TstColorManagementSystem : public QObject
{
    Q_OBJECT

private slots:
    void sameProfileOnlyRepacks_data()
    {
        QTest::addColumn<RepackRow>("row");
        const int toWorkspace = ColorManagementSystem::FileToWorkspace, toFile = ColorManagementSystem::WorkspaceToFile;
        QTest::newRow("RGB 8 -> RGBA 16") << RepackRow{int(TYPE_RGB_8), int(TYPE_RGBA_16), -1, 65535, false, toWorkspace};
        QTest::newRow("RGB 16 -> RGBA 16") << RepackRow{int(TYPE_RGB_16), int(TYPE_RGBA_16), -1, 65535, false, toWorkspace};
        QTest::newRow("GRAY 16 -> RGBA 8") << RepackRow{int(TYPE_GRAY_16), int(TYPE_RGBA_8), -1, 255, true, toWorkspace};
        QTest::newRow("RGBA 8 -> RGBA 16") << RepackRow{int(TYPE_RGBA_8), int(TYPE_RGBA_16), 77, 77 * 257, false, toWorkspace};
        QTest::newRow("RGBA 16 -> RGBA 8") << RepackRow{int(TYPE_RGBA_16), int(TYPE_RGBA_8), 50 * 257, 50, false, toWorkspace};
        QTest::newRow("GRAYA 16 -> RGBA 16") << RepackRow{int(TYPE_GRAYA_16), int(TYPE_RGBA_16), 4321, 4321, true, toWorkspace};
        QTest::newRow("workspace RGBA 16 -> file RGBA 8") << RepackRow{int(TYPE_RGBA_16), int(TYPE_RGBA_8), 50 * 257, 50,
                                                                       false, toFile};
    }

    // A file without a profile is sRGB, as is the default workspace: every value must come out
    // as it went in, only rescaled between depths (8 -> 16: x 257; 16 -> 8: the nearest 8-bit
    // value). Alpha, given or made opaque, is rescaled the same way, through every layout.
    void sameProfileOnlyRepacks()
    {
        QFETCH(RepackRow, row);
        const auto& [inFormat, outFormat, alphaIn, alphaOut, greyProfile, direction] = row;
        const bool wideIn = T_BYTES(inFormat) == 2;
        const bool wideOut = T_BYTES(outFormat) == 2;
        const int inChannels = int(T_CHANNELS(inFormat) + T_EXTRA(inFormat));
        cv::Mat source(7, 9, CV_MAKETYPE(wideIn ? CV_16U : CV_8U, inChannels));
        cv::randu(source, 0, wideIn ? 65536 : 256);
        if (alphaIn >= 0)
            source.reshape(1, int(source.total())).col(inChannels - 1).setTo(alphaIn);
        cv::Mat destination(7, 9, CV_MAKETYPE(wideOut ? CV_16U : CV_8U, 4), cv::Scalar::all(3)); // 3: no plausible alpha
        OIIO::ImageSpec spec;
        if (greyProfile) {
            const QByteArray grey = IoTestFiles::greyProfile(2.2);
            const uchar* p = bytesOf(grey);
            ColorManagementSystem::setImageColorProfile(spec, &p, unsigned(grey.size()));
        }
        ColorManagementSystem cms;
        QVERIFY(cms.convert(source, destination, spec, inFormat, outFormat,
                            ColorManagementSystem::DIRECTION(direction), true));
        double lo = 0, hi = 0;
        cv::minMaxLoc(destination.reshape(1, int(destination.total())).col(3), &lo, &hi);
        QCOMPARE(int(lo), alphaOut);
        QCOMPARE(int(hi), alphaOut);
        for (int y = 0; y < source.rows && !greyProfile; ++y) {
            for (int x = 0; x < source.cols; ++x) {
                for (int c = 0; c < 3; ++c) {
                    const int in = wideIn ? source.ptr<uint16_t>(y)[x * inChannels + c] : source.ptr<uint8_t>(y)[x * inChannels + c];
                    const int out = wideOut ? destination.ptr<uint16_t>(y)[x * 4 + c] : destination.ptr<uint8_t>(y)[x * 4 + c];
                    const int expected = wideIn == wideOut ? in : wideOut ? in * 257 : int(std::lround(in / 257.0));
                    QVERIFY2(out == expected, qPrintable(QStringLiteral("(%1, %2) channel %3: %4 -> %5, expected %6")
                                                             .arg(x).arg(y).arg(c).arg(in).arg(out).arg(expected)));
                }
            }
        }
    }

    void conversionErrors()
    {
        ColorManagementSystem cms;
        OIIO::ImageSpec spec;
        cv::Mat destination(2, 2, CV_16UC4);
        // A host direction on a file conversion; grey pixels against the (RGB) sRGB profile of
        // a file without one, for which no transform exists.
        const struct { cv::Mat source; int format; ColorManagementSystem::DIRECTION direction; const char* what; } cases[] = {
            {cv::Mat(2, 2, CV_8UC3, cv::Scalar::all(9)), TYPE_RGB_8, ColorManagementSystem::HostToWorkspace, "wrong direction"},
            {cv::Mat(2, 2, CV_8UC1, cv::Scalar(9)), TYPE_GRAY_8, ColorManagementSystem::FileToWorkspace, "empty transform"}};
        for (const auto& c : cases) {
            try {
                cms.convert(c.source, destination, spec, c.format, TYPE_RGBA_16, c.direction, true);
                QFAIL(c.what);
            } catch (const std::runtime_error& e) {
                QCOMPARE(QString(e.what()), QString(c.what));
            }
        }
    }

    void embeddedProfileBothDirections()
    {
        const QByteArray profile = adobe();
        OIIO::ImageSpec spec;
        const uchar* p = bytesOf(profile);
        ColorManagementSystem::setImageColorProfile(spec, &p, unsigned(profile.size()));
        ColorManagementSystem cms;
        const std::vector<std::vector<uint16_t>> colours = {
            {65535, 0, 0}, {0, 65535, 0}, {0, 0, 65535}, {32768, 32768, 32768}, {10000, 40000, 60000}};
        for (const auto& colour : colours) {
            cv::Mat source(1, 1, CV_16UC3, const_cast<uint16_t*>(colour.data()));
            cv::Mat toWorking(1, 1, CV_16UC4), toFile(1, 1, CV_16UC4);
            cms.convert(source, toWorking, spec, TYPE_RGB_16, TYPE_RGBA_16, ColorManagementSystem::FileToWorkspace, true);
            cms.convert(source, toFile, spec, TYPE_RGB_16, TYPE_RGBA_16, ColorManagementSystem::WorkspaceToFile, true);
            // Compared with Little CMS in double precision: the conversion must not be a coarse grid.
            std::vector<double> unit(3);
            for (size_t c = 0; c < 3; ++c)
                unit[c] = colour[c] / 65535.0;
            const auto expectedWorking = IoTestFiles::predict<double>(profile, TYPE_RGB_DBL, {}, TYPE_RGB_DBL, unit, 3);
            const auto expectedFile = IoTestFiles::predict<double>({}, TYPE_RGB_DBL, profile, TYPE_RGB_DBL, unit, 3);
            for (int c = 0; c < 3; ++c) {
                const auto level = [](double v) { return int(std::lround(std::clamp(v, 0.0, 1.0) * 65535)); };
                QVERIFY(qAbs(int(toWorking.at<cv::Vec4w>(0, 0)[c]) - level(expectedWorking[size_t(c)])) <= 1);
                QVERIFY(qAbs(int(toFile.at<cv::Vec4w>(0, 0)[c]) - level(expectedFile[size_t(c)])) <= 1);
            }
        }
        // The two spaces differ, so the checks above did look at a real conversion.
        const auto moved = IoTestFiles::predict<uint16_t>(profile, TYPE_RGB_16, {}, TYPE_RGB_16, colours[4], 3);
        QVERIFY(std::abs(int(moved[0]) - 10000) > 1000 || std::abs(int(moved[2]) - 60000) > 1000);
    }

    void profileThatDoesNotFitFallsBackToSrgb_data()
    {
        QTest::addColumn<QByteArray>("profile");
        QTest::newRow("grey profile, RGB pixels") << IoTestFiles::greyProfile(1.0);
        QTest::newRow("CMYK profile, RGB pixels") << IoTestFiles::naiveCmykProfile();
        QTest::newRow("unreadable") << QByteArray(500, char(0x5a));
    }

    void profileThatDoesNotFitFallsBackToSrgb()
    {
        QFETCH(QByteArray, profile);
        ColorManagementSystem cms;
        const cv::Mat source(2, 3, CV_16UC3, cv::Scalar(1000, 30000, 60000));
        cv::Mat viaBroken(2, 3, CV_16UC4), viaSrgb(2, 3, CV_16UC4);
        OIIO::ImageSpec plain;
        cms.convert(source, viaSrgb, plain, TYPE_RGB_16, TYPE_RGBA_16, ColorManagementSystem::FileToWorkspace, true);
        for (auto direction : {ColorManagementSystem::FileToWorkspace, ColorManagementSystem::WorkspaceToFile}) {
            OIIO::ImageSpec spec;
            const uchar* p = bytesOf(profile);
            ColorManagementSystem::setImageColorProfile(spec, &p, unsigned(profile.size()));
            QVERIFY(cms.convert(source, viaBroken, spec, TYPE_RGB_16, TYPE_RGBA_16, direction, true));
            QCOMPARE(cv::norm(viaBroken, viaSrgb, cv::NORM_INF), 0.0);
            // Saving must not claim a profile the written pixels are not in; loading keeps the metadata.
            const bool kept = spec.find_attribute("ICCProfile") != nullptr;
            QCOMPARE(kept, direction == ColorManagementSystem::FileToWorkspace);
        }
    }

    // Without a device profile the display conversions change nothing; with two, the first is used.
    void firstDeviceProfileIsUsed()
    {
        ColorManagementSystem cms;
        cv::Mat image(2, 2, CV_8UC4, cv::Scalar(0, 200, 40, 99));
        cms.convert(image);
        QCOMPARE(image.at<cv::Vec4b>(1, 1), cv::Vec4b(0, 200, 40, 99));
        std::vector<float> pixels{0.1f, 0.5f, 0.9f};
        QVERIFY(cms.convert(pixels.data(), 1));
        QCOMPARE(pixels[0], 0.1f);

        const QByteArray first = adobe();
        const QByteArray second = StandardProfiles::build("ProPhoto.icc");
        cms.setDeviceColorProfile(bytesOf(first), first.size());
        cms.setDeviceColorProfile(bytesOf(second), second.size());
        QCOMPARE(cms.deviceProfiles().size(), 2);
        cms.convert(image);
        const auto expected = IoTestFiles::predict<uint8_t>({}, TYPE_RGBA_8, first, TYPE_RGBA_8, {0, 200, 40, 99}, 4);
        for (int c = 0; c < 3; ++c)
            QCOMPARE(int(image.at<cv::Vec4b>(1, 1)[c]), int(expected[size_t(c)]));

        QImage qimage(3, 2, QImage::Format_ARGB32);
        qimage.fill(QColor(0, 200, 40));
        cms.convert(qimage);
        QCOMPARE(qimage.pixelColor(2, 1), QColor(int(expected[0]), int(expected[1]), int(expected[2])));
    }

    void floatConversionCoversEveryPixel()
    {
        const QByteArray device = adobe();
        ColorManagementSystem cms;
        cms.setDeviceColorProfile(bytesOf(device), device.size());
        const int count = 32768 * 2 + 123; // more than two of the chunks the conversion works in
        std::vector<float> pixels(size_t(count) * 3);
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = float((i * 37) % 1000) / 1000.0f;
        const std::vector<float> original = pixels;
        cms.convert(static_cast<void*>(pixels.data()), ColorManagementSystem::RGB_FLOAT, count);
        for (int i : {0, 32767, 32768, 65535, 65536, count - 1}) {
            const std::vector<float> one(original.begin() + i * 3, original.begin() + i * 3 + 3);
            const auto expected = IoTestFiles::predict<float>({}, TYPE_RGB_FLT, device, TYPE_RGB_FLT, one, 3);
            for (int c = 0; c < 3; ++c)
                QVERIFY2(std::abs(pixels[size_t(i) * 3 + size_t(c)] - expected[size_t(c)]) < 1e-5f,
                         qPrintable(QString("pixel %1").arg(i)));
        }
    }

    void displayProfileFromX11RootWindow()
    {
        RootProperty property;
        const QByteArray published = adobe();
        ColorManagementSystem cms;
        const QByteArray other = StandardProfiles::build("ProPhoto.icc");
        cms.setDeviceColorProfile(bytesOf(other), other.size());

        property.set(published);
        QWindow window;
        QVERIFY(cms.setDeviceColorProfile(&window));
        QCOMPARE(cms.deviceProfiles().size(), 1); // the list starts afresh
        const ColorProfile& used = cms.deviceProfiles().first();
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(used.data()), int(used.size())), published);

        property.set(QByteArray("not a profile"));
        QVERIFY(cms.setDeviceColorProfile(nullptr));
        QVERIFY(cms.deviceProfiles().first().isBuiltInSRGB());

        property.set(QByteArray());
        QVERIFY(X11DisplayProfile::forMonitor(0).isEmpty());
        QVERIFY(cms.setDeviceColorProfile(&window));
        QCOMPARE(cms.deviceProfiles().size(), 1);
        QVERIFY(cms.deviceProfiles().first().isBuiltInSRGB());
    }

    // Bytes Little CMS cannot read are refused; no bytes at all mean sRGB. Either way the
    // invariant holds: there is a usable profile, sRGB.
    void unreadableBytesReportFailure_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("size"); // -1: the bytes' own
        QTest::addColumn<bool>("opens");
        const QByteArray icc = adobe();
        QTest::newRow("garbage") << QByteArray(300, 'x') << -1 << false;
        QTest::newRow("truncated") << icc.left(100) << -1 << false;
        QByteArray badTags = icc;
        badTags[131] = char(0x7f); // tag count far past the end of the data
        QTest::newRow("bad tag count") << badTags << -1 << false;
        QTest::newRow("no data") << QByteArray() << 100 << true;
        QTest::newRow("no size") << icc << 0 << true;
    }

    void unreadableBytesReportFailure()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, size);
        QFETCH(bool, opens);
        ColorProfile profile(bytesOf(adobe()), adobe().size());
        QVERIFY(!profile.isBuiltInSRGB());
        QCOMPARE(profile.open(bytes.isEmpty() ? nullptr : bytesOf(bytes), size < 0 ? bytes.size() : size), opens);
        QVERIFY(profile.profile() != nullptr);
        QVERIFY(profile.isBuiltInSRGB());
    }

    void copiesOwnTheirBytes()
    {
        const QByteArray adobe = ::adobe();
        auto* original = new ColorProfile(bytesOf(adobe), adobe.size());
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

        // So are the colour management system's profiles.
        ColorManagementSystem cms;
        ColorManagementSystem cmsCopy(cms);
        cmsCopy.setWorkingColorProfile(bytesOf(adobe), adobe.size());
        cmsCopy.setDeviceColorProfile(bytesOf(adobe), adobe.size());
        QVERIFY(cms.workingProfile().isBuiltInSRGB());
        QVERIFY(cms.deviceProfiles().isEmpty());
        cms = cmsCopy;
        QCOMPARE(cms.workingProfile().size(), unsigned(adobe.size()));
        QVERIFY(cms.workingProfile().profile() != cmsCopy.workingProfile().profile());
    }
};

KORVANE_TEST_CASE(TstColorManagementSystem)
#include "tst_colormanagementsystem.moc"
