#pragma once
// Thread: any (stateless; profile lookups are locked in StandardProfiles).
// Owns: nothing.
// Errors: a missing required key throws std::out_of_range("invalid map<K, T> key");
//         a missing profile makes applyColorSpace() return false with a message.

#include <map>
#include <string>

#include <OpenImageIO/imageio.h>

// The save option table: turns the string options of a save into the output ImageSpec.
class ImageSaveOptions
{
public:
    using Options = std::map<std::string, std::string>;

    // The value of a key the chosen format needs; throws std::out_of_range when missing.
    static const std::string& required(const Options& options, const std::string& key);

    // "COLOR_SPACE": for a named output space, replaces "ICCProfile" by that space's profile
    // (":/iccprofiles/..." resource or installed built profile) and sets "oiio:ColorSpace"
    // where the space has a name there. False, with `error` set, when the profile is missing.
    static bool applyColorSpace(const Options& options, OIIO::ImageSpec& spec, std::string* error);
    // The profile resource of a "COLOR_SPACE" value; empty for "DEFAULT" and unknown values.
    static std::string profileResource(const std::string& colorSpace);

    // "IMAGE_FORMAT" and its format's keys: sample size ("8 bit", "16 bit", or "DEFAULT" for
    // the source's), channel count (TIFF and PNG keep the source's alpha, "SAVE_ALPHA" "TRUE"
    // adds one), compression.
    static void applyFormat(const Options& options, OIIO::ImageSpec& spec);

    // Makes a spec copied from a source file fit a scanline image of the given size and
    // channel count: drops tiles and the source's layout attributes, names the channels
    // R, G, B(, A) and marks a fourth channel as straight alpha.
    static void prepareForWrite(OIIO::ImageSpec& spec, int width, int height);
};
