#include "io/imageorientation.h"
#include "io/iologging.h"


namespace {

enum Flip { MirrorTopBottom = 0, MirrorLeftRight = 1, MirrorBoth = -1 };

cv::Mat transposed(const cv::Mat& m)
{
    cv::Mat t;
    cv::transpose(m, t);
    return t;
}

cv::Mat flipped(const cv::Mat& m, Flip how)
{
    cv::Mat f;
    cv::flip(m, f, how);
    return f;
}

const char* logLine(int code)
{
    switch (code) {
    case 2: return "2 flipped horizontally";
    case 3: return "3 rotate 180";
    case 4: return "4 flipped vertically";
    case 5: return "5 transposed, left to right, top to bottom";
    case 6: return "6 rotated 90 clockwise, we have to rotate 90 counter clockwise";
    case 7: return "7 transverse, right to left, top to bottom";
    case 8: return "rotate 90";
    default: return nullptr;
    }
}

void logCode(int code)
{
    if (code == 1) {
        qCDebug(lcIo) << "Don't need auto reorientation";
        return;
    }
    qCDebug(lcIo) << "Needs auto reorientation";
    if (const char* line = logLine(code))
        qCDebug(lcIo) << line;
}

} // namespace

bool ImageOrientation::swapsAxes(int code)
{
    return code >= 5 && code <= 8;
}

void ImageOrientation::toDisplayed(const cv::Mat& stored, cv::Mat& displayed, int code)
{
    logCode(code);
    switch (code) {
    case 2: displayed = flipped(stored, MirrorLeftRight); break;
    case 3: displayed = flipped(stored, MirrorBoth); break;
    case 4: displayed = flipped(stored, MirrorTopBottom); break;
    case 5: displayed = transposed(stored); break;
    case 6: displayed = flipped(transposed(stored), MirrorLeftRight); break;
    case 7: displayed = flipped(transposed(stored), MirrorBoth); break;
    case 8: displayed = flipped(transposed(stored), MirrorTopBottom); break;
    default: displayed = stored; break;
    }
}

void ImageOrientation::toStored(const cv::Mat& displayed, cv::Mat& stored, int code)
{
    logCode(code);
    switch (code) {
    case 2: stored = flipped(displayed, MirrorLeftRight); break;
    case 3: stored = flipped(displayed, MirrorBoth); break;
    case 4: stored = flipped(displayed, MirrorTopBottom); break;
    case 5: stored = transposed(displayed); break;
    case 6: stored = flipped(transposed(displayed), MirrorTopBottom); break;
    case 7: stored = transposed(flipped(displayed, MirrorBoth)); break;
    case 8: stored = flipped(transposed(displayed), MirrorLeftRight); break;
    default: stored = displayed; break;
    }
}
