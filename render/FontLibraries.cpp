#include "render/FontLibraries.h"

#include "export/SharedLibrary.h"

#include <dlfcn.h>

namespace varimark {

namespace {

VARIMARK_CALLS_LOADER(LoadFreeType, TFreeTypeCalls, VARIMARK_FREETYPE_SONAME,
                      VARIMARK_FREETYPE_CALLS)

VARIMARK_CALLS_LOADER(LoadFontconfig, TFontconfigCalls, VARIMARK_FONTCONFIG_SONAME,
                      VARIMARK_FONTCONFIG_CALLS)

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
