// Picture files read back as grey levels. PNG, TIFF, GIF and JPEG go through their
// libraries (loaded when the first picture of theirs is read), fed from memory; BMP is parsed here.
// Whatever the format, the size is checked against kMaxGreyPixels before any pixel buffer is made,
// and a library's error (libpng and libjpeg jump out of their frames with longjmp) comes back as a
// varimark::Error. The functions that call setjmp own no C++ object: what outlives a jump lives in
// the caller.
#include "verify/PictureReader.h"

#include "export/FileReader.h"
#include "export/JpegLibrary.h"
#include "export/PngLibrary.h"
#include "varimark/error.h"
#include "verify/ReaderLibraries.h"

#include <algorithm>
#include <array>
#include <bit>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include <jerror.h>

namespace varimark {

namespace {

constexpr std::size_t kMaxPictureFileBytes = std::size_t(320) << 20;

[[noreturn]] void Refuse(const std::string& message) {
    throw Error(message);
}

// A size that makes a sensible picture.
void CheckPictureSize(long long width, long long height, const char* format) {
    if (width <= 0 || height <= 0)
        Refuse(std::string("the ") + format + " picture has no pixels (" + std::to_string(width) +
               " x " + std::to_string(height) + ")");
    if (width > kMaxGreyPixels || height > kMaxGreyPixels || width * height > kMaxGreyPixels)
        Refuse("the picture is larger than " + std::to_string(kMaxGreyPixels) + " pixels (" +
               std::to_string(width) + " x " + std::to_string(height) + ")");
}

// The picture's buffer, once its size is known to be sensible.
TGreyPicture MakePicture(long long width, long long height, const char* format) {
    CheckPictureSize(width, height, format);
    TGreyPicture picture;
    picture.width = static_cast<int>(width);
    picture.height = static_cast<int>(height);
    picture.level.assign(static_cast<std::size_t>(width * height), 255);
    return picture;
}

// A level of red at the given opacity, over white.
inline std::uint8_t OverWhite(unsigned level, unsigned alpha) {
    return static_cast<std::uint8_t>((level * alpha + 255 * (255 - alpha) + 127) / 255);
}

constexpr double kInchesPerMetre = 0.0254;

// A resolution below 1 dpi or above 100000 is no scan of a barcode: the file's figure is a
// mistake or a placeholder, and grading with it would make every measurement nonsense.
constexpr double kMinStatedDpi = 1, kMaxStatedDpi = 100000;

// A stated figure with the digits that tell it from a limit: "0.0254", "100000.0032".
std::string Figure(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

// The resolution the file states, per direction (nothing where it states none); one outside
// kMinStatedDpi..kMaxStatedDpi makes both none, and the note says why.
void SetStatedResolution(TGreyPicture& picture, std::optional<double> x, std::optional<double> y) {
    const auto outside = [](std::optional<double> dpi) {
        return dpi && !(*dpi >= kMinStatedDpi && *dpi <= kMaxStatedDpi); // NaN too
    };
    if (!outside(x) && !outside(y)) {
        picture.dpiX = x.value_or(0);
        picture.dpiY = y.value_or(0);
        return;
    }
    const std::string figureX = x ? Figure(*x) : "no", figureY = y ? Figure(*y) : "no";
    picture.resolutionNote =
        "the file states " + (figureX == figureY ? figureX : figureX + " x " + figureY) +
        " dpi, outside " + Figure(kMinStatedDpi) + " to " + Figure(kMaxStatedDpi) + " dpi";
}

// --- PNG ------------------------------------------------------------------------------------

struct TPngState {
    std::span<const std::uint8_t> bytes;
    std::size_t at = 0;
    bool truncated = false;
    TPngError error{};
};

// libpng's functions: loaded before any callback can be called.
const TPngCalls& Png() {
    return PngCalls("PNG pictures cannot be read");
}

void PngRead(png_structp png, png_bytep data, png_size_t length) {
    const TPngCalls& lib = Png();
    auto* state = static_cast<TPngState*>(lib.GetIoPtr(png));
    if (length > state->bytes.size() - state->at) {
        state->truncated = true;
        lib.Error(png, "truncated");
    }
    std::memcpy(data, state->bytes.data() + state->at, length);
    state->at += length;
}

// The most a chunk the reader keeps may hold (PLTE, tRNS and pHYs need less than 1 KB); the
// image data (IDAT) has its own limit in libpng, from the picture's size.
constexpr png_alloc_size_t kMaxPngChunkBytes = 64 << 10;

// The chunks read, the header and the transformations to 8-bit grey, grey and alpha, RGB or
// RGBA.
bool ReadPngHeader(const TPngCalls& lib, png_structp png, png_infop info, int* passes) {
    if (setjmp(PngJumpBuffer(lib, png)) != 0) return false;
    // Only what the levels and the resolution need: besides the critical chunks, tRNS (-1
    // names every ancillary chunk libpng knows but tRNS) and pHYs. Every other ancillary chunk
    // (texts, colour profiles, Exif, unknown ones) is skipped unread, never inflated nor kept: a
    // file of a thousand compressed texts costs the time of reading its bytes, and no memory.
    lib.SetKeepUnknownChunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    static constexpr png_byte kUsed[] = {'p', 'H', 'Y', 's', 0};
    lib.SetKeepUnknownChunks(png, PNG_HANDLE_CHUNK_AS_DEFAULT, kUsed, 1);
    lib.SetChunkCacheMax(png, 1); // ancillary chunks kept: 1 is none (0 would be no limit)
    lib.SetChunkMallocMax(png, kMaxPngChunkBytes);
    // libpng's own size limits as wide as ours, so that a picture too large gets our message.
    lib.SetUserLimits(png, kMaxGreyPixels, kMaxGreyPixels);
    lib.ReadInfo(png, info);
    lib.SetExpand(png); // palette to RGB, low depths to 8 bits, tRNS to alpha
    lib.SetScale16(png);
    lib.SetPacking(png);
    *passes = lib.SetInterlaceHandling(png);
    lib.ReadUpdateInfo(png, info);
    return true;
}

// Rows [0, height) for every pass into rows (rowBytes each); an interlaced picture needs all
// of them, one that is not reads each into the same row (rowBytes apart is then 0).
bool ReadPngRows(const TPngCalls& lib, png_structp png, png_bytep rows, std::size_t step,
                 png_uint_32 height, int passes, void (*take)(void*, png_uint_32, png_const_bytep),
                 void* context) {
    if (setjmp(PngJumpBuffer(lib, png)) != 0) return false;
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y) {
            png_bytep row = rows + step * y;
            lib.ReadRow(png, row, nullptr);
            if (pass == passes - 1) take(context, y, row);
        }
    return true;
}

struct TPngRowSink {
    TGreyPicture* picture;
    int channels;
};

void TakePngRow(void* context, png_uint_32 y, png_const_bytep row) {
    const auto& sink = *static_cast<TPngRowSink*>(context);
    std::uint8_t* out = sink.picture->level.data() + std::size_t(y) * sink.picture->width;
    const int c = sink.channels;
    for (int x = 0; x < sink.picture->width; ++x, row += c)
        out[x] = c == 1 || c == 3 ? row[0] : OverWhite(row[0], row[c - 1]);
}

// The reading structures, freed however the reading ends.
struct TPngReader {
    const TPngCalls& lib;
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~TPngReader() { lib.DestroyReadStruct(&png, &info, nullptr); }
};

TGreyPicture ReadPng(std::span<const std::uint8_t> bytes) {
    const TPngCalls& lib = Png();
    TPngState state{bytes};
    TPngReader reader{lib};
    reader.png =
        lib.CreateReadStruct(PNG_LIBPNG_VER_STRING, &state.error, PngErrorJump, PngWarningDropped);
    if (reader.png != nullptr) reader.info = lib.CreateInfoStruct(reader.png);
    if (reader.info == nullptr) throw std::bad_alloc();
    png_structp png = reader.png;
    png_infop info = reader.info;
    lib.SetReadFn(png, &state, PngRead);
    auto failure = [&]() -> Error {
        if (state.truncated) return Error("truncated PNG picture");
        return Error(std::string("unreadable PNG picture: ") + state.error.message);
    };
    int passes = 1;
    if (!ReadPngHeader(lib, png, info, &passes)) throw failure();
    TGreyPicture picture =
        MakePicture(lib.GetImageWidth(png, info), lib.GetImageHeight(png, info), "PNG");
    png_uint_32 resX = 0, resY = 0;
    int unit = 0;
    if (lib.GetPHYs(png, info, &resX, &resY, &unit) != 0 && unit == PNG_RESOLUTION_METER)
        SetStatedResolution(picture, resX * kInchesPerMetre, resY * kInchesPerMetre);
    TPngRowSink sink{&picture, lib.GetChannels(png, info)};
    const std::size_t rowBytes = lib.GetRowbytes(png, info);
    const bool interlaced = passes > 1;
    std::vector<png_byte> rows(rowBytes * (interlaced ? picture.height : 1));
    if (!ReadPngRows(lib, png, rows.data(), interlaced ? rowBytes : 0, picture.height, passes,
                     TakePngRow, &sink))
        throw failure();
    return picture;
}

// --- JPEG scans -----------------------------------------------------------------------------

// A progressive JPEG goes over every 8 x 8 block of a component in each scan that names it,
// however little data the scan holds (an end-of-band run of 32767 blocks takes 15 bits):
// 499 scans of an 8192 x 8192 grey picture fit in 50 KB and took 26 s. Two bounds keep the
// scans near the time of the picture's own decoding, checked on the bytes before libjpeg
// (or libtiff) decodes any:
// - the scans of one JPEG stream. libjpeg's own progression (jpeg_simple_progression, what
//   ImageMagick's -interlace JPEG and jpegtran -progressive write) has 6 scans for grey, 10
//   for YCbCr, 18 for CMYK, and 60 for the 10 components libjpeg handles at most. 64 leaves
//   room for encoders that choose their own scans, and stays below libtiff's 100 for a JPEG
//   strip.
// - the blocks all the scans go over together. ImageMagick's progressive 8192 x 8192 colour
//   picture (4:4:4) goes over each of its 3 x 2^20 blocks 14 / 3 times in its 10 scans
//   (14 x 2^20 in all); the bound is 16 x 2^20, 16 scans over every block of the largest grey
//   picture. The costliest scan, refining coefficients 1 to 63, takes about 70 ns a block on
//   a 2.6 GHz Xeon core: 1.2 s for the whole bound, besides the 0.4 s (grey) to 0.8 s
//   (colour) of making the pixels of a 64-megapixel picture (bench/hostile_pictures.py).
constexpr long long kMaxJpegScans = 64;
constexpr long long kMaxJpegBlockScans = kMaxGreyPixels / 64 * 16;
// What libjpeg takes at most (MAX_COMPONENTS, MAX_COMPS_IN_SCAN): a stream naming more is
// refused by libjpeg; counted with these first ones, it costs little to count.
constexpr std::size_t kMaxJpegComponents = 10, kMaxJpegScanComponents = 4;

struct TJpegFrame {
    long long width = 0, height = 0;
    std::vector<std::array<int, 3>> components; // identifier, horizontal and vertical sampling
};

// The blocks of 8 x 8 that a scan of the components with these sampling factors goes over
// (ISO/IEC 10918-1, A.2): one component alone, its own blocks; several interleaved, whole
// MCUs of each one's h x v blocks.
long long ScanBlocks(const TJpegFrame& frame, std::span<const std::array<int, 3>> scan) {
    int hMax = 0, vMax = 0;
    for (const auto& c : frame.components) hMax = std::max(hMax, c[1]), vMax = std::max(vMax, c[2]);
    if (hMax == 0 || vMax == 0 || scan.empty()) return 0;
    const auto up = [](long long a, long long b) { return (a + b - 1) / b; };
    if (scan.size() == 1)
        return up(frame.width * scan[0][1], 8LL * hMax) * up(frame.height * scan[0][2], 8LL * vMax);
    long long perMcu = 0;
    for (const auto& c : scan) perMcu += c[1] * c[2];
    return up(frame.width, 8LL * hMax) * up(frame.height, 8LL * vMax) * perMcu;
}

// The scans of JPEG data and the blocks they go over.
struct TJpegWork {
    long long scans = 0, blocks = 0;
    bool progressive = false;
};

// The scans of a JPEG stream, found as libjpeg finds them: marker segments skipped by their
// length, a scan's entropy-coded data up to the next marker other than a restart (FF 00 is
// an FF of data, FF FF filling), garbage between segments skipped, nothing read past the end
// of the picture. A stream with no frame header of its own has `given`'s (old-style JPEG in
// TIFF: libtiff makes the headers), and one with no scan of its own counts as one scan of
// all of it.
TJpegWork CountJpegScans(std::span<const std::uint8_t> b, const TJpegFrame& given) {
    TJpegWork work;
    TJpegFrame frame = given;
    std::size_t at = 0;
    // The code of the next marker, `at` past it; 0 at the end of the bytes.
    const auto nextMarker = [&](bool inScan) {
        while (at < b.size()) {
            const void* ff = std::memchr(b.data() + at, 0xFF, b.size() - at);
            if (ff == nullptr) break;
            at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(ff) - b.data()) + 1;
            while (at < b.size() && b[at] == 0xFF) ++at;
            if (at == b.size()) break;
            const int code = b[at++];
            if (code != 0 && !(inScan && code >= 0xD0 && code <= 0xD7)) return code;
        }
        at = b.size();
        return 0;
    };
    bool inScan = false;
    for (int code; (code = nextMarker(inScan)) != 0 && code != 0xD9;) {
        inScan = false;
        if (code == 0xD8 || code == 0x01 || (code >= 0xD0 && code <= 0xD7)) continue; // no length
        if (b.size() - at < 2) break;
        const std::size_t length = std::max<std::size_t>(b[at] << 8 | b[at + 1], 2);
        const auto segment = b.subspan(at + 2, std::min(length, b.size() - at) - 2);
        at += std::min(length, b.size() - at);
        if (code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC &&
            segment.size() >= 6) {               // a frame: precision, height, width, components
            work.progressive |= (code & 3) == 2; // SOF2, 6, 10, 14
            frame.height = segment[1] << 8 | segment[2];
            frame.width = segment[3] << 8 | segment[4];
            frame.components.clear();
            const std::size_t named = std::min<std::size_t>(segment[5], kMaxJpegComponents);
            for (std::size_t i = 6; i + 3 <= segment.size() && i < 6 + 3 * named; i += 3)
                frame.components.push_back({segment[i], segment[i + 1] >> 4, segment[i + 1] & 15});
        } else if (code == 0xDA) { // a scan: its components by identifier
            std::array<std::array<int, 3>, kMaxJpegScanComponents> scan;
            std::size_t found = 0;
            const std::size_t named =
                std::min<std::size_t>(segment.empty() ? 0 : segment[0], kMaxJpegScanComponents);
            for (std::size_t i = 1; i + 2 <= segment.size() && i < 1 + 2 * named; i += 2) {
                const auto c = std::find_if(frame.components.begin(), frame.components.end(),
                                            [&](const auto& f) { return f[0] == segment[i]; });
                if (c != frame.components.end()) scan[found++] = *c;
            }
            ++work.scans;
            work.blocks += ScanBlocks(frame, std::span(scan).first(found));
            inScan = true;
        }
    }
    if (work.scans == 0) {
        work.scans = 1;
        work.blocks = ScanBlocks(frame, frame.components);
    }
    return work;
}

// Refuses JPEG data whose scans are beyond the bounds: more than kMaxJpegScans in one stream
// (oneStream), more than kMaxJpegBlockScans blocks in all. The message names it `what` ("the
// JPEG picture"), with "part of parts" after it when parts is not 0.
void CheckJpegWork(const TJpegWork& work, bool oneStream, const char* what, std::uint32_t part = 0,
                   std::uint32_t parts = 0) {
    const bool tooMany = oneStream && work.scans > kMaxJpegScans;
    if (!tooMany && work.blocks <= kMaxJpegBlockScans) return;
    std::string scans = what;
    if (parts != 0) scans += " " + std::to_string(part) + " of " + std::to_string(parts);
    scans += " has " + std::to_string(work.scans) + (work.progressive ? " progressive" : "") +
             (work.scans == 1 ? " scan" : " scans");
    if (tooMany) Refuse(scans + "; at most " + std::to_string(kMaxJpegScans) + " are read");
    Refuse(scans + " over " + std::to_string(work.blocks) +
           " blocks of 8 x 8 pixels in all; at most " + std::to_string(kMaxJpegBlockScans) +
           " are read");
}

// --- JPEG -----------------------------------------------------------------------------------

// The source: all the bytes at once; running out of them is an error, not a made-up end.
void JpegInit(j_decompress_ptr) {}
boolean JpegFill(j_decompress_ptr cinfo) {
    reinterpret_cast<TJpegError*>(cinfo->err)->truncated = true;
    ERREXIT(cinfo, JERR_INPUT_EOF);
    return FALSE;
}
void JpegSkip(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    jpeg_source_mgr* src = cinfo->src;
    if (static_cast<unsigned long>(count) > src->bytes_in_buffer) JpegFill(cinfo);
    src->next_input_byte += count;
    src->bytes_in_buffer -= static_cast<std::size_t>(count);
}
void JpegTerm(j_decompress_ptr) {}

// The scans as libjpeg meets them, bounded again: CountJpegScans finds the same ones first.
void JpegProgress(j_common_ptr cinfo) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->is_decompressor && d->input_scan_number > kMaxJpegScans) {
        std::snprintf(reinterpret_cast<TJpegError*>(cinfo->err)->message, JMSG_LENGTH_MAX,
                      "more than %lld scans", kMaxJpegScans);
        std::longjmp(reinterpret_cast<TJpegError*>(cinfo->err)->jump, 1);
    }
}

