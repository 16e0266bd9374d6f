#include "verify/ReaderLibraries.h"

#include "export/SharedLibrary.h"

namespace varimark {

namespace {

VARIMARK_CALLS_LOADER(LoadTiff, TTiffCalls, VARIMARK_LIBTIFF_SONAME, VARIMARK_TIFF_CALLS)

VARIMARK_CALLS_LOADER(LoadGif, TGifCalls, VARIMARK_LIBGIF_SONAME, VARIMARK_GIF_CALLS)

} // namespace

const TTiffCalls& TiffCalls() {
    return LoadedOnce<TTiffCalls, LoadTiff>("TIFF pictures cannot be read");
}

const TGifCalls& GifCalls() {
    return LoadedOnce<TGifCalls, LoadGif>("GIF pictures cannot be read");
}

} // namespace varimark
