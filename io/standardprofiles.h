#pragma once
// Thread: any; the registry of installed profiles is locked.
// Owns: the installed profile bytes (process-wide, until uninstall()).
// Errors: an unknown name or a missing resource gives an empty QByteArray.

#include <QByteArray>
#include <QString>
#include <QStringList>

// The output colour spaces a save can select, and their ICC profiles.
//
// Profiles are looked up as Qt resources under ":/iccprofiles/<file>", which a host may ship.
// A host without them calls install(): the profiles are then built with Little CMS from each
// space's published primaries, white point and tone curve, and lookups that find no resource
// use those. A resource the host ships always wins.
class StandardProfiles
{
public:
    // File names under ":/iccprofiles/": "sRGB_IEC61966-2-1_black_scaled.icc",
    // "Adobe98.icc", "ProPhoto.icc", "AppleRGB.icc", "WideGamut.icc".
    static QStringList fileNames();

    // Builds the profile for one of fileNames(); empty for any other name.
    static QByteArray build(const QString& fileName);

    // Makes lookup() answer with built profiles for resources the host does not have.
    static void install();
    static void uninstall();
    static bool isInstalled();

    // The bytes at `resourcePath` (e.g. ":/iccprofiles/Adobe98.icc"): the Qt resource when
    // it exists, else the installed built profile of that file name, else empty.
    static QByteArray lookup(const QString& resourcePath);
};