bool CreateJpeg(const TJpegCalls& jpeg, jpeg_decompress_struct* cinfo, TJpegError* err) {
    if (setjmp(err->jump) != 0) return false;
    jpeg.CreateDecompress(cinfo, JPEG_LIB_VERSION, sizeof *cinfo); // jpeg_create_decompress
    return true;
}

bool ReadJpegHeader(const TJpegCalls& jpeg, jpeg_decompress_struct* cinfo, TJpegError* err) {
    if (setjmp(err->jump) != 0) return false;
    jpeg.ReadHeader(cinfo, TRUE);
    if (cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK)
        cinfo->out_color_space = JCS_CMYK;
    else if (cinfo->num_components == 1)
        cinfo->out_color_space = JCS_GRAYSCALE;
    else
        cinfo->out_color_space = JCS_RGB;
    jpeg.CalcOutputDimensions(cinfo);
    return true;
}

bool ReadJpegRows(const TJpegCalls& jpeg, jpeg_decompress_struct* cinfo, TJpegError* err,
                  JSAMPLE* row, std::uint8_t* out) {
    if (setjmp(err->jump) != 0) return false;
    jpeg.StartDecompress(cinfo);
    const bool inverted = cinfo->saw_Adobe_marker; // Adobe's CMYK is stored inverted
    const int c = cinfo->output_components;
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW rows[1] = {row};
        if (jpeg.ReadScanlines(cinfo, rows, 1) != 1) ERREXIT(cinfo, JERR_INPUT_EOF);
        std::uint8_t* level = out + std::size_t(cinfo->output_scanline - 1) * cinfo->output_width;
        for (JDIMENSION x = 0; x < cinfo->output_width; ++x) {
            const JSAMPLE* p = row + std::size_t(x) * c;
            if (cinfo->out_color_space != JCS_CMYK) {
                level[x] = p[0];
            } else {
                const unsigned cyan = inverted ? p[0] : 255 - p[0];
                const unsigned black = inverted ? p[3] : 255 - p[3];
                level[x] = static_cast<std::uint8_t>((cyan * black + 127) / 255);
            }
        }
    }
    jpeg.FinishDecompress(cinfo);
    return true;
}

