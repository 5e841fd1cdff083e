#pragma once
// Thread: any (pure function).
// Owns: nothing.
// Errors: the reason a profile is refused, as text; empty when its layout is sound.

#include <cstddef>
#include <cstdint>
#include <string>

// Structural check of ICC profile bytes from an untrusted source: the header, the tag table
// and the text tags lie inside the data. It says nothing about the colours; Little CMS
// judges those when it opens the profile.
//
// OpenImageIO 2.4 decodes the profile embedded in a JPEG, PNG or TIFF file into metadata
// while it opens the file, and trusts the tag table's offsets and sizes: a damaged profile
// reads past its buffer and can crash the process. iccprofilecheck.cpp therefore provides
// OpenImageIO's decode_icc_profile() (the dynamic linker prefers this library's definition,
// as the readers call it through the symbol table), refuses profiles this check rejects and
// hands sound ones to OpenImageIO's own decoder. A refused profile only loses its decoded
// metadata; its bytes stay attached to the image and Little CMS decides whether to use them.
class IccProfileCheck
{
public:
    static std::string problem(const uint8_t* data, size_t size);
};
