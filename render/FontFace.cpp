#include "render/FontFace.h"

#include "render/FontLibraries.h"
#include "render/FontTables.h"
#include "varimark/error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cmath>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <utility>

namespace varimark {

namespace {

// One FreeType library for the whole process, made on first use and kept until the process
// ends (faces may be closed as late as that). FreeType lets threads share a library when
// faces are opened and closed under a lock; each face is used by one thread at a time. No
// per-thread object: registering a thread's destructor aborts the process when memory is
// short.
std::mutex libraryLock;
FT_Library library = nullptr;

// Raises std::bad_alloc for FreeType's out-of-memory error.
void CheckMemory(FT_Error error) {
    if (error == FT_Err_Out_Of_Memory) throw std::bad_alloc();
}

// The largest pixel size whose glyphs are fitted to the pixel grid.
constexpr int kMaxHintedSize = 64;

// A length in font units at a pixel size, in 1/64 pixel, rounded as FreeType scales.
long long Scaled64(long long units, long long pixelSize, long long unitsPerEm) {
    const long long num = units * pixelSize * 64;
    return (num + unitsPerEm / 2) / unitsPerEm;
}

} // namespace

struct TFontFace::TState {
    int fd = -1;
    FT_StreamRec stream{}; // reads fd through the window; outlives the face
    // FreeType reads a font in many small pieces (a table directory 16 bytes at a time):
    // they are served from the last stretch of the file read.
    std::array<unsigned char, 4096> window;
    unsigned long windowStart = 0, windowSize = 0;
    FT_Face face = nullptr;
    TFontFileStamp stamp;
    TFaceMetrics metrics;
    int pixelSize = 0; // the size FreeType is set to

