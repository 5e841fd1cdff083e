// Image files from anywhere: any bytes, under each of the names a user opens (.jpg, .png,
// .tif), either load as a working image whose size is the one getImageSize() reports, or
// are refused with a message; never a crash, a hang or an allocation the header merely
// claims. The only exception a direct load may throw is the documented "wrong channels".

#include "fuzzsupport.h"
#include "io/colormanagementsystem.h"
#include "io/fileinfo.h"
#include "io/imageiomanager.h"

#include <OpenImageIO/imageio.h>
#include <sanitizer/lsan_interface.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace {

// Small enough that a header claiming the largest allowed image still decodes well within
// the per-input time limit; the refusal itself is the same code at any limit.
constexpr qint64 kFuzzImageLimitBytes = 1LL << 20;

bool load(const std::string& path, cv::Mat& out, Ostrel::FileInfo& info, ColorManagementSystem& cms)
{
    try {
        return ImageIOManager::loadFile(path, out, info, cms);
    } catch (const std::runtime_error& e) {
        if (std::string(e.what()) != "wrong channels")
            throw;
        return false;
    }
}

// OpenImageIO 2.4's PNG reader leaks its error text when libpng longjmps out of a damaged
// file. Allocations made while a PNG is read are therefore not leak-checked; the code after
// the reader is the same for every format and stays checked through the other two names.
struct PngLeakPause
{
    explicit PngLeakPause(bool png) : m_png(png)
    {
        if (m_png)
            __lsan_disable();
    }
    ~PngLeakPause()
    {
        if (m_png)
            __lsan_enable();
    }
    const bool m_png;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::silenceLibraryOutput();
    ImageIOManager::setMaxImageBytes(kFuzzImageLimitBytes);
    // Each name's own reader only: the fallback through every other format reader costs a
    // hundred file opens and a dozen threads per input, all of it in OpenImageIO, not here.
    OIIO::attribute("try_all_readers", 0);
    OIIO::attribute("threads", 1);
    cv::setNumThreads(1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static ColorManagementSystem cms;
    for (const char* name : {"/input.jpg", "/input.png", "/input.tif"}) {
        const QString path = FuzzSupport::scratchFolder() + name;
        if (!FuzzSupport::writeFile(path, data, size))
            FuzzSupport::fail("cannot write " + path);
        const PngLeakPause pause(path.endsWith(".png"));
        const QSize size2d = ImageIOManager::getImageSize(path);
        cv::Mat out;
        Ostrel::FileInfo info;
        if (!load(path.toStdString(), out, info, cms))
            continue;
        if (out.type() != CV_16UC4 || out.empty())
            FuzzSupport::fail("a load succeeded without a working image");
        if (QSize(out.cols, out.rows) != size2d)
            FuzzSupport::fail(QString("loaded %1 x %2 but getImageSize() said %3 x %4")
                                  .arg(out.cols).arg(out.rows).arg(size2d.width()).arg(size2d.height()));
    }
    return 0;
}