TGreyPicture ReadJpeg(std::span<const std::uint8_t> bytes) {
    const TJpegCalls& jpeg = JpegCalls("JPEG pictures cannot be read");
    jpeg_decompress_struct cinfo{};
    TJpegError err;
    cinfo.err = JpegErrorJump(jpeg, err); // warnings (damaged data libjpeg gets over) dropped
    if (!CreateJpeg(jpeg, &cinfo, &err)) throw std::bad_alloc();
    std::unique_ptr<jpeg_decompress_struct, void (*)(jpeg_decompress_struct*)> guard(
        &cinfo, jpeg.DestroyDecompress);
    jpeg_source_mgr source{};
    source.next_input_byte = bytes.data();
    source.bytes_in_buffer = bytes.size();
    source.init_source = JpegInit;
    source.fill_input_buffer = JpegFill;
    source.skip_input_data = JpegSkip;
    source.resync_to_restart = jpeg.ResyncToRestart;
    source.term_source = JpegTerm;
    cinfo.src = &source;
    jpeg_progress_mgr progress{};
    progress.progress_monitor = JpegProgress;
    cinfo.progress = &progress;
    auto failure = [&]() -> Error {
        if (err.truncated) return Error("truncated JPEG picture");
        return Error(std::string("unreadable JPEG picture: ") + err.message);
    };
    if (!ReadJpegHeader(jpeg, &cinfo, &err)) throw failure();
    CheckPictureSize(cinfo.output_width, cinfo.output_height, "JPEG");
    CheckJpegWork(CountJpegScans(bytes, {}), true, "the JPEG picture");
    TGreyPicture picture = MakePicture(cinfo.output_width, cinfo.output_height, "JPEG");
    if (cinfo.saw_JFIF_marker && (cinfo.density_unit == 1 || cinfo.density_unit == 2)) {
        const double scale = cinfo.density_unit == 1 ? 1.0 : 2.54; // per inch, per centimetre
        SetStatedResolution(picture, cinfo.X_density * scale, cinfo.Y_density * scale);
    }
    std::vector<JSAMPLE> row(std::size_t(cinfo.output_width) * cinfo.output_components);
    if (!ReadJpegRows(jpeg, &cinfo, &err, row.data(), picture.level.data())) throw failure();
    return picture;
}

