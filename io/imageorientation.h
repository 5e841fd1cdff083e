#pragma once
// Thread: any (stateless).
// Owns: nothing; results are new matrices.
// Errors: none; codes outside 1 to 8 leave the pixels as they are.

#include <opencv2/core.hpp>

// The TIFF/EXIF orientation codes 1 to 8: the operation that turns the stored pixels into
// the displayed image, and its inverse for writing back.
class ImageOrientation
{
public:
    // True for 5 to 8, whose displayed width is the stored height.
    static bool swapsAxes(int code);
    // Displayed image from stored pixels, logging what it does.
    static void toDisplayed(const cv::Mat& stored, cv::Mat& displayed, int code);
    // Stored pixels from the displayed image: the exact inverse of toDisplayed().
    static void toStored(const cv::Mat& displayed, cv::Mat& stored, int code);
};
