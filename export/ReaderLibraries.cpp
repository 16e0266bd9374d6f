#include "export/ReaderLibraries.h"

#include "varimark/error.h"

#include <cerrno>
#include <new>
#include <string>

#include <dlfcn.h>

namespace varimark {

namespace {

// The library under the name the build linked against (its SONAME, given by CMake).
class TLoadedLibrary {
public:
    TLoadedLibrary(const char* soname, const char* pictures)
        : soname_(soname), pictures_(pictures) {
        errno = 0;
        handle_ = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) {
            if (errno == ENOMEM) throw std::bad_alloc();
            const char* why = dlerror();
            throw Error(std::string(pictures) +
                        " pictures cannot be read: " + (why ? why : soname));
        }
    }
    // The library is never unloaded: the process keeps it, as if it were linked.
    template <class Function> void Resolve(Function& function, const char* name) const {
        function = reinterpret_cast<Function>(dlsym(handle_, name));
        if (function == nullptr)
            throw Error(std::string(pictures_) + " pictures cannot be read: " + soname_ +
                        " has no " + name);
    }

private:
    void* handle_ = nullptr;
    const char* soname_;
    const char* pictures_;
};

TTiffCalls LoadTiff() {
    const TLoadedLibrary tiff(VARIMARK_LIBTIFF_SONAME, "TIFF");
    TTiffCalls calls{};
    tiff.Resolve(calls.OpenOptionsAlloc, "TIFFOpenOptionsAlloc");
    tiff.Resolve(calls.OpenOptionsFree, "TIFFOpenOptionsFree");
    tiff.Resolve(calls.OpenOptionsSetErrorHandlerExtR, "TIFFOpenOptionsSetErrorHandlerExtR");
    tiff.Resolve(calls.OpenOptionsSetWarningHandlerExtR, "TIFFOpenOptionsSetWarningHandlerExtR");
    tiff.Resolve(calls.OpenOptionsSetMaxSingleMemAlloc, "TIFFOpenOptionsSetMaxSingleMemAlloc");
    tiff.Resolve(calls.ClientOpenExt, "TIFFClientOpenExt");
    tiff.Resolve(calls.Close, "TIFFClose");
    tiff.Resolve(calls.GetField, "TIFFGetField");
    tiff.Resolve(calls.GetFieldDefaulted, "TIFFGetFieldDefaulted");
    tiff.Resolve(calls.IsTiled, "TIFFIsTiled");
    tiff.Resolve(calls.NumberOfTiles, "TIFFNumberOfTiles");
    tiff.Resolve(calls.NumberOfStrips, "TIFFNumberOfStrips");
    tiff.Resolve(calls.GetStrileOffset, "TIFFGetStrileOffset");
    tiff.Resolve(calls.GetStrileByteCount, "TIFFGetStrileByteCount");
    tiff.Resolve(calls.RGBAImageOK, "TIFFRGBAImageOK");
    tiff.Resolve(calls.ReadRGBAImageOriented, "TIFFReadRGBAImageOriented");
    return calls;
}

TGifCalls LoadGif() {
    const TLoadedLibrary gif(VARIMARK_LIBGIF_SONAME, "GIF");
    TGifCalls calls{};
    gif.Resolve(calls.Open, "DGifOpen");
    gif.Resolve(calls.CloseFile, "DGifCloseFile");
    gif.Resolve(calls.GetRecordType, "DGifGetRecordType");
    gif.Resolve(calls.GetExtension, "DGifGetExtension");
    gif.Resolve(calls.GetExtensionNext, "DGifGetExtensionNext");
    gif.Resolve(calls.ExtensionToGCB, "DGifExtensionToGCB");
    gif.Resolve(calls.GetImageDesc, "DGifGetImageDesc");
    gif.Resolve(calls.GetLine, "DGifGetLine");
    gif.Resolve(calls.ErrorString, "GifErrorString");
    return calls;
}

} // namespace

// A static whose initialisation raises is initialised again at the next call.
const TTiffCalls& TiffCalls() {
    static const TTiffCalls calls = LoadTiff();
    return calls;
}

const TGifCalls& GifCalls() {
    static const TGifCalls calls = LoadGif();
    return calls;
}

} // namespace varimark
