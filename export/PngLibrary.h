#pragma once
// libpng (and the zlib it brings), loaded when the first PNG picture is written or read: a
// process that makes other pictures never loads them.
#include <png.h>

#include <csetjmp>

namespace varimark {

// The functions the writer and the reader call (png_jmpbuf is a macro over SetLongjmpFn: see
// PngJumpBuffer).
struct TPngCalls {
    decltype(&::png_create_info_struct) CreateInfoStruct;
    decltype(&::png_get_error_ptr) GetErrorPtr;
    decltype(&::png_get_io_ptr) GetIoPtr;
    decltype(&::png_set_longjmp_fn) SetLongjmpFn;
    decltype(&::png_longjmp) Longjmp;
    decltype(&::png_error) Error;
    decltype(&::png_create_write_struct_2) CreateWriteStruct2;
    decltype(&::png_destroy_write_struct) DestroyWriteStruct;
    decltype(&::png_get_mem_ptr) GetMemPtr;
    decltype(&::png_set_write_fn) SetWriteFn;
    decltype(&::png_set_IHDR) SetIHDR;
    decltype(&::png_set_PLTE) SetPLTE;
    decltype(&::png_write_info) WriteInfo;
    decltype(&::png_write_row) WriteRow;
    decltype(&::png_write_end) WriteEnd;
    decltype(&::png_create_read_struct) CreateReadStruct;
    decltype(&::png_destroy_read_struct) DestroyReadStruct;
    decltype(&::png_set_read_fn) SetReadFn;
    decltype(&::png_set_keep_unknown_chunks) SetKeepUnknownChunks;
    decltype(&::png_set_chunk_cache_max) SetChunkCacheMax;
    decltype(&::png_set_chunk_malloc_max) SetChunkMallocMax;
    decltype(&::png_set_user_limits) SetUserLimits;
    decltype(&::png_read_info) ReadInfo;
    decltype(&::png_set_expand) SetExpand;
    decltype(&::png_set_scale_16) SetScale16;
    decltype(&::png_set_packing) SetPacking;
    decltype(&::png_set_interlace_handling) SetInterlaceHandling;
    decltype(&::png_read_update_info) ReadUpdateInfo;
    decltype(&::png_read_row) ReadRow;
    decltype(&::png_get_image_width) GetImageWidth;
    decltype(&::png_get_image_height) GetImageHeight;
    decltype(&::png_get_pHYs) GetPHYs;
    decltype(&::png_get_channels) GetChannels;
    decltype(&::png_get_rowbytes) GetRowbytes;
};

// libpng's functions, loaded at the first call (see LoadedOnce); refusal says what cannot be
// done without them ("PNG pictures cannot be written").
const TPngCalls& PngCalls(const char* refusal);

// The writer's and the reader's errors: the error pointer given to libpng points at a
// TPngError, which keeps the first message; PngErrorJump then jumps to PngJumpBuffer, and the
// caller raises the message once libpng's frames are left. Warnings are dropped.
struct TPngError {
    char message[256] = "";
};
void PngErrorJump(png_structp png, png_const_charp message);
void PngWarningDropped(png_structp png, png_const_charp message);

// What png_jmpbuf(png) gives: the buffer libpng's errors jump to.
inline std::jmp_buf& PngJumpBuffer(const TPngCalls& lib, png_structp png) {
    return *lib.SetLongjmpFn(png, std::longjmp, sizeof(std::jmp_buf));
}

} // namespace varimark