    TState() = default;
    ~TState();
    static unsigned long Read(FT_Stream stream, unsigned long offset, unsigned char* buffer,
                              unsigned long count);
    TState(const TState&) = delete;
    TState& operator=(const TState&) = delete;
};

TFontFace::TFontFace(const TFontLocation& location) : state_(std::make_unique<TState>()) {
    // Font folders often hold links to other files of the folders: the link is followed,
    // and what it ends at must be a regular file. Opened without blocking, so that a FIFO
    // named as a font is refused instead of waited on; FreeType reads only this descriptor.
    const auto refuse = [&] { return varimark::Error("Cannot open the font " + location.file); };
    state_->fd = ::open(location.file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (state_->fd < 0) {
        if (errno == ENOMEM) throw std::bad_alloc();
        throw refuse();
    }
    struct stat info {};
    if (::fstat(state_->fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0 ||
        static_cast<unsigned long long>(info.st_size) > ULONG_MAX)
        throw refuse();
    state_->stamp = {info.st_mtim.tv_sec, info.st_mtim.tv_nsec, info.st_size};
    state_->stream.descriptor.pointer = state_.get();
    state_->stream.size = static_cast<unsigned long>(info.st_size);
    state_->stream.read = &TState::Read;
    FT_Open_Args args{};
    args.flags = FT_OPEN_STREAM;
    args.stream = &state_->stream;
    const TFreeTypeCalls& ft = FreeTypeCalls();
    {
        std::lock_guard lock(libraryLock);
        if (library == nullptr) {
            const FT_Error error = ft.InitFreeType(&library);
            if (error != 0) library = nullptr;
            CheckMemory(error);
            if (error != 0) throw varimark::Error("Cannot start the font engine");
        }
        const FT_Error error = ft.OpenFace(library, &args, location.index, &state_->face);
        if (error != 0) state_->face = nullptr;
        CheckMemory(error);
        if (error != 0) throw refuse();
    }
    FT_Face face = state_->face;
    ft.SelectCharmap(face, FT_ENCODING_UNICODE);
    TFaceMetrics& metrics = state_->metrics;
    metrics.unitsPerEm = face->units_per_EM > 0 ? face->units_per_EM : 2048;
    // The Windows display measures the cell by the OS/2 table's Windows ascent and descent;
    // faces without one by the horizontal header's.
    const auto* os2 = static_cast<const TT_OS2*>(ft.GetSfntTable(face, FT_SFNT_OS2));
    if (os2 != nullptr && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
        metrics.ascent = os2->usWinAscent;
        metrics.descent = os2->usWinDescent;
    } else {
        metrics.ascent = face->ascender;
        metrics.descent = -face->descender;
    }
}

unsigned long TFontFace::TState::Read(FT_Stream stream, unsigned long offset, unsigned char* buffer,
                                      unsigned long count) {
    auto& state = *static_cast<TState*>(stream->descriptor.pointer);
    if (count == 0) return offset <= stream->size ? 0 : 1; // a seek: 0 when it succeeds
    if (count >= state.window.size()) return ReadAt(state.fd, offset, buffer, count);
    if (offset < state.windowStart || offset + count > state.windowStart + state.windowSize) {
        state.windowStart = offset;
        state.windowSize = ReadAt(state.fd, offset, state.window.data(), state.window.size());
    }
    // offset now lies in the window, which holds count bytes from it unless the file ends.
    const unsigned long got = std::min(count, state.windowStart + state.windowSize - offset);
    std::copy_n(state.window.data() + (offset - state.windowStart), got, buffer);
    return got;
}

TFontFace::TState::~TState() {
    if (face != nullptr) {
        std::lock_guard lock(libraryLock);
        FreeTypeCalls().DoneFace(face); // loaded: the face was opened with it
    }
    if (fd >= 0) ::close(fd);
}

TFontFace::~TFontFace() = default;

TFontFileStamp TFontFace::Stamp() const {
    return state_->stamp;
}

std::string TFontFace::Name() const {
    const FT_Face face = state_->face;
    return std::string(face->family_name != nullptr ? face->family_name : "") + " " +
           (face->style_name != nullptr ? face->style_name : "");
}

long long TFaceMetrics::Ascent64(long long pixelSize) const {
    return Scaled64(ascent, pixelSize, unitsPerEm);
}

long long TFaceMetrics::Descent64(long long pixelSize) const {
    return Scaled64(descent, pixelSize, unitsPerEm);
}

long long TFaceMetrics::CellHeight(long long pixelSize) const {
    // The two lengths are measured separately to 1/64 pixel, then their sum rounded.
    return (Ascent64(pixelSize) + Descent64(pixelSize) + 32) / 64;
}

double TFaceMetrics::Proportion() const {
    return static_cast<double>(ascent + descent) / static_cast<double>(unitsPerEm);
}

const TFaceMetrics& TFontFace::Metrics() const {
    return state_->metrics;
}

long long TFontFace::Advance64(char32_t character, int pixelSize) const {
    const TFreeTypeCalls& ft = FreeTypeCalls();
    FT_Fixed advance = 0;
    const FT_UInt glyph = ft.GetCharIndex(state_->face, character);
    if (ft.GetAdvance(state_->face, glyph, FT_LOAD_NO_SCALE, &advance) != 0) return 0;
    return Scaled64(advance, pixelSize, state_->metrics.unitsPerEm);
}

TGlyphCoverage TFontFace::Render(char32_t character, int pixelSize, int offset64) {
    const TFreeTypeCalls& ft = FreeTypeCalls();
    TGlyphCoverage out;
    FT_Face face = state_->face;
    if (state_->pixelSize != pixelSize) {
        // FreeType keeps sizes to 16 bits: the glyphs of larger fonts are not drawn.
        if (pixelSize < 1 || pixelSize > 0xFFFF ||
            ft.SetPixelSizes(face, 0, static_cast<FT_UInt>(pixelSize)) != 0)
            return out;
        state_->pixelSize = pixelSize;
    }
    const FT_UInt glyph = ft.GetCharIndex(face, character);
    // Light hinting fits the glyphs vertically only, so the pen may stand anywhere across;
    // the font's own instructions do it (the automatic hinter would first survey every
    // character of the face, which costs more than drawing the whole picture). Glyphs
    // larger than kMaxHintedSize are drawn as their plain outlines, as screens draw text
    // that large.
    const FT_Int32 hinting = pixelSize > kMaxHintedSize
                                 ? FT_LOAD_NO_HINTING
                                 : FT_LOAD_TARGET_LIGHT | FT_LOAD_NO_AUTOHINT;
    if (ft.LoadGlyph(face, glyph, hinting | FT_LOAD_NO_BITMAP) != 0) return out;
    FT_GlyphSlot slot = face->glyph;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return out;
    ft.OutlineTranslate(&slot->outline, offset64, 0);
    if (ft.RenderGlyph(slot, FT_RENDER_MODE_NORMAL) != 0) return out;
    const FT_Bitmap& bitmap = slot->bitmap;
    if (bitmap.width == 0 || bitmap.rows == 0 || bitmap.pixel_mode != FT_PIXEL_MODE_GRAY)
        return out;
    // Cropped to what the glyph covers.
    const int w = static_cast<int>(bitmap.width), h = static_cast<int>(bitmap.rows);
    const auto at = [&](int x, int y) { return bitmap.buffer[y * bitmap.pitch + x]; };
    int x0 = w, y0 = h, x1 = -1, y1 = -1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (at(x, y) != 0) {
                x0 = std::min(x0, x), x1 = std::max(x1, x);
                y0 = std::min(y0, y), y1 = std::max(y1, y);
            }
    if (x1 < 0) return out;
    out.left = slot->bitmap_left + x0;
    out.top = -slot->bitmap_top + y0;
    out.width = x1 - x0 + 1;
    out.height = y1 - y0 + 1;
    out.coverage.reserve(static_cast<std::size_t>(out.width) * out.height);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) out.coverage.push_back(at(x, y));
    return out;
}

namespace {

// Collects an outline through FreeType's walk of its contours.
struct TOutlineWalk {
    TGlyphOutline outline;
    TGlyphOutline::TPoint last;

    void Add(TGlyphOutline::TStep step, const FT_Vector* to) {
        outline.steps.push_back(step);
        last = {static_cast<double>(to->x), static_cast<double>(to->y)};
        outline.points.push_back(last);
    }
    static TOutlineWalk& Of(void* user) { return *static_cast<TOutlineWalk*>(user); }
    static int Move(const FT_Vector* to, void* user) {
        Of(user).Add(TGlyphOutline::TStep::Move, to);
        return 0;
    }
    static int Line(const FT_Vector* to, void* user) {
        Of(user).Add(TGlyphOutline::TStep::Line, to);
        return 0;
    }
    // A quadratic curve is the cubic whose controls lie two thirds of the way from each
    // end to the quadratic's control.
    static int Conic(const FT_Vector* control, const FT_Vector* to, void* user) {
        TOutlineWalk& walk = Of(user);
        const TGlyphOutline::TPoint c{static_cast<double>(control->x),
                                      static_cast<double>(control->y)},
            end{static_cast<double>(to->x), static_cast<double>(to->y)};
        walk.outline.points.push_back(
            {walk.last.x + 2 * (c.x - walk.last.x) / 3, walk.last.y + 2 * (c.y - walk.last.y) / 3});
        walk.outline.points.push_back(
            {end.x + 2 * (c.x - end.x) / 3, end.y + 2 * (c.y - end.y) / 3});
        walk.Add(TGlyphOutline::TStep::Cubic, to);
        return 0;
    }
    static int Cubic(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
        TOutlineWalk& walk = Of(user);
        walk.outline.points.push_back({static_cast<double>(c1->x), static_cast<double>(c1->y)});
        walk.outline.points.push_back({static_cast<double>(c2->x), static_cast<double>(c2->y)});
        walk.Add(TGlyphOutline::TStep::Cubic, to);
        return 0;
    }
};

} // namespace

TGlyphOutline TFontFace::Outline(char32_t character, int pixelSize) {
    const TFreeTypeCalls& ft = FreeTypeCalls();
    FT_Face face = state_->face;
    if (state_->pixelSize != pixelSize) {
        if (pixelSize < 1 || pixelSize > 0xFFFF ||
            ft.SetPixelSizes(face, 0, static_cast<FT_UInt>(pixelSize)) != 0)
            return {};
        state_->pixelSize = pixelSize;
    }
    const FT_UInt glyph = ft.GetCharIndex(face, character);
    if (ft.LoadGlyph(face, glyph, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0 ||
        face->glyph->format != FT_GLYPH_FORMAT_OUTLINE)
        return {};
    static const FT_Outline_Funcs kFuncs = {
        &TOutlineWalk::Move, &TOutlineWalk::Line, &TOutlineWalk::Conic, &TOutlineWalk::Cubic, 0, 0};
    TOutlineWalk walk;
    if (ft.OutlineDecompose(&face->glyph->outline, &kFuncs, &walk) != 0) return {};
    return std::move(walk.outline);
}

} // namespace varimark
