#pragma once
// Libraries loaded when first needed rather than at the program's start: a process that only
// makes barcodes never maps them. Each is opened by the SONAME the build linked against
// (given by CMake), its functions gathered into a table of pointers on first use.
#include "varimark/error.h"

#include <string>

namespace varimark {

// A library the process needs for something and cannot load: the message says what cannot be
// done and why ("JPEG pictures cannot be written: libjpeg.so.62 has no jpeg_std_error").
class ELibraryUnavailable : public Error {
public:
    using Error::Error;
};

// A library opened by its SONAME, never closed: the process keeps it, as if it were linked.
// Raises varimark::Error with the loader's reason when it cannot be opened (or naming a
// function it lacks), std::bad_alloc when memory ran out opening it.
class TSharedLibrary {
public:
    explicit TSharedLibrary(const char* soname);
    template <class Function> void Resolve(Function& function, const char* name) const {
        function = reinterpret_cast<Function>(Symbol(name));
    }

private:
    void* Symbol(const char* name) const;
    void* handle_ = nullptr;
    const char* soname_;
};

// A library's functions are one list, X(Member, c_function) per function: the table of
// pointers declares them with VARIMARK_CALL_MEMBER, its loader resolves them by name with
// VARIMARK_CALL_RESOLVE (a TSharedLibrary `library`, a table `calls` in scope).
#define VARIMARK_CALL_MEMBER(member, function) decltype(&::function) member;
#define VARIMARK_CALL_RESOLVE(member, function) library.Resolve(calls.member, #function);
// The loader of a library's table: the function `load`, which loads the library by its SONAME
// and resolves every function of its list.
#define VARIMARK_CALLS_LOADER(load, TCalls, soname, list)                                          \
    TCalls load() {                                                                                \
        const TSharedLibrary library(soname);                                                      \
        TCalls calls{};                                                                            \
        list(VARIMARK_CALL_RESOLVE) return calls;                                                  \
    }

// The table Load makes, made at the first call (by one thread; the others wait) and kept for
// the life of the process. When the library cannot be loaded, ELibraryUnavailable
// "<refusal>: <reason>" (refusal: what cannot be done, "TIFF pictures cannot be read"); a
// static whose initialisation raises is initialised again at the next call, so a later call
// tries again.
template <class TCalls, TCalls (*kLoad)()> const TCalls& LoadedOnce(const char* refusal) {
    try {
        static const TCalls kCalls = kLoad();
        return kCalls;
    } catch (const Error& e) {
        throw ELibraryUnavailable(std::string(refusal) + ": " + e.what());
    }
}

} // namespace varimark
