#include "platform/FontFace.h"

#include "varimark/error.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include FT_ADVANCES_H

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <utility>

namespace varimark {

namespace {

// FreeType libraries are not shared between threads: each thread has its own, which
// lives as long as the thread or the last face opened with it, whichever is later.
class TLibrary {
public:
    TLibrary() {
        if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
    }
    ~TLibrary() {
        if (library_ != nullptr) FT_Done_FreeType(library_);
    }
    TLibrary(const TLibrary&) = delete;
    TLibrary& operator=(const TLibrary&) = delete;
    FT_Library Get() const { return library_; }

private:
    FT_Library library_ = nullptr;
};

std::shared_ptr<TLibrary> ThreadLibrary() {
    thread_local std::shared_ptr<TLibrary> library = std::make_shared<TLibrary>();
    if (library->Get() == nullptr) throw varimark::Error("Cannot start the font engine");
    return library;
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
    std::shared_ptr<TLibrary> library; // outlives the face
    FT_Face face = nullptr;
    long long unitsPerEm = 2048, ascent = 0, descent = 0; // font units
    int pixelSize = 0;                                    // the size FreeType is set to
};

TFontFace::TFontFace(const TFontLocation& location) : state_(std::make_unique<TState>()) {
    state_->library = ThreadLibrary();
    if (FT_New_Face(state_->library->Get(), location.file.c_str(), location.index, &state_->face) !=
        0) {
        throw varimark::Error("Cannot open the font " + location.file);
    }
    FT_Face face = state_->face;
    FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    state_->unitsPerEm = face->units_per_EM > 0 ? face->units_per_EM : 2048;
    // The Windows display measures the cell by the OS/2 table's Windows ascent and descent;
    // faces without one by the horizontal header's.
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 != nullptr && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
        state_->ascent = os2->usWinAscent;
        state_->descent = os2->usWinDescent;
    } else {
        state_->ascent = face->ascender;
        state_->descent = -face->descender;
    }
}

TFontFace::~TFontFace() {
    FT_Done_Face(state_->face);
}

long long TFontFace::Ascent64(long long pixelSize) const {
    return Scaled64(state_->ascent, pixelSize, state_->unitsPerEm);
}

long long TFontFace::Descent64(long long pixelSize) const {
    return Scaled64(state_->descent, pixelSize, state_->unitsPerEm);
}

long long TFontFace::CellHeight(long long pixelSize) const {
    // The two lengths are measured separately to 1/64 pixel, then their sum rounded.
    return (Ascent64(pixelSize) + Descent64(pixelSize) + 32) / 64;
}

double TFontFace::Proportion() const {
    return static_cast<double>(state_->ascent + state_->descent) /
           static_cast<double>(state_->unitsPerEm);
}

double TFontFace::Advance(char32_t character, int pixelSize) const {
    FT_Fixed advance = 0;
    const FT_UInt glyph = FT_Get_Char_Index(state_->face, character);
    if (FT_Get_Advance(state_->face, glyph, FT_LOAD_NO_SCALE, &advance) != 0) return 0;
    return static_cast<double>(Scaled64(advance, pixelSize, state_->unitsPerEm)) / 64;
}

TGlyphCoverage TFontFace::Render(char32_t character, int pixelSize, int offset64) {
    TGlyphCoverage out;
    FT_Face face = state_->face;
    if (state_->pixelSize != pixelSize) {
        // FreeType keeps sizes to 16 bits: the glyphs of larger fonts are not drawn.
        if (pixelSize < 1 || pixelSize > 0xFFFF ||
            FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelSize)) != 0)
            return out;
        state_->pixelSize = pixelSize;
    }
    const FT_UInt glyph = FT_Get_Char_Index(face, character);
    // Light hinting fits the glyphs vertically only, so the pen may stand anywhere across;
    // the font's own instructions do it (the automatic hinter would first survey every
    // character of the face, which costs more than drawing the whole picture). Glyphs
    // larger than kMaxHintedSize are drawn as their plain outlines, as screens draw text
    // that large.
    const FT_Int32 hinting = pixelSize > kMaxHintedSize
                                 ? FT_LOAD_NO_HINTING
                                 : FT_LOAD_TARGET_LIGHT | FT_LOAD_NO_AUTOHINT;
    if (FT_Load_Glyph(face, glyph, hinting | FT_LOAD_NO_BITMAP) != 0) return out;
    FT_GlyphSlot slot = face->glyph;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return out;
    FT_Outline_Translate(&slot->outline, offset64, 0);
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return out;
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
    FT_Face face = state_->face;
    if (state_->pixelSize != pixelSize) {
        if (pixelSize < 1 || pixelSize > 0xFFFF ||
            FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelSize)) != 0)
            return {};
        state_->pixelSize = pixelSize;
    }
    const FT_UInt glyph = FT_Get_Char_Index(face, character);
    if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0 ||
        face->glyph->format != FT_GLYPH_FORMAT_OUTLINE)
        return {};
    static const FT_Outline_Funcs kFuncs = {
        &TOutlineWalk::Move, &TOutlineWalk::Line, &TOutlineWalk::Conic, &TOutlineWalk::Cubic, 0, 0};
    TOutlineWalk walk;
    if (FT_Outline_Decompose(&face->glyph->outline, &kFuncs, &walk) != 0) return {};
    return std::move(walk.outline);
}

} // namespace varimark
