// JPEG export over libjpeg (API 62), loaded when the first picture is compressed. The compressed
// bytes are gathered in memory by a destination manager of our own; a library failure leaves the
// compression through longjmp to the compressing function, which destroys the object and raises
// EJPEG. No C++ exception ever passes through libjpeg's frames.
#include "export/JPEGImage.h"

#include "export/JpegLibrary.h"

#include <csetjmp>
#include <cstddef>
#include <memory>
#include <string>

#include <jerror.h>

namespace varimark {

namespace {

// --- Destination manager: a fixed buffer, flushed into a std::vector.

constexpr std::size_t kChunk = 16384;

struct TMemoryDestination {
    jpeg_destination_mgr pub; // first: libjpeg sees only this part
    std::vector<std::uint8_t>* out = nullptr;
    JOCTET buffer[kChunk];
};

// Appends bytes; a failed allocation is reported to libjpeg as an out-of-memory error
// once no C++ object of this frame is alive, so that error_exit may jump over it.
void Flush(j_compress_ptr cinfo, std::size_t count) {
    auto* dest = reinterpret_cast<TMemoryDestination*>(cinfo->dest);
    bool failed = false;
    try {
        dest->out->insert(dest->out->end(), dest->buffer, dest->buffer + count);
    } catch (...) {
        failed = true;
    }
    if (failed) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
}

void JpegInitDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<TMemoryDestination*>(cinfo->dest);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = kChunk;
}

// Called when the whole buffer is full, whatever free_in_buffer says.
boolean JpegEmptyOutputBuffer(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<TMemoryDestination*>(cinfo->dest);
    Flush(cinfo, kChunk);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = kChunk;
    return TRUE;
}

void JpegTermDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<TMemoryDestination*>(cinfo->dest);
    Flush(cinfo, kChunk - dest->pub.free_in_buffer);
}

// Everything libjpeg works on, on the heap: nothing that the error jump returns over
// lives in the compressing function's frame.
struct TCompression {
    jpeg_compress_struct cinfo{};
    TJpegError err;
    TMemoryDestination dest;
};

// Compresses the picture into the destination; false, with the library's message code,
// when the library fails. Every C++ object of this frame exists before setjmp, so the jump
// back skips no destructor.
bool Compress(const TJpegCalls& jpeg, TCompression* c, const TBitmap& bitmap, int quality,
              bool grayscale, bool progressive, std::uint8_t* rowBuffer, int& code) {
    c->cinfo.err = JpegErrorJump(jpeg, c->err);
    c->dest.pub.init_destination = JpegInitDestination;
    c->dest.pub.empty_output_buffer = JpegEmptyOutputBuffer;
    c->dest.pub.term_destination = JpegTermDestination;

    if (setjmp(c->err.jump) != 0) {
        jpeg.DestroyCompress(&c->cinfo);
        code = c->err.code;
        return false;
    }
    jpeg.CreateCompress(&c->cinfo, JPEG_LIB_VERSION, sizeof c->cinfo); // jpeg_create_compress
    jpeg_compress_struct* cinfo = &c->cinfo;
    cinfo->dest = &c->dest.pub;
    cinfo->image_width = static_cast<JDIMENSION>(bitmap.Width());
    cinfo->image_height = static_cast<JDIMENSION>(bitmap.Height());
    cinfo->input_components = 3;
    cinfo->in_color_space = JCS_RGB;
    jpeg.SetDefaults(cinfo);
    jpeg.SetQuality(cinfo, quality, TRUE); // baseline tables
    if (grayscale) jpeg.SetColorspace(cinfo, JCS_GRAYSCALE);
    if (progressive) jpeg.SimpleProgression(cinfo);
    jpeg.StartCompress(cinfo, TRUE);
    // The rows are stored bottom first, so they go one per call, from the top.
    JSAMPROW row = rowBuffer;
    for (int y = 0; y < bitmap.Height(); ++y) {
        bitmap.ReadRgbRow(y, row);
        jpeg.WriteScanlines(cinfo, &row, 1);
    }
    jpeg.FinishCompress(cinfo);
    jpeg.DestroyCompress(cinfo);
    return true;
}

} // namespace

void TJPEGImage::Assign(const TBitmap& bitmap) {
    bitmap_ = bitmap;
    data_.clear();
    compressed_ = false;
}

const std::vector<std::uint8_t>& TJPEGImage::Data() {
    if (compressed_) return data_;
    data_.clear();
    if (!bitmap_.Empty()) {
        const TJpegCalls& jpeg = JpegCalls("JPEG pictures cannot be written");
        std::vector<std::uint8_t> out;
        std::vector<std::uint8_t> rowBuffer(static_cast<std::size_t>(bitmap_.Width()) * 3);
        auto compression = std::make_unique<TCompression>();
        compression->dest.out = &out;
        int code = 0;
        if (!Compress(jpeg, compression.get(), bitmap_, CompressionQuality, Grayscale,
                      ProgressiveEncoding, rowBuffer.data(), code))
            throw EJPEG("JPEG error #" + std::to_string(code));
        data_ = std::move(out);
    }
    compressed_ = true;
    return data_;
}

} // namespace varimark
