#pragma once
// C libraries opened at their first use instead of at start: the program does
// not link them; a small file beside their user defines each function the
// program calls, with the library's own declaration, and forwards it to the
// library's function, found by name when it is first called. The start
// then pays for none of them (libcurl alone pulls in some thirty libraries).
//
// A forwarding function is hidden: the program never exports it, so the
// library's calls of its own functions stay within the library.
//
//   namespace { korvane::lazylib::Library curl("libcurl.so.4"); }
//   KORVANE_LAZY_FUNCTION_1(curl, curl_easy_init)   // one per argument count
#include <cstddef>
#include <mutex>
#include <tuple>

namespace korvane::lazylib {

class Library {
public:
    // `soname`: the name the dynamic linker would have looked for.
    constexpr explicit Library(const char *soname) : soname_(soname) {}
    Library(const Library &) = delete;
    Library &operator=(const Library &) = delete;

    // The function `name` of the library, opening the library at the first
    // call. A library or function that is missing ends the program with a
    // message on standard error naming it, as the dynamic linker would have.
    void *symbol(const char *name) const;
    template <class Function>
    Function function(const char *name) const
    {
        return reinterpret_cast<Function>(symbol(name));
    }

private:
    void *handle() const;

    const char *soname_;
    mutable std::once_flag opened_;
    mutable void *handle_ = nullptr;
};

// The parts of a function pointer's type.
template <class F>
struct Signature;
template <class R, class... A>
struct Signature<R (*)(A...)> {
    using Result = R;
    using Arguments = std::tuple<A...>;
};
template <class F>
using ResultOf = typename Signature<F>::Result;
template <class F, std::size_t I>
using ArgumentOf = std::tuple_element_t<I, typename Signature<F>::Arguments>;

}  // namespace korvane::lazylib

// A forwarding function `name` taking the parameters `params` and calling
// the library's own with `args`. Its type is the library header's: a
// declaration that differs does not compile.
#define KORVANE_LAZY_FUNCTION(library, name, params, args)                                                  \
    extern "C" __attribute__((visibility("hidden"))) korvane::lazylib::ResultOf<decltype(&name)> name params \
    {                                                                                                        \
        static const auto real = (library).function<decltype(&name)>(#name);                                \
        return real args;                                                                                    \
    }

#define KORVANE_LAZY_ARG(name, i) korvane::lazylib::ArgumentOf<decltype(&name), i>
#define KORVANE_LAZY_FUNCTION_0(library, name) KORVANE_LAZY_FUNCTION(library, name, (void), ())
#define KORVANE_LAZY_FUNCTION_1(library, name) KORVANE_LAZY_FUNCTION(library, name, (KORVANE_LAZY_ARG(name, 0) a0), (a0))
#define KORVANE_LAZY_FUNCTION_2(library, name)                                                              \
    KORVANE_LAZY_FUNCTION(library, name, (KORVANE_LAZY_ARG(name, 0) a0, KORVANE_LAZY_ARG(name, 1) a1), (a0, a1))
#define KORVANE_LAZY_FUNCTION_3(library, name)                                                              \
    KORVANE_LAZY_FUNCTION(library, name,                                                                    \
                          (KORVANE_LAZY_ARG(name, 0) a0, KORVANE_LAZY_ARG(name, 1) a1,                      \
                           KORVANE_LAZY_ARG(name, 2) a2),                                                   \
                          (a0, a1, a2))
#define KORVANE_LAZY_FUNCTION_4(library, name)                                                              \
    KORVANE_LAZY_FUNCTION(library, name,                                                                    \
                          (KORVANE_LAZY_ARG(name, 0) a0, KORVANE_LAZY_ARG(name, 1) a1,                      \
                           KORVANE_LAZY_ARG(name, 2) a2, KORVANE_LAZY_ARG(name, 3) a3),                     \
                          (a0, a1, a2, a3))
