#pragma once
// libjpeg, loaded when the first JPEG picture is written or read: a process that makes other
// pictures never loads it.
#include "export/SharedLibrary.h"

#include <cstdio> // jpeglib.h needs FILE and size_t first

#include <jpeglib.h>

#include <csetjmp>

namespace varimark {

// The functions the writer and the reader call (jpeg_create_compress and
// jpeg_create_decompress are macros over CreateCompress and CreateDecompress).
#define VARIMARK_JPEG_CALLS(X)                                                                     \
    X(StdError, jpeg_std_error)                                                                    \
    X(CreateCompress, jpeg_CreateCompress)                                                         \
    X(DestroyCompress, jpeg_destroy_compress)                                                      \
    X(SetDefaults, jpeg_set_defaults)                                                              \
    X(SetQuality, jpeg_set_quality)                                                                \
    X(SetColorspace, jpeg_set_colorspace)                                                          \
    X(SimpleProgression, jpeg_simple_progression)                                                  \
    X(StartCompress, jpeg_start_compress)                                                          \
    X(WriteScanlines, jpeg_write_scanlines)                                                        \
    X(FinishCompress, jpeg_finish_compress)                                                        \
    X(CreateDecompress, jpeg_CreateDecompress)                                                     \
    X(DestroyDecompress, jpeg_destroy_decompress)                                                  \
    X(ReadHeader, jpeg_read_header)                                                                \
    X(CalcOutputDimensions, jpeg_calc_output_dimensions)                                           \
    X(StartDecompress, jpeg_start_decompress)                                                      \
    X(ReadScanlines, jpeg_read_scanlines)                                                          \
    X(FinishDecompress, jpeg_finish_decompress)                                                    \
    X(ResyncToRestart, jpeg_resync_to_restart)

struct TJpegCalls {
    VARIMARK_JPEG_CALLS(VARIMARK_CALL_MEMBER)
};

// The writer's and the reader's error manager: an error keeps its code and the first message,
// then jumps to jump (the caller leaves libjpeg's frames and raises it); warnings and trace
// messages are dropped. truncated: the reader's source ran out of bytes.
struct TJpegError {
    jpeg_error_mgr pub; // first: libjpeg sees only this part
    std::jmp_buf jump;
    int code;
    bool truncated;
    char message[JMSG_LENGTH_MAX];
};

// Sets err up (cleared) and returns what goes into cinfo.err.
jpeg_error_mgr* JpegErrorJump(const TJpegCalls& jpeg, TJpegError& err);

// libjpeg's functions, loaded at the first call (see LoadedOnce); refusal says what cannot be
// done without them ("JPEG pictures cannot be written").
const TJpegCalls& JpegCalls(const char* refusal);

} // namespace varimark
