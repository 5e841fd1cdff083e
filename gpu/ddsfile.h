#pragma once
// Thread: any (parsing only, no GL calls).
// Owns: nothing; levels refer to the caller's bytes by offset.
// Errors: a file that cannot be used gives isValid() false and error() naming what is wrong.

#include <QByteArray>
#include <QString>
#include <QVector>
#include <QtGui/qopengl.h>

// The layout of a block-compressed DDS file (DXT1, DXT3 or DXT5) read from untrusted bytes:
// the magic, the header size, the dimensions against the GL limit, the mip count against the
// dimensions and every level's bytes against the file's size are checked, in 64-bit
// arithmetic, before anyone allocates or calls GL.
class DdsFile
{
public:
    struct Level
    {
        int width = 0;
        int height = 0;
        qint64 offset = 0; // from the start of the file
        qint64 size = 0;
    };

    static constexpr int kHeaderBytes = 128;

    // `maxTextureSize` is the GL limit the dimensions must respect.
    static DdsFile parse(const char* data, qint64 size, int maxTextureSize);

    bool isValid() const { return m_error.isEmpty(); }
    const QString& error() const { return m_error; }
    const QByteArray& fourCC() const { return m_fourCC; }
    // GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, ..._DXT3_EXT or ..._DXT5_EXT.
    GLenum internalFormat() const { return m_internalFormat; }
    // Bytes of one 4 x 4 block: 8 for DXT1, 16 otherwise.
    int blockBytes() const { return m_blockBytes; }
    int width() const { return m_levels.isEmpty() ? 0 : m_levels.first().width; }
    int height() const { return m_levels.isEmpty() ? 0 : m_levels.first().height; }
    // Level 0 first; at least one for a valid file.
    const QVector<Level>& levels() const { return m_levels; }

private:
    explicit DdsFile(const QString& error) : m_error(error) {}
    DdsFile() = default;

    QString m_error;
    QByteArray m_fourCC;
    GLenum m_internalFormat = 0;
    int m_blockBytes = 0;
    QVector<Level> m_levels;
};
