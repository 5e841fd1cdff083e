#pragma once
// Thread: any (file reading only, no GL calls).
// Owns: nothing; a loaded buffer belongs to the caller.
// Errors: false, with a warning, for a missing or unreadable file, another suffix, a file too
//         large for the size type, or a failed allocation.

#include <QString>

// Reading texture files into memory for ESTexture.
class GLTextureUtils
{
public:
    // Reads the whole of a ".dds" file (suffix compared case-sensitively) into a buffer
    // allocated with new[] that the caller frees with delete[].
    static bool load(const QString& path, char** buffer, uint& size);
    // No texture-conversion tool is available: always false with a warning, nothing written.
    static bool convertImage2TET(const QString& source, const QString& destination);
};
