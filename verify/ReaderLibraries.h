#pragma once
// The libraries that only reading needs (libtiff, which brings a dozen codecs of its own,
// and giflib), loaded when the first picture of theirs is read: a process that only makes
// barcodes never loads them. The pictures' writers need neither.
#include <gif_lib.h>
#include <tiffio.h>

namespace varimark {

struct TTiffCalls {
    decltype(&::TIFFOpenOptionsAlloc) OpenOptionsAlloc;
    decltype(&::TIFFOpenOptionsFree) OpenOptionsFree;
    decltype(&::TIFFOpenOptionsSetErrorHandlerExtR) OpenOptionsSetErrorHandlerExtR;
    decltype(&::TIFFOpenOptionsSetWarningHandlerExtR) OpenOptionsSetWarningHandlerExtR;
    decltype(&::TIFFOpenOptionsSetMaxSingleMemAlloc) OpenOptionsSetMaxSingleMemAlloc;
    decltype(&::TIFFClientOpenExt) ClientOpenExt;
    decltype(&::TIFFClose) Close;
    decltype(&::TIFFGetField) GetField;
    decltype(&::TIFFGetFieldDefaulted) GetFieldDefaulted;
    decltype(&::TIFFIsTiled) IsTiled;
    decltype(&::TIFFNumberOfTiles) NumberOfTiles;
    decltype(&::TIFFNumberOfStrips) NumberOfStrips;
    decltype(&::TIFFGetStrileOffset) GetStrileOffset;
    decltype(&::TIFFGetStrileByteCount) GetStrileByteCount;
    decltype(&::TIFFRGBAImageOK) RGBAImageOK;
    decltype(&::TIFFReadRGBAImageOriented) ReadRGBAImageOriented;
};

struct TGifCalls {
    decltype(&::DGifOpen) Open;
    decltype(&::DGifCloseFile) CloseFile;
    decltype(&::DGifGetRecordType) GetRecordType;
    decltype(&::DGifGetExtension) GetExtension;
    decltype(&::DGifGetExtensionNext) GetExtensionNext;
    decltype(&::DGifExtensionToGCB) ExtensionToGCB;
    decltype(&::DGifGetImageDesc) GetImageDesc;
    decltype(&::DGifGetLine) GetLine;
    decltype(&::GifErrorString) ErrorString;
};

// The library's functions, loaded at the first call (see LoadedOnce): ELibraryUnavailable
// ("TIFF pictures cannot be read: ...") naming the library when it is not installed or lacks a
// function, std::bad_alloc when memory ran out loading it; a later call tries again.
const TTiffCalls& TiffCalls();
const TGifCalls& GifCalls();

} // namespace varimark
