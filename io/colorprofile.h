#pragma once
// Thread: any; one instance must not be used from two threads at once (copy it instead).
// Owns: one Little CMS profile handle and a private copy of the ICC bytes it was opened from.
// Errors: open() returns false when the bytes cannot be read; the profile is then sRGB.

#include <QByteArray>

// One ICC profile. There is always a usable profile: an empty or unreadable source gives
// the built-in sRGB profile, so a conversion never meets a null handle.
class ColorProfile
{
public:
    ColorProfile();
    ColorProfile(const unsigned char* data, int size);
    ColorProfile(const ColorProfile& other);
    ColorProfile& operator=(const ColorProfile& other);
    ~ColorProfile();

    // Copies the bytes and opens them. Null data or size 0 give the built-in sRGB profile
    // (true); bytes Little CMS cannot read also give sRGB, with false.
    bool open(const unsigned char* data, int size);

    // The Little CMS handle (cmsHPROFILE); never null.
    void* profile() const;
    // The bytes the profile was opened from; null and 0 for the built-in sRGB profile.
    const unsigned char* data() const;
    unsigned int size() const;
    bool isBuiltInSRGB() const;
    // The profile's colour space signature (cmsColorSpaceSignature, e.g. 'RGB ', 'GRAY').
    unsigned int colorSpace() const;

private:
    void openBuiltInSRGB();
    void release();

    void* m_profile = nullptr;
    QByteArray m_bytes;
};
