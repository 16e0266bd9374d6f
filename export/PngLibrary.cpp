#include "export/PngLibrary.h"

#include "export/SharedLibrary.h"

#include <cstdio>

namespace varimark {

namespace {

TPngCalls LoadPng() {
    const TSharedLibrary png(VARIMARK_LIBPNG_SONAME);
    TPngCalls calls{};
    png.Resolve(calls.CreateInfoStruct, "png_create_info_struct");
    png.Resolve(calls.GetErrorPtr, "png_get_error_ptr");
    png.Resolve(calls.GetIoPtr, "png_get_io_ptr");
    png.Resolve(calls.SetLongjmpFn, "png_set_longjmp_fn");
    png.Resolve(calls.Longjmp, "png_longjmp");
    png.Resolve(calls.Error, "png_error");
    png.Resolve(calls.CreateWriteStruct2, "png_create_write_struct_2");
    png.Resolve(calls.DestroyWriteStruct, "png_destroy_write_struct");
    png.Resolve(calls.GetMemPtr, "png_get_mem_ptr");
    png.Resolve(calls.SetWriteFn, "png_set_write_fn");
    png.Resolve(calls.SetIHDR, "png_set_IHDR");
    png.Resolve(calls.SetPLTE, "png_set_PLTE");
    png.Resolve(calls.WriteInfo, "png_write_info");
    png.Resolve(calls.WriteRow, "png_write_row");
    png.Resolve(calls.WriteEnd, "png_write_end");
    png.Resolve(calls.CreateReadStruct, "png_create_read_struct");
    png.Resolve(calls.DestroyReadStruct, "png_destroy_read_struct");
    png.Resolve(calls.SetReadFn, "png_set_read_fn");
    png.Resolve(calls.SetKeepUnknownChunks, "png_set_keep_unknown_chunks");
    png.Resolve(calls.SetChunkCacheMax, "png_set_chunk_cache_max");
    png.Resolve(calls.SetChunkMallocMax, "png_set_chunk_malloc_max");
    png.Resolve(calls.SetUserLimits, "png_set_user_limits");
    png.Resolve(calls.ReadInfo, "png_read_info");
    png.Resolve(calls.SetExpand, "png_set_expand");
    png.Resolve(calls.SetScale16, "png_set_scale_16");
    png.Resolve(calls.SetPacking, "png_set_packing");
    png.Resolve(calls.SetInterlaceHandling, "png_set_interlace_handling");
    png.Resolve(calls.ReadUpdateInfo, "png_read_update_info");
    png.Resolve(calls.ReadRow, "png_read_row");
    png.Resolve(calls.GetImageWidth, "png_get_image_width");
    png.Resolve(calls.GetImageHeight, "png_get_image_height");
    png.Resolve(calls.GetPHYs, "png_get_pHYs");
    png.Resolve(calls.GetChannels, "png_get_channels");
    png.Resolve(calls.GetRowbytes, "png_get_rowbytes");
    return calls;
}

} // namespace

const TPngCalls& PngCalls(const char* refusal) {
    return LoadedOnce<TPngCalls, LoadPng>(refusal);
}

void PngErrorJump(png_structp png, png_const_charp message) {
    const TPngCalls& lib = PngCalls("PNG pictures cannot be read or written");
    auto* error = static_cast<TPngError*>(lib.GetErrorPtr(png));
    if (error->message[0] == 0)
        std::snprintf(error->message, sizeof error->message, "%s",
                      message != nullptr ? message : "");
    lib.Longjmp(png, 1);
}

void PngWarningDropped(png_structp, png_const_charp) {}

} // namespace varimark
