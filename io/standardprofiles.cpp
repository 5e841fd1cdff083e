#include "io/standardprofiles.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#include <lcms2.h>

namespace {

// Published definitions. A tone curve is Little CMS parametric type 4:
// Y = (aX + b)^g for X >= d, Y = cX below; a pure gamma has c = d = 0.
struct SpaceDefinition
{
    const char* fileName;
    const char* description;
    cmsCIExyY white;
    cmsCIExyYTRIPLE primaries;
    double curve[5]; // g, a, b, c, d
};

constexpr cmsCIExyY kD65{0.3127, 0.3290, 1.0};
constexpr cmsCIExyY kD50{0.3457, 0.3585, 1.0};

const SpaceDefinition kSpaces[] = {
    // IEC 61966-2-1.
    {"sRGB_IEC61966-2-1_black_scaled.icc", "sRGB IEC61966-2.1", kD65,
     {{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}},
     {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045}},
    // Adobe RGB (1998) colour image encoding: gamma 563/256.
    {"Adobe98.icc", "Adobe RGB (1998)", kD65,
     {{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}},
     {563.0 / 256.0, 1.0, 0.0, 0.0, 0.0}},
    // ROMM RGB (ISO 22028-2): gamma 1.8 with a linear segment of slope 1/16 below 1/32.
    {"ProPhoto.icc", "ProPhoto RGB", kD50,
     {{0.7347, 0.2653, 1.0}, {0.1596, 0.8404, 1.0}, {0.0366, 0.0001, 1.0}},
     {1.8, 1.0, 0.0, 1.0 / 16.0, 1.0 / 32.0}},
    {"AppleRGB.icc", "Apple RGB", kD65,
     {{0.625, 0.34, 1.0}, {0.28, 0.595, 1.0}, {0.155, 0.07, 1.0}},
     {1.8, 1.0, 0.0, 0.0, 0.0}},
    {"WideGamut.icc", "Wide Gamut RGB", kD50,
     {{0.7347, 0.2653, 1.0}, {0.1152, 0.8264, 1.0}, {0.1566, 0.0177, 1.0}},
     {563.0 / 256.0, 1.0, 0.0, 0.0, 0.0}},
};

const SpaceDefinition* findSpace(const QString& fileName)
{
    for (const SpaceDefinition& space : kSpaces)
        if (fileName == QLatin1String(space.fileName))
            return &space;
    return nullptr;
}

void writeText(cmsHPROFILE profile, cmsTagSignature tag, const char* text)
{
    cmsMLU* mlu = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(mlu, "en", "US", text);
    cmsWriteTag(profile, tag, mlu);
    cmsMLUfree(mlu);
}

QByteArray buildProfile(const SpaceDefinition& space)
{
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, space.curve);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&space.white, &space.primaries, curves);
    cmsFreeToneCurve(curve);
    if (!profile)
        return {};
    writeText(profile, cmsSigProfileDescriptionTag, space.description);
    writeText(profile, cmsSigCopyrightTag, "No copyright, use freely");

    QByteArray bytes;
    cmsUInt32Number size = 0;
    if (cmsSaveProfileToMem(profile, nullptr, &size) && size > 0) {
        bytes.resize(int(size));
        if (!cmsSaveProfileToMem(profile, bytes.data(), &size))
            bytes.clear();
    }
    cmsCloseProfile(profile);
    // Little CMS stamps the header with the time of creation. A fixed date (2000-01-01) makes
    // every build of a space the same bytes, so a file's profile can be recognised.
    static const char kFixedDate[12] = {0x07, char(0xD0), 0, 1, 0, 1, 0, 0, 0, 0, 0, 0};
    if (bytes.size() >= 36)
        bytes.replace(24, 12, kFixedDate, 12);
    return bytes;
}

QMutex s_mutex;
QHash<QString, QByteArray> s_installed;

} // namespace

QStringList StandardProfiles::fileNames()
{
    QStringList names;
    for (const SpaceDefinition& space : kSpaces)
        names << QLatin1String(space.fileName);
    return names;
}

QByteArray StandardProfiles::build(const QString& fileName)
{
    const SpaceDefinition* space = findSpace(fileName);
    return space ? buildProfile(*space) : QByteArray();
}

void StandardProfiles::install()
{
    QHash<QString, QByteArray> built;
    for (const SpaceDefinition& space : kSpaces)
        built.insert(QLatin1String(space.fileName), buildProfile(space));
    QMutexLocker lock(&s_mutex);
    s_installed = built;
}

void StandardProfiles::uninstall()
{
    QMutexLocker lock(&s_mutex);
    s_installed.clear();
}

bool StandardProfiles::isInstalled()
{
    QMutexLocker lock(&s_mutex);
    return !s_installed.isEmpty();
}

QByteArray StandardProfiles::lookup(const QString& resourcePath)
{
    QFile resource(resourcePath);
    if (resource.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = resource.readAll();
        if (!bytes.isEmpty())
            return bytes;
    }
    if (!resourcePath.startsWith(QLatin1String(":/iccprofiles/")))
        return {};
    QMutexLocker lock(&s_mutex);
    return s_installed.value(QFileInfo(resourcePath).fileName());
}
