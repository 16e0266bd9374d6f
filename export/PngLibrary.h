#pragma once
// libpng (and the zlib it brings), loaded when the first PNG picture is read: a process that
// writes pictures never loads them (PngWriter writes PNG on its own).
#include "export/SharedLibrary.h"

#include <png.h>

#include <csetjmp>

namespace varimark {

// The functions the reader calls (png_jmpbuf is a macro over SetLongjmpFn: see
// PngJumpBuffer).
#define VARIMARK_PNG_CALLS(X)                                                                      \
    X(CreateInfoStruct, png_create_info_struct)                                                    \
    X(GetErrorPtr, png_get_error_ptr)                                                              \
    X(GetIoPtr, png_get_io_ptr)                                                                    \
    X(SetLongjmpFn, png_set_longjmp_fn)                                                            \
    X(Longjmp, png_longjmp)                                                                        \
    X(Error, png_error)                                                                            \
    X(CreateReadStruct, png_create_read_struct)                                                    \
    X(DestroyReadStruct, png_destroy_read_struct)                                                  \
    X(SetReadFn, png_set_read_fn)                                                                  \
    X(SetKeepUnknownChunks, png_set_keep_unknown_chunks)                                           \
    X(SetChunkCacheMax, png_set_chunk_cache_max)                                                   \
    X(SetChunkMallocMax, png_set_chunk_malloc_max)                                                 \
    X(SetUserLimits, png_set_user_limits)                                                          \
    X(ReadInfo, png_read_info)                                                                     \
    X(SetExpand, png_set_expand)                                                                   \
    X(SetScale16, png_set_scale_16)                                                                \
    X(SetPacking, png_set_packing)                                                                 \
    X(SetInterlaceHandling, png_set_interlace_handling)                                            \
    X(ReadUpdateInfo, png_read_update_info)                                                        \
    X(ReadRow, png_read_row)                                                                       \
    X(GetImageWidth, png_get_image_width)                                                          \
    X(GetImageHeight, png_get_image_height)                                                        \
    X(GetPHYs, png_get_pHYs)                                                                       \
    X(GetChannels, png_get_channels)                                                               \
    X(GetRowbytes, png_get_rowbytes)

struct TPngCalls {
    VARIMARK_PNG_CALLS(VARIMARK_CALL_MEMBER)
};

// libpng's functions, loaded at the first call (see LoadedOnce); refusal says what cannot be
// done without them ("PNG pictures cannot be read").
const TPngCalls& PngCalls(const char* refusal);

// The reader's errors: the error pointer given to libpng points at a
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
