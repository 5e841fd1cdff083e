#pragma once
// One test executable per source folder runs every QtTest case registered in it,
// so GPU tests share one process (and one render thread) per folder.
// Usage in a test source:  KORVANE_TEST_CASE(TstMyClass)

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

namespace KorvaneTest {

struct CaseEntry
{
    const char* name;
    std::function<std::unique_ptr<QObject>()> create;
};

std::vector<CaseEntry>& registeredCases();

struct CaseRegistrar
{
    CaseRegistrar(const char* name, std::function<std::unique_ptr<QObject>()> create)
    {
        registeredCases().push_back({name, std::move(create)});
    }
};

} // namespace KorvaneTest

#define KORVANE_TEST_CASE(Class) \
    static KorvaneTest::CaseRegistrar s_registrar_##Class(#Class, [] { return std::unique_ptr<QObject>(new Class); });
