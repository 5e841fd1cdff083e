#pragma once
// Thread: render thread, with the engine context current.
// Owns: nothing beyond a staging band during a call.
// Errors: unsupported format/type pairs write "Not supported: internalformat= %1 matType= %2"
//         and transfer nothing; size mismatches and a missing context warn; all return false.

#include <QOpenGLFramebufferObject>
#include <QRect>
#include <QSize>
#include <QVector>

#include <opencv2/core.hpp>

// Pixel transfers between OpenCV matrices and framebuffer textures. Matrix row r is texture
// row r (no flip). Pairs whose client type matches the storage go straight to the driver in
// tiles of at most 4096 x 4096, the matrix's row stride given by GL_UNPACK_ROW_LENGTH /
// GL_PACK_ROW_LENGTH (no CPU copies). Half-float and 11/11/10-bit float storage is converted
// on the CPU (GLPixelConvert) band by band and transferred in its own layout, which the
// driver copies without converting.
class GLPixelTransfer
{
public:
    static constexpr int kMaxTile = 4096;

    // Uploads `m` into the top-left of fbo's texture; `m` must not be larger than it.
    static bool upload(const cv::Mat& m, QOpenGLFramebufferObject* fbo, bool finish);
    // The same into any 2D texture of `internalFormat` storage and `textureSize`.
    static bool uploadTexture(const cv::Mat& m, GLuint texture, GLenum internalFormat, const QSize& textureSize,
                              bool finish);
    // Downloads the texture into `m`, which has the texture's size and the wanted type.
    // With `clamp` the values are limited to [0, 1]; only float matrices read from float
    // storage need work for it (a clamping pass, or the CPU conversion when there is one).
    static bool download(const QOpenGLFramebufferObject* fbo, cv::Mat& m, bool finish, bool clamp);
    // A rectangle of the texture into `m` (already of the rectangle's size), and `m` back into
    // the texture at `at`. Only pairs whose client type matches the storage (no conversion):
    // these serve exact round trips of a region, such as an undo image.
    static bool downloadRegion(const QOpenGLFramebufferObject* fbo, const QRect& region, cv::Mat& m);
    static bool uploadRegion(const cv::Mat& m, QOpenGLFramebufferObject* fbo, const QPoint& at);

    // Tiles covering `size`, rows outer and columns inner, none larger than maxW x maxH.
    static QVector<QRect> tiles(const QSize& size, int maxW = kMaxTile, int maxH = kMaxTile);
};