// --- TIFF -----------------------------------------------------------------------------------

struct TTiffSource {
    std::span<const std::uint8_t> bytes;
    toff_t at = 0;
    bool ranOut = false; // a read asked for bytes beyond the end
    std::string message;
};

tmsize_t TiffRead(thandle_t handle, void* data, tmsize_t size) {
    auto* source = static_cast<TTiffSource*>(handle);
    if (size <= 0) return 0;
    if (source->at >= source->bytes.size()) {
        source->ranOut = true;
        return 0;
    }
    const std::size_t n = std::min<std::size_t>(size, source->bytes.size() - source->at);
    std::memcpy(data, source->bytes.data() + source->at, n);
    source->at += n;
    source->ranOut |= n < std::size_t(size);
    return static_cast<tmsize_t>(n);
}
tmsize_t TiffWrite(thandle_t, void*, tmsize_t) {
    return 0;
}
toff_t TiffSeek(thandle_t handle, toff_t offset, int whence) {
    auto* source = static_cast<TTiffSource*>(handle);
    const toff_t base = whence == SEEK_SET   ? 0
                        : whence == SEEK_CUR ? source->at
                                             : source->bytes.size();
    if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return toff_t(-1);
    // Offsets are unsigned here; a negative one wraps around and lands far beyond the end.
    source->at = base + offset;
    return source->at;
}
int TiffClose(thandle_t) {
    return 0;
}
toff_t TiffSize(thandle_t handle) {
    return static_cast<TTiffSource*>(handle)->bytes.size();
}
int TiffMap(thandle_t, void**, toff_t*) {
    return 0;
}
void TiffUnmap(thandle_t, void*, toff_t) {}

