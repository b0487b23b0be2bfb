// Programs that call the program's Win32 code without its entry: the system libraries that the
// entry loads first are loaded here, before main.
#include "win32/SystemLibraries.h"

#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace {

const bool systemLibrariesLoaded = [] {
    const wchar_t* missing = nullptr;
    if (!LoadSystemLibraries(&missing)) {
        std::fwprintf(stderr, L"cannot load %ls from the system folder\n", missing);
        std::abort();
    }
    return true;
}();

} // namespace
