// libcurl, opened at the first mail session rather than at start (see
// common/lazylib.h). Every libcurl function the program calls is here.
#ifdef KORVANE_LAZY_LIBS

// The header's type-checking macros would stand in for curl_easy_setopt.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>

#include "common/lazylib.h"

#include <cstdarg>

namespace {
const korvane::lazylib::Library curl(KORVANE_CURL_SONAME);
}

KORVANE_LAZY_FUNCTION_1(curl, curl_global_init)
KORVANE_LAZY_FUNCTION_0(curl, curl_global_cleanup)
KORVANE_LAZY_FUNCTION_0(curl, curl_easy_init)
KORVANE_LAZY_FUNCTION_1(curl, curl_easy_perform)
KORVANE_LAZY_FUNCTION_1(curl, curl_easy_cleanup)
KORVANE_LAZY_FUNCTION_4(curl, curl_easy_recv)
KORVANE_LAZY_FUNCTION_4(curl, curl_easy_send)
KORVANE_LAZY_FUNCTION_2(curl, curl_slist_append)
KORVANE_LAZY_FUNCTION_1(curl, curl_slist_free_all)

// The options' one argument is passed on as the type its number says: the
// number ranges of curl.h (CURLOPTTYPE_*) tell a long, an object pointer, a
// function pointer, a curl_off_t and a blob apart.
extern "C" __attribute__((visibility("hidden"))) CURLcode curl_easy_setopt(CURL *handle, CURLoption option, ...)
{
    static const auto real = curl.function<decltype(&curl_easy_setopt)>("curl_easy_setopt");
    va_list args;
    va_start(args, option);
    CURLcode result;
    if (option < CURLOPTTYPE_OBJECTPOINT)
        result = real(handle, option, va_arg(args, long));
    else if (option < CURLOPTTYPE_FUNCTIONPOINT)
        result = real(handle, option, va_arg(args, void *));
    else if (option < CURLOPTTYPE_OFF_T)
        result = real(handle, option, va_arg(args, void (*)()));
    else if (option < CURLOPTTYPE_BLOB)
        result = real(handle, option, va_arg(args, curl_off_t));
    else
        result = real(handle, option, va_arg(args, void *));
    va_end(args);
    return result;
}

// Every piece of information is written through a pointer.
extern "C" __attribute__((visibility("hidden"))) CURLcode curl_easy_getinfo(CURL *handle, CURLINFO info, ...)
{
    static const auto real = curl.function<decltype(&curl_easy_getinfo)>("curl_easy_getinfo");
    va_list args;
    va_start(args, info);
    const CURLcode result = real(handle, info, va_arg(args, void *));
    va_end(args);
    return result;
}

#endif
