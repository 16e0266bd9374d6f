#include "export/PngLibrary.h"

#include "export/SharedLibrary.h"

#include <cstdio>

namespace varimark {

namespace {

VARIMARK_CALLS_LOADER(LoadPng, TPngCalls, VARIMARK_LIBPNG_SONAME, VARIMARK_PNG_CALLS)

} // namespace

const TPngCalls& PngCalls(const char* refusal) {
    return LoadedOnce<TPngCalls, LoadPng>(refusal);
}

void PngErrorJump(png_structp png, png_const_charp message) {
    const TPngCalls& lib = PngCalls("PNG pictures cannot be read");
    auto* error = static_cast<TPngError*>(lib.GetErrorPtr(png));
    if (error->message[0] == 0)
        std::snprintf(error->message, sizeof error->message, "%s",
                      message != nullptr ? message : "");
    lib.Longjmp(png, 1);
}

void PngWarningDropped(png_structp, png_const_charp) {}

} // namespace varimark
