#pragma once
// A shared library found at run time, with the table of its calls that the code uses, so that the
// programs run on computers that lack it. Tests fill the tables with functions of their own.

#include <initializer_list>
#include <memory>
#include <optional>

namespace platform::netapi {

// A library's calls as this process found them: absent when the library, or one of its calls, is
// missing. The library stays loaded for as long as the table is kept.
template <class Calls> struct LoadedCalls
{
    std::optional<Calls> calls;
    std::shared_ptr<void> pLibrary;
};

// The first of the names that loads (a library's name may differ between its versions); null
// when none does.
std::shared_ptr<void> OpenLibrary(std::initializer_list<const char*> sonames);

// Finds one call of the library; false when the library lacks it.
void* FindCall(const std::shared_ptr<void>& pLibrary, const char* szName);

template <class Function> bool Find(const std::shared_ptr<void>& pLibrary, const char* szName, Function& function)
{
    function = reinterpret_cast<Function>(FindCall(pLibrary, szName));
    return function != nullptr;
}

// Loads the library and fills the table with findAll(library, table); the calls are absent
// unless every one was found.
template <class Calls, class FindAll>
LoadedCalls<Calls> LoadCalls(std::initializer_list<const char*> sonames, FindAll findAll)
{
    LoadedCalls<Calls> loaded;
    loaded.pLibrary = OpenLibrary(sonames);
    Calls calls{};
    if (loaded.pLibrary && findAll(loaded.pLibrary, calls))
        loaded.calls = calls;
    return loaded;
}

} // namespace platform::netapi
