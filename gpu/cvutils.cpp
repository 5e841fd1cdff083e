#include "gpu/cvutils.h"

#include "gpu/gpulogging.h"
#include "gpu/tuid.h"

#include <QPointF>
#include <QSize>
#include <QtEndian>

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstring>

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "ARGB32 is read as B, G, R, A bytes");

namespace {
const unsigned char kEndPattern[8] = {0x55, 0xAA, 0x55, 0xAA, 0x00, 0xFF, 0xAA, 0x55};

bool isPixelDepth(int depth)
{
    return depth == CV_8U || depth == CV_16U || depth == CV_32F;
}

double fullScale(int depth)
{
    return depth == CV_8U ? 255.0 : depth == CV_16U ? 65535.0 : 1.0;
}

cv::Mat convertDepth(const cv::Mat& m, int depth, const char* what)
{
    if (m.empty())
        return cv::Mat();
    if (!isPixelDepth(m.depth()) || m.channels() > 4) {
        qCWarning(lcGpu) << "CvUtils::" << what << "- cannot convert matrix type" << m.type();
        return cv::Mat();
    }
    cv::Mat out;
    m.convertTo(out, CV_MAKETYPE(depth, m.channels()), fullScale(depth) / fullScale(m.depth()));
    return out;
}

cv::Mat convertChannels(const cv::Mat& m, int from, int code, const char* what)
{
    if (m.empty())
        return cv::Mat();
    if (!isPixelDepth(m.depth()) || m.channels() != from) {
        qCWarning(lcGpu) << "CvUtils::" << what << "- cannot convert matrix type" << m.type();
        return cv::Mat();
    }
    cv::Mat out;
    cv::cvtColor(m, out, code);
    return out;
}

// The 8-bit form of a matrix for display, or empty.
cv::Mat eightBit(const cv::Mat& m)
{
    if (m.depth() == CV_8U)
        return m;
    if (m.depth() != CV_16U)
        return cv::Mat();
    cv::Mat out;
    m.convertTo(out, CV_MAKETYPE(CV_8U, m.channels()), 1.0 / 257.0);
    return out;
}

bool sameGeometry(const cv::Mat* mats, int n, const cv::Size& size, int depth, int* channels)
{
    *channels = 0;
    for (int i = 0; i < n; ++i) {
        if (mats[i].empty() || mats[i].size() != size || mats[i].depth() != depth)
            return false;
        *channels += mats[i].channels();
    }
    return true;
}
} // namespace

cv::Mat CvUtils::convertTo8U(cv::Mat m)
{
    return convertDepth(m, CV_8U, "convertTo8U");
}

cv::Mat CvUtils::convertTo16U(cv::Mat m)
{
    return convertDepth(m, CV_16U, "convertTo16U");
}

cv::Mat CvUtils::convertTo32F(cv::Mat m)
{
    return convertDepth(m, CV_32F, "convertTo32F");
}

cv::Mat CvUtils::convertC1ToC3(cv::Mat m)
{
    return convertChannels(m, 1, cv::COLOR_GRAY2RGB, "convertC1ToC3");
}

cv::Mat CvUtils::convertC1ToC4(cv::Mat m)
{
    return convertChannels(m, 1, cv::COLOR_GRAY2RGBA, "convertC1ToC4");
}

cv::Mat CvUtils::convertC3ToC4(cv::Mat m)
{
    return convertChannels(m, 3, cv::COLOR_RGB2RGBA, "convertC3ToC4");
}

cv::Mat CvUtils::convertC4ToC3(cv::Mat m)
{
    return convertChannels(m, 4, cv::COLOR_RGBA2RGB, "convertC4ToC3");
}

void CvUtils::split(const cv::Mat& src, std::vector<cv::Mat>& planes)
{
    planes.clear();
    if (!src.empty() && isPixelDepth(src.depth()))
        cv::split(src, planes);
}

void CvUtils::merge(const std::vector<cv::Mat>& planes, cv::Mat& dst)
{
    int channels = 0;
    if (planes.empty() || !isPixelDepth(planes[0].depth())
        || !sameGeometry(planes.data(), int(planes.size()), planes[0].size(), planes[0].depth(), &channels)
        || channels > CV_CN_MAX) {
        qCWarning(lcGpu) << "CvUtils::merge - planes of different sizes or depths";
        return;
    }
    cv::merge(planes, dst);
}

void CvUtils::merge2(const std::vector<cv::Mat>& planes, cv::Mat& dst)
{
    merge(planes, dst);
}

