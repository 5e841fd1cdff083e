// Block processing: the grid, split and merge giving the image back, and a filter run block
// by block with its reach as overlap equal to the filter over the whole image.

#include "korvanetest.h"

#include "gpu/glblockproc.h"
#include "gpu/glimfilter.h"

namespace {
// A 3 x 3 binomial blur: four bilinear reads half a texel off the centre.
TSFbo blurred(const TSFbo& in)
{
    GLImFilter blur(QStringLiteral(":/korvane/glshaders/blur3x3.frag"));
    blur.setUniformValue(QStringLiteral("pixelStepx"), 0.5 / in.width());
    blur.setUniformValue(QStringLiteral("pixelStepy"), 0.5 / in.height());
    TSFbo out(in.size(), in.internalFormat());
    blur.proc(in, out);
    return out;
}
} // namespace

struct GridRow { QSize image; int overlap; QSize block; int rows; int cols; };
Q_DECLARE_METATYPE(GridRow)

class TstGLBlockProc : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(GpuFixture::renderThread()); }

    void grid_data()
    {
        QTest::addColumn<GridRow>("row");
        QTest::newRow("one block") << GridRow{QSize(50, 40), 0, QSize(64, 64), 1, 1};
        QTest::newRow("overlap shrinks the step") << GridRow{QSize(100, 40), 2, QSize(24, 24), 2, 5};
        QTest::newRow("no room left for a step") << GridRow{QSize(100, 40), 12, QSize(24, 24), 0, 0};
        QTest::newRow("negative overlap") << GridRow{QSize(100, 40), -1, QSize(24, 24), 0, 0};
        QTest::newRow("empty image") << GridRow{QSize(0, 40), 0, QSize(24, 24), 0, 0};
    }
    void grid()
    {
        QFETCH(GridRow, row);
        const auto& [image, overlap, block, rows, cols] = row;
        const GLBlockProc blocks(image, overlap, block);
        QCOMPARE(blocks.rows(), rows);
        QCOMPARE(blocks.cols(), cols);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c)
                QVERIFY(blocks.withOverlap(r, c).width() <= block.width()
                        && blocks.withOverlap(r, c).height() <= block.height());
        QVERIFY(blocks.interior(rows, 0).isEmpty());
    }

    // Unchanged blocks give the image back exactly; blurred ones (overlap 1, the blur's reach)
    // give the blur of the whole image: an overlap off by one shows as seams.
    void blocksMergeSeamlessly_data()
    {
        QTest::addColumn<bool>("blur");
        QTest::newRow("unchanged") << false;
        QTest::newRow("3 x 3 blur") << true;
    }
    void blocksMergeSeamlessly()
    {
        QFETCH(bool, blur);
        const cv::Mat in = GpuTest::randomImage(45, 70, CV_32FC4, 7);
        cv::Mat merged, whole;
        GpuFixture::onRenderThread([&] {
            const TSFbo image(in, GL_RGBA32F, true);
            const GLBlockProc blocks(image.size(), 1, QSize(18, 16));
            TSFbo out(image.size(), GL_RGBA32F);
            for (int r = 0; r < blocks.rows(); ++r) {
                for (int c = 0; c < blocks.cols(); ++c) {
                    const TSFbo block = blocks.getBlock(image, r, c);
                    blocks.mergeBlock(blur ? blurred(block) : block, r, c, out);
                }
            }
            merged = out.dataToMat(CV_32FC4, true);
            whole = blur ? blurred(image).dataToMat(CV_32FC4, true) : in;
        });
        GPU_COMPARE_IMAGES(merged, whole, 1e-5, 0.0, QStringLiteral("blocks_%1").arg(blur));
    }
};

KORVANE_TEST_CASE(TstGLBlockProc)
#include "tst_glblockproc.moc"