// libtiff's messages start with the name the file was opened under; the caller names it.
constexpr char kTiffName[] = "TIFF";

int TiffErrorText(TIFF*, void* user, const char*, const char* format, va_list args) {
    auto* source = static_cast<TTiffSource*>(user);
    if (source->message.empty()) {
        char text[256];
        std::vsnprintf(text, sizeof text, format, args);
        source->message = text;
        const std::string prefix = std::string(kTiffName) + ": ";
        if (source->message.rfind(prefix, 0) == 0) source->message.erase(0, prefix.size());
    }
    return 1; // handled: nothing goes to standard error
}
int TiffWarningIgnored(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

// Each JPEG strip or tile costs libtiff and libjpeg about 1.5 us to start, however small: a
// million took 1.6 s. The smallest tiles a TIFF may have (16 x 16) make 2^18 of the largest
// picture (ImageMagick writes 256 strips of 32 rows for it).
constexpr std::uint32_t kMaxTiffJpegStreams = 1 << 18;

// The JPEG strips or tiles of a TIFF picture (libtiff decodes each as a JPEG stream of its
// own, with libjpeg): at most kMaxTiffJpegStreams of them, each one's scans within
// kMaxJpegScans, all their blocks within kMaxJpegBlockScans. Their bytes are read where
// libtiff would read them.
void CheckTiffJpegScans(TIFF* tiff, std::span<const std::uint8_t> bytes, std::uint32_t width,
                        std::uint32_t height) {
    const TTiffCalls& tiffLib = TiffCalls();
    std::uint16_t compression = COMPRESSION_NONE, samples = 1, planar = PLANARCONFIG_CONTIG;
    tiffLib.GetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
    if (compression != COMPRESSION_JPEG && compression != COMPRESSION_OJPEG) return;
    tiffLib.GetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    tiffLib.GetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
    const bool tiled = tiffLib.IsTiled(tiff) != 0;
    // Where a stream has no headers of its own: its pixels, every sample at full size.
    std::uint32_t across = width, down = height;
    if (tiled) {
        tiffLib.GetField(tiff, TIFFTAG_TILEWIDTH, &across);
        tiffLib.GetField(tiff, TIFFTAG_TILELENGTH, &down);
    } else {
        tiffLib.GetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &down);
    }
    TJpegFrame frame{across, tiled ? down : std::min(down, height), {}};
    const std::size_t components = planar == PLANARCONFIG_CONTIG ? samples : 1;
    for (std::size_t i = 0; i < std::min(components, kMaxJpegComponents); ++i)
        frame.components.push_back({int(i), 1, 1});
    const std::uint32_t count = tiled ? tiffLib.NumberOfTiles(tiff) : tiffLib.NumberOfStrips(tiff);
    if (count > kMaxTiffJpegStreams)
        Refuse("the TIFF picture has " + std::to_string(count) + " JPEG " +
               (tiled ? "tiles" : "strips") + "; at most " + std::to_string(kMaxTiffJpegStreams) +
               " are read");
    TJpegWork all;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t at = tiffLib.GetStrileOffset(tiff, i);
        if (at >= bytes.size()) continue; // libtiff refuses it
        const std::uint64_t size =
            std::min<std::uint64_t>(tiffLib.GetStrileByteCount(tiff, i), bytes.size() - at);
        const TJpegWork work = CountJpegScans(bytes.subspan(at, size), frame);
        CheckJpegWork(work, true, tiled ? "the TIFF picture's tile" : "the TIFF picture's strip",
                      i + 1, count);
        all.scans += work.scans;
        all.blocks += work.blocks;
        all.progressive |= work.progressive;
    }
    CheckJpegWork(all, false, "the TIFF picture's JPEG data");
}

