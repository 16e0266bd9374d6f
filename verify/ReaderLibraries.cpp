#include "verify/ReaderLibraries.h"

#include "export/SharedLibrary.h"

namespace varimark {

namespace {

TTiffCalls LoadTiff() {
    const TSharedLibrary library(VARIMARK_LIBTIFF_SONAME);
    TTiffCalls calls{};
    VARIMARK_TIFF_CALLS(VARIMARK_CALL_RESOLVE)
    return calls;
}

TGifCalls LoadGif() {
    const TSharedLibrary library(VARIMARK_LIBGIF_SONAME);
    TGifCalls calls{};
    VARIMARK_GIF_CALLS(VARIMARK_CALL_RESOLVE)
    return calls;
}

} // namespace

const TTiffCalls& TiffCalls() {
    return LoadedOnce<TTiffCalls, LoadTiff>("TIFF pictures cannot be read");
}

const TGifCalls& GifCalls() {
    return LoadedOnce<TGifCalls, LoadGif>("GIF pictures cannot be read");
}

} // namespace varimark
