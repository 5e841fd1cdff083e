// Writes small valid ICC profiles into the folder given as argument: the standard output
// spaces, a grey and a Lab profile. They seed the profile fuzz target and are embedded in
// the seed images.

#include "io/standardprofiles.h"

#include <QDir>
#include <QFile>

#include <lcms2.h>

#include <cstdio>

namespace {

bool write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return !bytes.isEmpty() && f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray save(cmsHPROFILE profile)
{
    QByteArray bytes;
    cmsUInt32Number size = 0;
    if (profile && cmsSaveProfileToMem(profile, nullptr, &size)) {
        bytes.resize(int(size));
        if (!cmsSaveProfileToMem(profile, bytes.data(), &size))
            bytes.clear();
    }
    if (profile)
        cmsCloseProfile(profile);
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath("."))
        return 1;
    bool ok = true;
    for (const QString& name : StandardProfiles::fileNames())
        ok = write(folder.filePath(name), StandardProfiles::build(name)) && ok;

    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
    ok = write(folder.filePath("grey22.icc"), save(cmsCreateGrayProfile(cmsD50_xyY(), gamma))) && ok;
    cmsFreeToneCurve(gamma);
    ok = write(folder.filePath("lab4.icc"), save(cmsCreateLab4Profile(nullptr))) && ok;
    return ok ? 0 : 1;
}
