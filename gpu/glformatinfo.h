#pragma once
// Thread: any; the table is constant.
// Owns: nothing.
// Errors: unknown formats give a zero-channel entry; refused transfers give a Transfer with ok false.

#include <QtGui/qopengl.h>

// The OpenGL internal formats the engine handles, and how pixels of an OpenCV matrix travel
// to and from each of them.
class GLFormatInfo
{
public:
    // How the CPU side prepares a transfer. Direct hands the matrix rows to the driver. The
    // other kinds convert on the CPU into the texture's own storage layout first, because a
    // driver converts any client type that differs from the storage pixel by pixel, 10 to
    // 30 times slower than a memory copy.
    enum class Staging {
        Direct,
        Packed111110, // GL_R11F_G11F_B10F as GL_UNSIGNED_INT_10F_11F_11F_REV words
        Half,         // half-float storage as GL_HALF_FLOAT
    };

    struct Transfer
    {
        bool ok = false;
        GLenum format = 0;      // client pixel format (GL_RED ... GL_RGBA)
        GLenum type = 0;        // client component type
        Staging staging = Staging::Direct;
        int stagingBytesPerPixel = 0; // bytes of one pixel in the staging layout (not Direct)
    };

    // Table row for `internalFormat`; an unlisted format gives channels 0, download type
    // CV_8UC1, no transfer format and not preferred.
    static GLFormatInfo find(GLenum internalFormat);

    // The transfer for uploading or downloading a matrix of `cvType`; ok is false when the
    // pair is not supported.
    static Transfer transfer(GLenum internalFormat, int cvType);

    GLenum internalFormat() const { return m_internalFormat; }
    int channels() const { return m_channels; }
    // Bytes per pixel used for memory accounting; 0 when the format has no listed size.
    int accountingBytes() const { return m_accountingBytes; }
    int downloadType() const { return m_downloadType; }
    GLenum transferFormat() const { return m_transferFormat; }
    bool isPreferred() const { return m_preferred; }
    bool isListed() const { return m_channels > 0; }
    // True when the storage holds unsigned normalised values, which can never leave [0, 1].
    bool isNormalized() const { return m_normalized; }

private:
    GLFormatInfo() = default;
    GLFormatInfo(GLenum internalFormat, int channels, int accountingBytes, int downloadType,
                 GLenum transferFormat, bool preferred, bool normalized);

    GLenum m_internalFormat = 0;
    int m_channels = 0;
    int m_accountingBytes = 0;
    int m_downloadType = 0;
    GLenum m_transferFormat = 0;
    bool m_preferred = false;
    bool m_normalized = false;
};
