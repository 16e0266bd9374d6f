#include "verify/ReaderLibraries.h"

#include "export/SharedLibrary.h"

namespace varimark {

namespace {

TTiffCalls LoadTiff() {
    const TSharedLibrary tiff(VARIMARK_LIBTIFF_SONAME);
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
    const TSharedLibrary gif(VARIMARK_LIBGIF_SONAME);
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

const TTiffCalls& TiffCalls() {
    return LoadedOnce<TTiffCalls, LoadTiff>("TIFF pictures cannot be read");
}

const TGifCalls& GifCalls() {
    return LoadedOnce<TGifCalls, LoadGif>("GIF pictures cannot be read");
}

} // namespace varimark