TGreyPicture ReadTiff(std::span<const std::uint8_t> bytes) {
    const TTiffCalls& tiffLib = TiffCalls();
    TTiffSource source{bytes, 0, false, {}};
    std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> options(tiffLib.OpenOptionsAlloc(),
                                                                         tiffLib.OpenOptionsFree);
    if (!options) throw std::bad_alloc();
    tiffLib.OpenOptionsSetErrorHandlerExtR(options.get(), TiffErrorText, &source);
    tiffLib.OpenOptionsSetWarningHandlerExtR(options.get(), TiffWarningIgnored, &source);
    tiffLib.OpenOptionsSetMaxSingleMemAlloc(options.get(), tmsize_t(kMaxGreyPixels) * 4 + 4096);
    auto failure = [&](const char* what) {
        const std::string why = source.message.empty() ? what : source.message;
        const bool truncated = source.ranOut || why.find("Can not read") != std::string::npos ||
                               why.find("Read error") != std::string::npos;
        Refuse((truncated ? "truncated TIFF picture (" : "unreadable TIFF picture (") + why + ")");
    };
    std::unique_ptr<TIFF, void (*)(TIFF*)> tiff(
        tiffLib.ClientOpenExt(kTiffName, "rm", &source, TiffRead, TiffWrite, TiffSeek, TiffClose,
                              TiffSize, TiffMap, TiffUnmap, options.get()),
        tiffLib.Close);
    if (!tiff) failure("no directory");
    std::uint32_t width = 0, height = 0;
    tiffLib.GetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
    tiffLib.GetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height);
    TGreyPicture picture = MakePicture(width, height, "TIFF");
    float resX = 0, resY = 0;
    std::uint16_t unit = RESUNIT_INCH;
    tiffLib.GetFieldDefaulted(tiff.get(), TIFFTAG_RESOLUTIONUNIT, &unit);
    if (unit == RESUNIT_INCH || unit == RESUNIT_CENTIMETER) {
        const double scale = unit == RESUNIT_INCH ? 1.0 : 2.54;
        std::optional<double> x, y;
        if (tiffLib.GetField(tiff.get(), TIFFTAG_XRESOLUTION, &resX) == 1) x = resX * scale;
        if (tiffLib.GetField(tiff.get(), TIFFTAG_YRESOLUTION, &resY) == 1) y = resY * scale;
        SetStatedResolution(picture, x, y);
    }
    char reason[1024] = {};
    if (tiffLib.RGBAImageOK(tiff.get(), reason) != 1)
        Refuse(std::string("unsupported TIFF picture: ") + reason);
    CheckTiffJpegScans(tiff.get(), bytes, width, height);
    std::vector<std::uint32_t> rgba(picture.level.size());
    if (tiffLib.ReadRGBAImageOriented(tiff.get(), width, height, rgba.data(), ORIENTATION_TOPLEFT,
                                      1) != 1)
        failure("its pixels cannot be read");
    // The colour comes with its opacity already applied (premultiplied): over white, the
    // rest of the light is white's.
    for (std::size_t i = 0; i < rgba.size(); ++i)
        picture.level[i] = static_cast<std::uint8_t>(
            std::min<unsigned>(255, TIFFGetR(rgba[i]) + 255 - TIFFGetA(rgba[i])));
    return picture;
}

// --- GIF ------------------------------------------------------------------------------------

struct TGifSource {
    std::span<const std::uint8_t> bytes;
    std::size_t at = 0;
    bool ranOut = false; // a read asked for bytes beyond the end
};

int GifRead(GifFileType* gif, GifByteType* data, int length) {
    auto* source = static_cast<TGifSource*>(gif->UserData);
    const std::size_t n =
        std::min<std::size_t>(std::max(length, 0), source->bytes.size() - source->at);
    std::memcpy(data, source->bytes.data() + source->at, n);
    source->at += n;
    source->ranOut |= n < std::size_t(std::max(length, 0));
    return static_cast<int>(n);
}

[[noreturn]] void RefuseGif(int code, const TGifSource& source) {
    const TGifCalls& gifLib = GifCalls();
    if (code == D_GIF_ERR_READ_FAILED || source.ranOut) Refuse("truncated GIF picture");
    const char* text = gifLib.ErrorString(code);
    Refuse(std::string("unreadable GIF picture: ") + (text ? text : "unknown error"));
}

using TGifFile = std::unique_ptr<GifFileType, void (*)(GifFileType*)>;

// An extension block: a graphic control extension states the transparent colour; the rest
// is skipped.
void ReadGifExtension(GifFileType* gif, const TGifSource& source, int& transparent) {
    const TGifCalls& gifLib = GifCalls();
    int function = 0;
    GifByteType* block = nullptr;
    if (gifLib.GetExtension(gif, &function, &block) == GIF_ERROR) RefuseGif(gif->Error, source);
    if (function == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
        GraphicsControlBlock control{};
        gifLib.ExtensionToGCB(block[0], block + 1, &control);
        transparent = control.TransparentColor;
    }
    while (block != nullptr)
        if (gifLib.GetExtensionNext(gif, &block) == GIF_ERROR) RefuseGif(gif->Error, source);
}

// The first image: the red of its colours, row by row.
TGreyPicture ReadGifImage(GifFileType* gif, const TGifSource& source, int transparent) {
    const TGifCalls& gifLib = GifCalls();
    if (gifLib.GetImageDesc(gif) == GIF_ERROR) RefuseGif(gif->Error, source);
    const GifImageDesc& desc = gif->Image;
    TGreyPicture picture = MakePicture(desc.Width, desc.Height, "GIF");
    const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
    if (map == nullptr || map->Colors == nullptr || map->ColorCount <= 0)
        Refuse("the GIF picture has no colour table");
    // The red of every index (indices beyond the table are refused); transparent: white.
    int red[256];
    std::fill(std::begin(red), std::end(red), -1);
    for (int i = 0; i < std::min(map->ColorCount, 256); ++i) red[i] = map->Colors[i].Red;
    if (transparent >= 0 && transparent < 256) red[transparent] = 255;
    std::vector<GifPixelType> line(picture.width);
    // Interlaced rows come as every 8th from 0, every 8th from 4, every 4th from 2, and
    // every 2nd from 1.
    static constexpr int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    const int passes = desc.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass)
        for (int y = desc.Interlace ? kStart[pass] : 0; y < picture.height;
             y += desc.Interlace ? kStep[pass] : 1) {
            if (gifLib.GetLine(gif, line.data(), picture.width) == GIF_ERROR)
                RefuseGif(gif->Error, source);
            std::uint8_t* out = picture.level.data() + std::size_t(y) * picture.width;
            for (int x = 0; x < picture.width; ++x) {
                if (red[line[x]] < 0)
                    Refuse("a GIF pixel names colour " + std::to_string(line[x]) +
                           ", beyond the colour table of " + std::to_string(map->ColorCount));
                out[x] = static_cast<std::uint8_t>(red[line[x]]);
            }
        }
    return picture;
}

