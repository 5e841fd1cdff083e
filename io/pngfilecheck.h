#pragma once
// Thread: any (reads the file; no shared state).
// Owns: nothing.
// Errors: the reason a PNG file is refused, as text; empty when its chunks are intact, or
//         when the file does not start like a PNG at all (another reader decides about it).

#include <string>

// Structural check of a PNG file from an untrusted source, before OpenImageIO opens it: the
// signature, then every chunk up to IEND (or, for a reader that only opens the file to learn
// its size, up to the first image data) lies inside the file and matches its CRC.
//
// libpng reports a damaged file by longjmp, which in OpenImageIO 2.4's PNG reader jumps over
// C++ frames: the reader leaks, and after long runs of damaged PNGs the fuzzer found the heap
// corrupted. A file whose chunks are not intact is refused before libpng sees it; one whose
// chunks are intact can still hold a damaged image stream, which is rare outside deliberate
// forgery.
class PngFileCheck
{
public:
    enum class Extent { UpToImageData, WholeFile };
    static std::string problem(const std::string& path, Extent extent = Extent::WholeFile);
};
