#include "export/SharedLibrary.h"

#include <cerrno>
#include <cstring>
#include <new>

#include <dlfcn.h>

namespace varimark {

namespace {

// Whether the loader failed for want of memory or address space. It keeps no error number for
// a segment it could not map (under ulimit -v, a library or one it needs), so its messages
// tell: glibc's for a mapping, an allocation or a structure it could not make.
bool OutOfMemory(const char* why) {
    static const char* const kSigns[] = {
        "failed to map segment",
        "cannot map zero-fill pages",
        "cannot allocate",
        "Cannot allocate memory",
        "out of memory",
        "cannot create shared object descriptor",
        "cannot create scope list",
        "cannot extend global scope",
        "cannot create TLS data structures",
    };
    for (const char* sign : kSigns)
        if (std::strstr(why, sign) != nullptr) return true;
    return false;
}

} // namespace

TSharedLibrary::TSharedLibrary(const char* soname) : soname_(soname) {
    errno = 0;
    handle_ = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const bool noMemory = errno == ENOMEM;
        const char* why = dlerror();
        if (noMemory || (why != nullptr && OutOfMemory(why))) throw std::bad_alloc();
        throw Error(why ? why : soname);
    }
}

void* TSharedLibrary::Symbol(const char* name) const {
    void* function = dlsym(handle_, name);
    if (function == nullptr) throw Error(std::string(soname_) + " has no " + name);
    return function;
}

} // namespace varimark