TGreyPicture ReadGif(std::span<const std::uint8_t> bytes) {
    const TGifCalls& gifLib = GifCalls();
    TGifSource source{bytes};
    int code = 0;
    TGifFile gif(gifLib.Open(&source, GifRead, &code),
                 [](GifFileType* g) { GifCalls().CloseFile(g, nullptr); });
    if (!gif) RefuseGif(code, source);
    int transparent = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (gifLib.GetRecordType(gif.get(), &record) == GIF_ERROR) RefuseGif(gif->Error, source);
        if (record == TERMINATE_RECORD_TYPE) Refuse("the GIF picture holds no image");
        if (record == EXTENSION_RECORD_TYPE) ReadGifExtension(gif.get(), source, transparent);
        if (record == IMAGE_DESC_RECORD_TYPE) return ReadGifImage(gif.get(), source, transparent);
    }
}

// --- BMP ------------------------------------------------------------------------------------

std::uint32_t Le16(std::span<const std::uint8_t> b, std::size_t at) {
    return b[at] | b[at + 1] << 8;
}
std::uint32_t Le32(std::span<const std::uint8_t> b, std::size_t at) {
    return Le16(b, at) | Le16(b, at + 2) << 16;
}

// One colour channel of a bit-field pixel, scaled to 0..255.
struct TChannel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t max = 0;
    explicit TChannel(std::uint32_t m) : mask(m) {
        if (mask == 0) return;
        shift = std::countr_zero(mask);
        max = mask >> shift; // bits above a gap count as if contiguous
    }
    unsigned Of(std::uint32_t pixel, unsigned none) const {
        if (max == 0) return none;
        return static_cast<unsigned>((std::uint64_t((pixel & mask) >> shift) * 255 + max / 2) /
                                     max);
    }
};

// What a BMP picture's headers say.
struct TBmpHeader {
    std::uint32_t dataAt = 0;     // where the pixels start
    std::uint32_t headerSize = 0; // of the information header
    long long width = 0, height = 0;
    bool topDown = false; // rows from the top (a negative height)
    unsigned depth = 0;   // bits per pixel
    std::uint32_t compression = 0;
    std::optional<double> dpiX, dpiY;
    std::size_t paletteAt = 0, paletteEntry = 4, paletteCount = 0;
    std::uint32_t masks[4] = {0, 0, 0, 0}; // red, green, blue, alpha bit fields
};

// The file header and the information header of 12 (OS/2) to 124 bytes.
TBmpHeader ReadBmpHeader(std::span<const std::uint8_t> b) {
    const std::size_t size = b.size();
    if (size < 18) Refuse("truncated BMP picture");
    TBmpHeader header;
    header.dataAt = Le32(b, 10);
    const std::uint32_t headerSize = header.headerSize = Le32(b, 14);
    if (headerSize != 12 && headerSize != 40 && headerSize != 52 && headerSize != 56 &&
        headerSize != 108 && headerSize != 124)
        Refuse("unsupported BMP header of " + std::to_string(headerSize) + " bytes");
    if (size < 14 + std::size_t(headerSize)) Refuse("truncated BMP picture");
    header.paletteAt = 14 + headerSize;
    if (headerSize == 12) {
        header.width = Le16(b, 18);
        header.height = Le16(b, 20);
        header.depth = Le16(b, 24);
        header.paletteEntry = 3;
    } else {
        header.width = static_cast<std::int32_t>(Le32(b, 18));
        header.height = static_cast<std::int32_t>(Le32(b, 22));
        header.depth = Le16(b, 28);
        header.compression = Le32(b, 30);
        // Pixels per metre, signed; 0 is what writers put when they state none.
        const auto perMetreX = static_cast<std::int32_t>(Le32(b, 38));
        const auto perMetreY = static_cast<std::int32_t>(Le32(b, 42));
        if (perMetreX != 0) header.dpiX = perMetreX * kInchesPerMetre;
        if (perMetreY != 0) header.dpiY = perMetreY * kInchesPerMetre;
        header.paletteCount = Le32(b, 46);
    }
    header.topDown = header.height < 0;
    header.height = header.topDown ? -header.height : header.height;
    const std::uint32_t compression = header.compression;
    if (compression == 1 || compression == 2) Refuse("RLE-compressed BMP pictures are not read");
    if (compression != 0 && compression != 3 && compression != 6)
        Refuse("unsupported BMP compression " + std::to_string(compression));
    const unsigned depth = header.depth;
    if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24 && depth != 32)
        Refuse("unsupported BMP depth of " + std::to_string(depth) + " bits");
    return header;
}

