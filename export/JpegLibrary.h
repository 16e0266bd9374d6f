#pragma once
// libjpeg, loaded when the first JPEG picture is written or read: a process that makes other
// pictures never loads it.
#include <cstdio> // jpeglib.h needs FILE and size_t first

#include <jpeglib.h>

#include <csetjmp>

namespace varimark {

// The functions the writer and the reader call (jpeg_create_compress and
// jpeg_create_decompress are macros over CreateCompress and CreateDecompress).
struct TJpegCalls {
    decltype(&::jpeg_std_error) StdError;
    decltype(&::jpeg_CreateCompress) CreateCompress;
    decltype(&::jpeg_destroy_compress) DestroyCompress;
    decltype(&::jpeg_set_defaults) SetDefaults;
    decltype(&::jpeg_set_quality) SetQuality;
    decltype(&::jpeg_set_colorspace) SetColorspace;
    decltype(&::jpeg_simple_progression) SimpleProgression;
    decltype(&::jpeg_start_compress) StartCompress;
    decltype(&::jpeg_write_scanlines) WriteScanlines;
    decltype(&::jpeg_finish_compress) FinishCompress;
    decltype(&::jpeg_CreateDecompress) CreateDecompress;
    decltype(&::jpeg_destroy_decompress) DestroyDecompress;
    decltype(&::jpeg_read_header) ReadHeader;
    decltype(&::jpeg_calc_output_dimensions) CalcOutputDimensions;
    decltype(&::jpeg_start_decompress) StartDecompress;
    decltype(&::jpeg_read_scanlines) ReadScanlines;
    decltype(&::jpeg_finish_decompress) FinishDecompress;
    decltype(&::jpeg_resync_to_restart) ResyncToRestart;
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
