#pragma once
// CPU model of the selection mathematics (hue, lightness and spot weights), written from
// their definitions, in double precision; shared by the selection and layer tests.

#include "gpu/tselection.h"

#include <opencv2/core.hpp>

namespace SelectionReference {

// smoothstep(e0, e1, x).
double smooth(double e0, double e1, double x);
// smoothstep, and its limit (a hard step just above e0) where the edges meet.
double ramp(double e0, double e1, double x);
double hueOf(const cv::Vec3d& c);
double hueWeight(const cv::Vec3d& c, double hue, double range, bool invert);
double lumWeight(const cv::Vec3d& c, double lum, double range, bool invert);
cv::Vec3d rgbAt(const cv::Mat& m, int x, int y);
// Bilinear read at normalised (s, t), clamped at the borders (the spot's reference colour).
cv::Vec3d sample(const cv::Mat& m, double s, double t);
// The spot weight at pixel (x, y) of a CV_32FC4 image from the selection's uniforms.
// `ambiguous` is set where the pixel sits on a hard edge, which either side may claim.
double spotWeight(const TSelection& sel, const cv::Mat& img, int x, int y, bool* ambiguous);
// A 64 x 48 image of saturated hues across, fading to grey downwards, with a few exact
// greys and primaries in the first row.
cv::Mat hueImage();

} // namespace SelectionReference
