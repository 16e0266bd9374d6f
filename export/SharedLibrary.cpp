#include "export/SharedLibrary.h"

#include <cerrno>
#include <new>

#include <dlfcn.h>

namespace varimark {

TSharedLibrary::TSharedLibrary(const char* soname) : soname_(soname) {
    errno = 0;
    handle_ = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        if (errno == ENOMEM) throw std::bad_alloc();
        const char* why = dlerror();
        throw Error(why ? why : soname);
    }
}

void* TSharedLibrary::Symbol(const char* name) const {
    void* function = dlsym(handle_, name);
    if (function == nullptr) throw Error(std::string(soname_) + " has no " + name);
    return function;
}

} // namespace varimark
