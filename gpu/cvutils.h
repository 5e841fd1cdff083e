#pragma once
// Thread: any (pure functions on the matrices given).
// Owns: nothing; results are new matrices (or share the input where said).
// Errors: unsupported types, depths, sizes and indices give an empty result (or false) with a
//         warning; no OpenCV exception leaves these functions.

#include "gpu/tsmat.h"

#include <QImage>
#include <QVariantMap>

#include <opencv2/core.hpp>

#include <vector>

// CPU-side helpers on OpenCV matrices for hosts and effects: depth and channel conversions,
// channel plumbing, QImage exchange, crop and straighten, a guard pattern against overruns,
// contiguous copies. The engine's matrices are R, G, B (, A) and straight alpha.
class CvUtils
{
public:
    virtual ~CvUtils() = default;

    // Depth conversions of 1 to 4 channels (8U, 16U or 32F in; 16U to 8U by v / 257 rounded,
    // 8U to 16U by 257, floats as 0..1, saturating); any other depth: empty.
    static cv::Mat convertTo8U(cv::Mat m);
    static cv::Mat convertTo16U(cv::Mat m);
    static cv::Mat convertTo32F(cv::Mat m);

    // Channel counts (depths 8U, 16U, 32F; an added alpha is opaque: 255, 65535 or 1.0).
    static cv::Mat convertC1ToC3(cv::Mat m);
    static cv::Mat convertC1ToC4(cv::Mat m);
    static cv::Mat convertC3ToC4(cv::Mat m);
    static cv::Mat convertC4ToC3(cv::Mat m);

    static void split(const cv::Mat& src, std::vector<cv::Mat>& planes);
    static void merge(const std::vector<cv::Mat>& planes, cv::Mat& dst);
    static void merge2(const std::vector<cv::Mat>& planes, cv::Mat& dst);
    // Interleaves the `n` planes named by `order`.
    static bool mergeChannels(const std::vector<cv::Mat>& planes, cv::Mat& dst, const int* order, int n);
    // For each pair k, channel fromTo[2k] of src into channel fromTo[2k + 1] of dst (the other
    // channels of dst kept). False, dst unchanged, for empty or mismatched matrices and bad indices.
    static bool mixChannels(const cv::Mat& src, cv::Mat& dst, const int* fromTo, size_t npairs);
    static bool mixChannels(const std::vector<cv::Mat>& src, std::vector<cv::Mat>& dst, const int* fromTo,
                            size_t npairs);
    static bool mixChannels(const cv::Mat* src, int nsrc, cv::Mat* dst, int ndst, const int* fromTo, size_t npairs);

    // CV_8UC3/4 and CV_16UC3/4 (R, G, B (, A)) to ARGB32; CV_8UC1 and CV_16UC1 to a grey
    // Indexed8 image; anything else: a null image.
    static QImage matToQImage(const cv::Mat& m);
    // The 32-bit formats to CV_8UC4 R, G, B, A with straight alpha; anything else: empty.
    static cv::Mat qImageToMat(const QImage& img);

    // `m` itself when its rows are contiguous, else a contiguous copy.
    static cv::Mat compactMat(const cv::Mat& m);
    // A guard in the last 8 bytes of the last row's pixels (nothing for rows shorter than that).
    static void setEndPattern(cv::Mat& m);
    static bool testEndPattern(const cv::Mat& m);
    static QString jsonGuid();

    // Turns the image by rotate x -180 degrees about the crop centre (the image centre moved by
    // the offset), crops cropW x cropH around it and resizes to resizeW x resizeH. Quarter,
    // half and three-quarter turns are exact; only the residual angle (at most 45 degrees) is
    // interpolated.
    static TSMat cropRotateRGBA(const TSMat& in, int cropW, int cropH, int resizeW, int resizeH, float rotate,
                                float offsetX, float offsetY);
    // The same from "cropSize", "resizeSize" (QSize), "rotate" (float) and "cropOffset" (QPointF).
    static TSMat cropRotateRGBA(const TSMat& in, const QVariantMap& params);
};
