#include "render/FontLibraries.h"

#include "export/SharedLibrary.h"

#include <dlfcn.h>

namespace varimark {

namespace {

TFreeTypeCalls LoadFreeType() {
    const TSharedLibrary library(VARIMARK_FREETYPE_SONAME);
    TFreeTypeCalls calls{};
    VARIMARK_FREETYPE_CALLS(VARIMARK_CALL_RESOLVE)
    return calls;
}

TFontconfigCalls LoadFontconfig() {
    const TSharedLibrary library(VARIMARK_FONTCONFIG_SONAME);
    TFontconfigCalls calls{};
    VARIMARK_FONTCONFIG_CALLS(VARIMARK_CALL_RESOLVE)
    return calls;
}

} // namespace

const TFreeTypeCalls& FreeTypeCalls() {
    return LoadedOnce<TFreeTypeCalls, LoadFreeType>("Text cannot be drawn");
}

std::string FreeTypeFile() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<const void*>(FreeTypeCalls().InitFreeType), &info) == 0 ||
        info.dli_fname == nullptr)
        return "";
    return info.dli_fname;
}

const TFontconfigCalls& FontconfigCalls() {
    return LoadedOnce<TFontconfigCalls, LoadFontconfig>("Fonts cannot be found");
}

} // namespace varimark
