#include "hugepages.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

void HugePages::restartWithHugePages(char** argv)
{
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    if (std::getenv("KORVANE_NO_HUGEPAGES") || (tunables && std::strstr(tunables, "glibc.malloc.hugetlb")))
        return;
    std::string value = "glibc.malloc.hugetlb=1";
    if (tunables && *tunables)
        value = std::string(tunables) + ":" + value;
    if (setenv("GLIBC_TUNABLES", value.c_str(), 1) != 0)
        return;
    execv("/proc/self/exe", argv);
    // Only reached when the restart failed: go on as we are.
    unsetenv("GLIBC_TUNABLES");
    if (tunables)
        setenv("GLIBC_TUNABLES", tunables, 1);
}