bool CvUtils::mergeChannels(const std::vector<cv::Mat>& planes, cv::Mat& dst, const int* order, int n)
{
    if (!order || n < 1)
        return false;
    std::vector<cv::Mat> picked;
    for (int i = 0; i < n; ++i) {
        if (order[i] < 0 || order[i] >= int(planes.size()))
            return false;
        picked.push_back(planes[size_t(order[i])]);
    }
    cv::Mat merged;
    merge(picked, merged);
    if (merged.empty())
        return false;
    dst = merged;
    return true;
}

bool CvUtils::mixChannels(const cv::Mat* src, int nsrc, cv::Mat* dst, int ndst, const int* fromTo, size_t npairs)
{
    if (!src || !dst || nsrc < 1 || ndst < 1 || !fromTo || npairs == 0 || src[0].empty())
        return false;
    int srcChannels = 0, dstChannels = 0;
    if (!sameGeometry(src, nsrc, src[0].size(), src[0].depth(), &srcChannels)
        || !sameGeometry(dst, ndst, src[0].size(), src[0].depth(), &dstChannels))
        return false;
    for (size_t k = 0; k < npairs; ++k) {
        if (fromTo[2 * k] < 0 || fromTo[2 * k] >= srcChannels || fromTo[2 * k + 1] < 0
            || fromTo[2 * k + 1] >= dstChannels)
            return false;
    }
    cv::mixChannels(src, size_t(nsrc), dst, size_t(ndst), fromTo, npairs);
    return true;
}

bool CvUtils::mixChannels(const cv::Mat& src, cv::Mat& dst, const int* fromTo, size_t npairs)
{
    return mixChannels(&src, 1, &dst, 1, fromTo, npairs);
}

bool CvUtils::mixChannels(const std::vector<cv::Mat>& src, std::vector<cv::Mat>& dst, const int* fromTo,
                          size_t npairs)
{
    return mixChannels(src.data(), int(src.size()), dst.data(), int(dst.size()), fromTo, npairs);
}

QImage CvUtils::matToQImage(const cv::Mat& m)
{
    const cv::Mat m8 = m.empty() ? cv::Mat() : eightBit(m);
    if (m8.empty())
        return QImage();
    if (m8.channels() == 1) {
        QImage img(m8.cols, m8.rows, QImage::Format_Indexed8);
        QVector<QRgb> grey(256);
        for (int i = 0; i < 256; ++i)
            grey[i] = qRgb(i, i, i);
        img.setColorTable(grey);
        for (int y = 0; y < m8.rows; ++y)
            std::memcpy(img.scanLine(y), m8.ptr(y), size_t(m8.cols));
        return img;
    }
    if (m8.channels() != 3 && m8.channels() != 4)
        return QImage();
    QImage img(m8.cols, m8.rows, QImage::Format_ARGB32);
    cv::Mat target(m8.rows, m8.cols, CV_8UC4, img.bits(), size_t(img.bytesPerLine()));
    cv::cvtColor(m8, target, m8.channels() == 3 ? cv::COLOR_RGB2BGRA : cv::COLOR_RGBA2BGRA);
    return img;
}

cv::Mat CvUtils::qImageToMat(const QImage& img)
{
    if (img.isNull())
        return cv::Mat();
    QImage straight;
    int code = -1;
    switch (img.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        straight = img;
        code = cv::COLOR_BGRA2RGBA;
        break;
    case QImage::Format_ARGB32_Premultiplied:
        straight = img.convertToFormat(QImage::Format_ARGB32);
        code = cv::COLOR_BGRA2RGBA;
        break;
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888:
        straight = img;
        break;
    case QImage::Format_RGBA8888_Premultiplied:
        straight = img.convertToFormat(QImage::Format_RGBA8888);
        break;
    default:
        qCDebug(lcGpu) << "CvUtils::qImageToMat - unsupported QImage format" << int(img.format());
        return cv::Mat();
    }
    const cv::Mat view(straight.height(), straight.width(), CV_8UC4, const_cast<uchar*>(straight.constBits()),
                       size_t(straight.bytesPerLine()));
    cv::Mat out;
    if (code >= 0)
        cv::cvtColor(view, out, code);
    else
        out = view.clone();
    return out;
}

cv::Mat CvUtils::compactMat(const cv::Mat& m)
{
    if (m.empty() || m.step[0] == size_t(m.cols) * m.elemSize())
        return m;
    return m.clone();
}

void CvUtils::setEndPattern(cv::Mat& m)
{
    const size_t rowBytes = m.empty() ? 0 : size_t(m.cols) * m.elemSize();
    if (rowBytes < sizeof kEndPattern)
        return;
    std::memcpy(m.ptr(m.rows - 1) + rowBytes - sizeof kEndPattern, kEndPattern, sizeof kEndPattern);
}

