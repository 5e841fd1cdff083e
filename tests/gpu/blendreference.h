#pragma once
// CPU reference of the blend modes, written from their definitions (not from the shaders),
// in double precision, plus inputs that reach every branch of every formula.

#include <opencv2/core.hpp>

namespace BlendReference {

// One pixel of fg blended onto bg by `mode` at strength k (any mode but dissolve):
// the formula sees both colours clamped to [0, 1]; the result is composed with both alphas,
// stored straight, and mixed with the unclamped background by k.
cv::Vec4d blend(int mode, const cv::Vec4d& fg, const cv::Vec4d& bg, double k);

// The result colour X of a mode for clamped base B and blend colour F.
cv::Vec3d formula(int mode, const cv::Vec3d& B, const cv::Vec3d& F);

// Foreground and background (CV_32FC4, same size) whose pixels pair every channel value of
// {0, 0.48, 0.52, 1, 0.8} (foreground) with every one of {0, 0.49, 0.51, 1, 1.5}
// (background), under every combination of alphas {0, 0.5, 1}. The two sets avoid
// coincidences where a formula sits exactly on a threshold (e.g. b + f = 1 for hard mix,
// equal lumas for darker / lighter colour).
void branchInputs(cv::Mat& fg, cv::Mat& bg);

// The mode's name from TNode::BlendMode, or "mode <n>".
const char* modeName(int mode);

} // namespace BlendReference
