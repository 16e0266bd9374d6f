#include "export/JpegLibrary.h"

#include "export/SharedLibrary.h"

namespace varimark {

namespace {

TJpegCalls LoadJpeg() {
    const TSharedLibrary jpeg(VARIMARK_LIBJPEG_SONAME);
    TJpegCalls calls{};
    jpeg.Resolve(calls.StdError, "jpeg_std_error");
    jpeg.Resolve(calls.CreateCompress, "jpeg_CreateCompress");
    jpeg.Resolve(calls.DestroyCompress, "jpeg_destroy_compress");
    jpeg.Resolve(calls.SetDefaults, "jpeg_set_defaults");
    jpeg.Resolve(calls.SetQuality, "jpeg_set_quality");
    jpeg.Resolve(calls.SetColorspace, "jpeg_set_colorspace");
    jpeg.Resolve(calls.SimpleProgression, "jpeg_simple_progression");
    jpeg.Resolve(calls.StartCompress, "jpeg_start_compress");
    jpeg.Resolve(calls.WriteScanlines, "jpeg_write_scanlines");
    jpeg.Resolve(calls.FinishCompress, "jpeg_finish_compress");
    jpeg.Resolve(calls.CreateDecompress, "jpeg_CreateDecompress");
    jpeg.Resolve(calls.DestroyDecompress, "jpeg_destroy_decompress");
    jpeg.Resolve(calls.ReadHeader, "jpeg_read_header");
    jpeg.Resolve(calls.CalcOutputDimensions, "jpeg_calc_output_dimensions");
    jpeg.Resolve(calls.StartDecompress, "jpeg_start_decompress");
    jpeg.Resolve(calls.ReadScanlines, "jpeg_read_scanlines");
    jpeg.Resolve(calls.FinishDecompress, "jpeg_finish_decompress");
    jpeg.Resolve(calls.ResyncToRestart, "jpeg_resync_to_restart");
    return calls;
}

} // namespace

const TJpegCalls& JpegCalls(const char* refusal) {
    return LoadedOnce<TJpegCalls, LoadJpeg>(refusal);
}

namespace {

void JpegErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<TJpegError*>(cinfo->err);
    err->code = cinfo->err->msg_code;
    if (err->message[0] == 0) (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void JpegEmitMessage(j_common_ptr, int) {} // warnings (level -1) and trace messages (0 and up)
void JpegOutputMessage(j_common_ptr) {}

} // namespace

jpeg_error_mgr* JpegErrorJump(const TJpegCalls& jpeg, TJpegError& err) {
    err = TJpegError{};
    jpeg_error_mgr* pub = jpeg.StdError(&err.pub);
    pub->error_exit = JpegErrorExit;
    pub->emit_message = JpegEmitMessage;
    pub->output_message = JpegOutputMessage;
    return pub;
}

} // namespace varimark
