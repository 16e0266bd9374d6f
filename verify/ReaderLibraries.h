#pragma once
// The libraries that only reading needs (libtiff, which brings a dozen codecs of its own,
// and giflib), loaded when the first picture of theirs is read: a process that only makes
// barcodes never loads them. The pictures' writers need neither.
#include "export/SharedLibrary.h"

#include <gif_lib.h>
#include <tiffio.h>

namespace varimark {

#define VARIMARK_TIFF_CALLS(X)                                                                     \
    X(OpenOptionsAlloc, TIFFOpenOptionsAlloc)                                                      \
    X(OpenOptionsFree, TIFFOpenOptionsFree)                                                        \
    X(OpenOptionsSetErrorHandlerExtR, TIFFOpenOptionsSetErrorHandlerExtR)                          \
    X(OpenOptionsSetWarningHandlerExtR, TIFFOpenOptionsSetWarningHandlerExtR)                      \
    X(OpenOptionsSetMaxSingleMemAlloc, TIFFOpenOptionsSetMaxSingleMemAlloc)                        \
    X(ClientOpenExt, TIFFClientOpenExt)                                                            \
    X(Close, TIFFClose)                                                                            \
    X(GetField, TIFFGetField)                                                                      \
    X(GetFieldDefaulted, TIFFGetFieldDefaulted)                                                    \
    X(IsTiled, TIFFIsTiled)                                                                        \
    X(NumberOfTiles, TIFFNumberOfTiles)                                                            \
    X(NumberOfStrips, TIFFNumberOfStrips)                                                          \
    X(GetStrileOffset, TIFFGetStrileOffset)                                                        \
    X(GetStrileByteCount, TIFFGetStrileByteCount)                                                  \
    X(RGBAImageOK, TIFFRGBAImageOK)                                                                \
    X(ReadRGBAImageOriented, TIFFReadRGBAImageOriented)

struct TTiffCalls {
    VARIMARK_TIFF_CALLS(VARIMARK_CALL_MEMBER)
};

#define VARIMARK_GIF_CALLS(X)                                                                      \
    X(Open, DGifOpen)                                                                              \
    X(CloseFile, DGifCloseFile)                                                                    \
    X(GetRecordType, DGifGetRecordType)                                                            \
    X(GetExtension, DGifGetExtension)                                                              \
    X(GetExtensionNext, DGifGetExtensionNext)                                                      \
    X(ExtensionToGCB, DGifExtensionToGCB)                                                          \
    X(GetImageDesc, DGifGetImageDesc)                                                              \
    X(GetLine, DGifGetLine)                                                                        \
    X(ErrorString, GifErrorString)

struct TGifCalls {
    VARIMARK_GIF_CALLS(VARIMARK_CALL_MEMBER)
};

// The library's functions, loaded at the first call (see LoadedOnce): ELibraryUnavailable
// ("TIFF pictures cannot be read: ...") naming the library when it is not installed or lacks a
// function, std::bad_alloc when memory ran out loading it; a later call tries again.
const TTiffCalls& TiffCalls();
const TGifCalls& GifCalls();

} // namespace varimark
