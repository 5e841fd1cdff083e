// Runs every registered test case of this executable, or the ones named on the
// command line (e.g. `tst_engine TstTUid -v2`: case names first, then QtTest options).
// The render thread, when a case started it, is shut down before the application ends.

#include "testregistry.h"
#include "gpufixture.h"

#include <QGuiApplication>
#include <QTest>
#include <QStringList>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <link.h>

namespace {
// Mesa's DRI driver is unloaded when the X connection closes at exit. Memory it still
// references from its own globals then looks leaked, with no symbols to name it by.
// Keeping the driver resident lets LeakSanitizer see those references.
void keepGlDriversResident()
{
    dl_iterate_phdr([](dl_phdr_info* info, size_t, void*) {
        if (info->dlpi_name && std::strstr(info->dlpi_name, "/dri/"))
            dlopen(info->dlpi_name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
        return 0;
    }, nullptr);
}
} // namespace

namespace KorvaneTest {
std::vector<CaseEntry>& registeredCases()
{
    static std::vector<CaseEntry> cases;
    return cases;
}
} // namespace KorvaneTest

int main(int argc, char** argv)
{
    GpuFixture::prepareApplication();
    QGuiApplication app(argc, argv);

    QStringList selected;
    QStringList qtestArgs{QString::fromLocal8Bit(argv[0])};
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (qtestArgs.size() == 1 && !a.startsWith('-') && a.startsWith("Tst"))
            selected << a;
        else
            qtestArgs << a;
    }

    int failedCases = 0;
    int ran = 0;
    for (const auto& entry : KorvaneTest::registeredCases()) {
        const bool named = selected.contains(QString::fromLatin1(entry.name));
        if (selected.isEmpty() ? entry.isolated : !named)
            continue;
        std::unique_ptr<QObject> testCase = entry.create();
        if (QTest::qExec(testCase.get(), qtestArgs) != 0)
            ++failedCases;
        ++ran;
    }
    GpuFixture::shutDown();
    keepGlDriversResident();
    std::printf("%d passed, %d failed\n", ran - failedCases, failedCases);
    return failedCases == 0 && ran > 0 ? 0 : 1;
}
