#pragma once
// One test executable per source folder runs every QtTest case registered in it,
// so GPU tests share one process (and one render thread) per folder.
// Usage in a test source:  KORVANE_TEST_CASE(TstMyClass)
// A case that needs a process of its own: KORVANE_ISOLATED_TEST_CASE(TstMyClass), plus
// korvane_add_isolated_test(folder TstMyClass) in tests/CMakeLists.txt.

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

namespace KorvaneTest {

struct CaseEntry
{
    const char* name;
    std::function<std::unique_ptr<QObject>()> create;
    // Isolated cases need a fresh process (start-up and shutdown order); they run only
    // when named on the command line, each registered with CTest on its own.
    bool isolated = false;
};

std::vector<CaseEntry>& registeredCases();

struct CaseRegistrar
{
    CaseRegistrar(const char* name, std::function<std::unique_ptr<QObject>()> create, bool isolated = false)
    {
        registeredCases().push_back({name, std::move(create), isolated});
    }
};

} // namespace KorvaneTest

#define KORVANE_TEST_CASE(Class) \
    static KorvaneTest::CaseRegistrar s_registrar_##Class(#Class, [] { return std::unique_ptr<QObject>(new Class); });

#define KORVANE_ISOLATED_TEST_CASE(Class) \
    static KorvaneTest::CaseRegistrar s_registrar_##Class(#Class, [] { return std::unique_ptr<QObject>(new Class); }, true);