// Bit fields: in the header from 52 bytes on, else right after it (the palette then starts
// after them); without them, 5-5-5 for 16 bits and 8-8-8 for 32.
void ReadBmpMasks(std::span<const std::uint8_t> b, TBmpHeader& header) {
    const unsigned depth = header.depth;
    std::uint32_t* masks = header.masks;
    if (depth == 16) masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    if (depth == 32) masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
    const std::uint32_t compression = header.compression, headerSize = header.headerSize;
    if (compression != 3 && compression != 6) return;
    if (depth != 16 && depth != 32) Refuse("BMP bit fields on a depth of 16 or 32 bits only");
    // Three masks, and the alpha one where there is room for it.
    const int count = headerSize >= 56 || (headerSize == 40 && compression == 6) ? 4 : 3;
    const std::size_t at = 14 + 40;
    if (headerSize == 40) {
        if (b.size() < at + 4 * count) Refuse("truncated BMP picture");
        header.paletteAt += 4 * count;
    }
    for (int i = 0; i < count; ++i) masks[i] = Le32(b, at + 4 * i);
}

// The red of each palette entry (pictures of up to 8 bits), -1 beyond the palette.
void ReadBmpPalette(std::span<const std::uint8_t> b, TBmpHeader& header, int (&red)[256]) {
    std::fill(std::begin(red), std::end(red), -1);
    if (header.depth > 8) return;
    const std::size_t most = std::size_t(1) << header.depth;
    std::size_t& paletteCount = header.paletteCount;
    if (paletteCount == 0 || paletteCount > most) paletteCount = most;
    const std::size_t paletteAt = header.paletteAt, paletteEntry = header.paletteEntry;
    if (paletteAt > b.size() || (b.size() - paletteAt) / paletteEntry < paletteCount)
        Refuse("truncated BMP picture (its palette)");
    for (std::size_t i = 0; i < paletteCount; ++i) red[i] = b[paletteAt + i * paletteEntry + 2];
}

// The pixels, rows padded to four bytes: a palette's red, 24 bits' red, or the red bit
// field over white by the alpha one.
void ReadBmpPixels(std::span<const std::uint8_t> b, const TBmpHeader& header, const int (&red)[256],
                   TGreyPicture& picture) {
    const long long width = header.width, height = header.height;
    const unsigned depth = header.depth;
    const std::uint64_t stride = (std::uint64_t(width) * depth + 31) / 32 * 4;
    const std::uint64_t lastRow = (std::uint64_t(width) * depth + 7) / 8;
    if (header.dataAt > b.size() || stride * (height - 1) + lastRow > b.size() - header.dataAt)
        Refuse("truncated BMP picture (its pixels)");
    const TChannel r(header.masks[0]), a(header.masks[3]);
    for (long long row = 0; row < height; ++row) {
        const std::uint8_t* in = b.data() + header.dataAt + stride * row;
        std::uint8_t* out =
            picture.level.data() + std::size_t(header.topDown ? row : height - 1 - row) * width;
        for (long long x = 0; x < width; ++x) {
            unsigned level;
            if (depth <= 8) {
                const unsigned index =
                    (in[x * depth / 8] >> (8 - depth - x * depth % 8)) & ((1u << depth) - 1);
                if (red[index] < 0)
                    Refuse("a BMP pixel names colour " + std::to_string(index) +
                           ", beyond the palette of " + std::to_string(header.paletteCount));
                level = red[index];
            } else if (depth == 24) {
                level = in[x * 3 + 2];
            } else {
                const std::uint32_t pixel =
                    depth == 16 ? Le16(b, in - b.data() + x * 2) : Le32(b, in - b.data() + x * 4);
                level = OverWhite(r.Of(pixel, 0), a.Of(pixel, 255));
            }
            out[x] = static_cast<std::uint8_t>(level);
        }
    }
}

TGreyPicture ReadBmp(std::span<const std::uint8_t> b) {
    TBmpHeader header = ReadBmpHeader(b);
    ReadBmpMasks(b, header);
    TGreyPicture picture = MakePicture(header.width, header.height, "BMP");
    SetStatedResolution(picture, header.dpiX, header.dpiY);
    int red[256];
    ReadBmpPalette(b, header, red);
    ReadBmpPixels(b, header, red, picture);
    return picture;
}

bool StartsWith(std::span<const std::uint8_t> bytes, std::initializer_list<std::uint8_t> magic) {
    return bytes.size() >= magic.size() && std::equal(magic.begin(), magic.end(), bytes.begin());
}

} // namespace

TGreyPicture ReadGreyPicture(std::span<const std::uint8_t> bytes) {
    if (StartsWith(bytes, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'})) return ReadPng(bytes);
    if (StartsWith(bytes, {'B', 'M'})) return ReadBmp(bytes);
    if (StartsWith(bytes, {'I', 'I', 42, 0}) || StartsWith(bytes, {'M', 'M', 0, 42}) ||
        StartsWith(bytes, {'I', 'I', 43, 0}) || StartsWith(bytes, {'M', 'M', 0, 43}))
        return ReadTiff(bytes);
    if (StartsWith(bytes, {'G', 'I', 'F', '8'})) return ReadGif(bytes);
    if (StartsWith(bytes, {0xFF, 0xD8, 0xFF})) return ReadJpeg(bytes);
    Refuse("not a PNG, BMP, TIFF, GIF or JPEG picture");
}

TGreyPicture ReadGreyPictureFile(const std::string& path) {
    std::string bytes;
    switch (ReadSmallFile(path, kMaxPictureFileBytes, bytes)) {
    case TReadStatus::Missing: Refuse(path + ": no such file");
    case TReadStatus::Refused:
        Refuse(path + ": cannot be read (not a regular file, unreadable, or larger than " +
               std::to_string(kMaxPictureFileBytes >> 20) + " MB)");
    case TReadStatus::Loaded: break;
    }
    try {
        return ReadGreyPicture(
            std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    } catch (const Error& e) {
        throw Error(path + ": " + e.what());
    }
}

} // namespace varimark
