#include "lazylib.h"

#include <cstdio>
#include <cstdlib>

#include <dlfcn.h>

namespace korvane::lazylib {
namespace {

[[noreturn]] void fail(const char *what, const char *soname, const char *detail)
{
    // The program cannot go on without it; said as plainly as the dynamic
    // linker says it at start, with its own words after ours.
    std::fprintf(stderr, "korvane: %s %s (%s)\n", what, soname, detail ? detail : "");
    std::fflush(stderr);
    std::_Exit(127);
}

}  // namespace

void *Library::handle() const
{
    std::call_once(opened_, [this] {
        // RTLD_GLOBAL: a library opened later that needs this one finds it.
        handle_ = dlopen(soname_, RTLD_NOW | RTLD_GLOBAL);
        if (!handle_)
            fail("共有ライブラリを読み込めません:", soname_, dlerror());
    });
    return handle_;
}

void *Library::symbol(const char *name) const
{
    void *library = handle();
    dlerror();
    void *found = dlsym(library, name);
    if (!found)
        fail("共有ライブラリに必要な関数がありません:", soname_, dlerror());
    return found;
}

}  // namespace korvane::lazylib
