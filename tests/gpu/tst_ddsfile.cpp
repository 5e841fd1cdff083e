// DDS headers from untrusted bytes: the levels of valid files, and every lie a header can
// tell refused before any allocation.

#include "ddstestfile.h"
#include "testregistry.h"

#include <QTest>

namespace {

QByteArray dds(quint32 w, quint32 h, quint32 mips, const char* fourCC, qint64 dataBytes, quint32 headerSize = 124,
               const char* magic = "DDS ")
{
    return ddsTestFile(w, h, mips, fourCC, QByteArray(int(dataBytes), '\0'), headerSize, magic);
}

// 256 x 256 DXT5 with its 9 levels: 65536 + 16384 + ... + 16 bytes.
constexpr qint64 kDxt5Chain = 65536 + 16384 + 4096 + 1024 + 256 + 64 + 16 + 16 + 16;

} // namespace

class TstDdsFile : public QObject
{
    Q_OBJECT
private slots:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("levels");
        QTest::addColumn<qint64>("lastLevelBytes");
        QTest::newRow("DXT3 odd 5 x 3") << dds(5, 3, 1, "DXT3", 32) << "" << 1 << qint64(32);
        QTest::newRow("mip count 0 is one level") << dds(8, 8, 0, "DXT5", 64) << "" << 1 << qint64(64);
        QTest::newRow("DXT1 16 x 16, 5 levels") << dds(16, 16, 5, "DXT1", 128 + 32 + 8 + 8 + 8) << "" << 5 << qint64(8);
        QTest::newRow("DXT5 256 x 256, 9 levels") << dds(256, 256, 9, "DXT5", kDxt5Chain) << "" << 9 << qint64(16);
        QTest::newRow("one byte short of its levels")
            << dds(256, 256, 9, "DXT5", kDxt5Chain - 1) << "file too short for its declared levels" << 0 << qint64(0);
        QTest::newRow("too short for the header") << dds(8, 8, 1, "DXT1", 0).left(100) << "file too short for its header"
                                                  << 0 << qint64(0);
        QTest::newRow("header size 100") << dds(8, 8, 1, "DXT1", 32, 100) << "header size is not 124" << 0 << qint64(0);
        QTest::newRow("width 0") << dds(0, 8, 1, "DXT1", 32) << "width or height out of range" << 0 << qint64(0);
        QTest::newRow("width 2^31") << dds(0x80000000u, 8, 1, "DXT1", 32) << "width or height out of range" << 0
                                    << qint64(0);
        QTest::newRow("mip count 40") << dds(8, 8, 40, "DXT1", 1 << 20) << "mip count beyond the size" << 0 << qint64(0);
        QTest::newRow("mip count one beyond the chain") << dds(8, 8, 5, "DXT1", 1 << 10) << "mip count beyond the size"
                                                        << 0 << qint64(0);
        QTest::newRow("another FourCC") << dds(8, 8, 1, "ATI2", 64) << "not supported compression mode in dds" << 0
                                        << qint64(0);
    }
    void parse()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QFETCH(int, levels);
        QFETCH(qint64, lastLevelBytes);
        const DdsFile file = DdsFile::parse(bytes.constData(), bytes.size(), 16384);
        QCOMPARE(file.error(), error);
        QCOMPARE(file.levels().size(), levels);
        if (levels == 0)
            return;
        // Levels follow each other from byte 128, halving down to 1 pixel, inside the file.
        qint64 offset = DdsFile::kHeaderBytes;
        for (int i = 0; i < levels; ++i) {
            const DdsFile::Level& l = file.levels().at(i);
            QCOMPARE(l.offset, offset);
            QCOMPARE(l.width, std::max(1, file.width() >> i));
            offset += l.size;
        }
        QVERIFY(offset <= bytes.size());
        QCOMPARE(file.levels().last().size, lastLevelBytes);
    }
};

KORVANE_TEST_CASE(TstDdsFile)
#include "tst_ddsfile.moc"