bool CvUtils::testEndPattern(const cv::Mat& m)
{
    const size_t rowBytes = m.empty() ? 0 : size_t(m.cols) * m.elemSize();
    return rowBytes >= sizeof kEndPattern
        && std::memcmp(m.ptr(m.rows - 1) + rowBytes - sizeof kEndPattern, kEndPattern, sizeof kEndPattern) == 0;
}

QString CvUtils::jsonGuid()
{
    return TUid::jsonGuid();
}

TSMat CvUtils::cropRotateRGBA(const TSMat& in, int cropW, int cropH, int resizeW, int resizeH, float rotate,
                              float offsetX, float offsetY)
{
    const cv::Mat& src = in.mat();
    if (src.empty())
        return TSMat();
    if (cropW <= 0 || cropH <= 0 || resizeW <= 0 || resizeH <= 0 || !std::isfinite(rotate) || !std::isfinite(offsetX)
        || !std::isfinite(offsetY)) {
        qCWarning(lcGpu) << "CvUtils::cropRotateRGBA - bad crop" << cropW << cropH << "resize" << resizeW << resizeH
                         << "rotate" << rotate << "offset" << offsetX << offsetY;
        return TSMat();
    }
    const int w = src.cols, h = src.rows;
    double angle = double(rotate) * -180.0;
    if (std::fabs(angle) < 0.01 && cropW == w && cropH == h && resizeW == w && resizeH == h
        && std::fabs(offsetX) < 1e-6 && std::fabs(offsetY) < 1e-6)
        return TSMat(src);
    try {
        // The crop centre, about pixel centres, follows the exact quarter turns.
        QPointF centre((w - 1) / 2.0 - offsetX, (h - 1) / 2.0 - offsetY);
        const int quarters = int(std::lround(angle / 90.0));
        angle -= 90.0 * quarters;
        cv::Mat turned = src;
        switch (((quarters % 4) + 4) % 4) {
        case 1: // counter-clockwise
            cv::rotate(src, turned, cv::ROTATE_90_COUNTERCLOCKWISE);
            centre = QPointF(centre.y(), w - 1 - centre.x());
            break;
        case 2:
            cv::rotate(src, turned, cv::ROTATE_180);
            centre = QPointF(w - 1 - centre.x(), h - 1 - centre.y());
            break;
        case 3:
            cv::rotate(src, turned, cv::ROTATE_90_CLOCKWISE);
            centre = QPointF(h - 1 - centre.y(), centre.x());
            break;
        default:
            break;
        }
        if (std::fabs(angle) >= 0.01) {
            const cv::Mat rotation = cv::getRotationMatrix2D(cv::Point2f(float(centre.x()), float(centre.y())), angle, 1.0);
            cv::Mat warped;
            cv::warpAffine(turned, warped, rotation, turned.size(), cv::INTER_CUBIC, cv::BORDER_CONSTANT);
            turned = warped;
        }
        const cv::Rect wanted(int(std::lround(centre.x() + 0.5 - cropW / 2.0)),
                              int(std::lround(centre.y() + 0.5 - cropH / 2.0)), cropW, cropH);
        const cv::Rect crop = wanted & cv::Rect(0, 0, turned.cols, turned.rows);
        if (crop.empty()) {
            qCWarning(lcGpu) << "CvUtils::cropRotateRGBA - the crop lies outside the image";
            return TSMat();
        }
        cv::Mat out;
        const bool whole = crop == cv::Rect(0, 0, turned.cols, turned.rows);
        if (crop.width == resizeW && crop.height == resizeH)
            // A turned or warped image is already a new matrix: no second copy of it.
            out = whole && turned.data != src.data ? turned : turned(crop).clone();
        else
            cv::resize(turned(crop), out, cv::Size(resizeW, resizeH), 0, 0, cv::INTER_LINEAR);
        return TSMat(out);
    } catch (const cv::Exception& e) {
        qCWarning(lcGpu) << "CvUtils::cropRotateRGBA -" << e.what();
        return TSMat();
    }
}

TSMat CvUtils::cropRotateRGBA(const TSMat& in, const QVariantMap& params)
{
    const QSize crop = params.value(QStringLiteral("cropSize")).toSize();
    const QSize resize = params.value(QStringLiteral("resizeSize")).toSize();
    const QPointF offset = params.value(QStringLiteral("cropOffset")).toPointF();
    return cropRotateRGBA(in, crop.width(), crop.height(), resize.width(), resize.height(),
                          params.value(QStringLiteral("rotate")).toFloat(), float(offset.x()), float(offset.y()));
}
