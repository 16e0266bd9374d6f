#include "export/JpegLibrary.h"

#include "export/SharedLibrary.h"

namespace varimark {

namespace {

VARIMARK_CALLS_LOADER(LoadJpeg, TJpegCalls, VARIMARK_LIBJPEG_SONAME, VARIMARK_JPEG_CALLS)

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
