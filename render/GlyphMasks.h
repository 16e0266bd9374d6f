#pragma once
// Glyphs of a font as coverage masks, rendered once per thread and then reused: pictures
// draw their text by blending these masks instead of laying the text out anew for every
// picture. What FreeType drew is kept in the file of look-ups (FontCache.h) after the
// picture, so that a later process draws the same text without loading FreeType.
#include "engine/ThreadState.h"
#include "render/FontCache.h"
#include "render/FontFace.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace varimark {

// One glyph's coverage (0 = none, 255 = full) in a box placed relative to the pen
// position on the base line, x right and y down.
struct TGlyphMask {
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<std::uint8_t> coverage; // width × height, rows top first
    // The glyph drawn on white: 255 - coverage, once per pixel and thrice (grey and
    // blue, green, red pictures).
    std::vector<std::uint8_t> onWhite, onWhite3;
};

// The glyphs of one font at one pixel size, for the 256 characters of Windows-1252.
class TGlyphFont {
public:
    // Pen positions are kept to a quarter pixel along the base line.
    static constexpr int kSubpixels = 4;

    // Takes what the file of look-ups keeps for the face at the size; FreeType opens the face
    // only for what it does not keep. Raises varimark::Error when the face cannot be opened.
    TGlyphFont(const varimark::TFontLocation& location, int pixelSize);

    double Ascent() const { return static_cast<double>(kept_.ascent64) / 64; }
    double Descent() const { return static_cast<double>(kept_.descent64) / 64; }
    double Advance(unsigned char c);
    // The mask of c drawn with the pen subpixel / kSubpixels right of a whole pixel.
    const TGlyphMask& Mask(unsigned char c, int subpixel);
    // Keeps what FreeType drew since the last call in the file of look-ups.
    void KeepDrawn();

private:
    varimark::TFontFace& Face();

    varimark::TFontLocation location_;
    int pixelSize_;
    std::unique_ptr<varimark::TFontFace> face_; // opened for what is not kept
    TKeptGlyphs kept_;                          // what FreeType drew, as the file keeps it
    bool drawn_ = false;                        // drawn by FreeType since kept
    std::array<double, 256> advances_;
    std::array<std::unique_ptr<TGlyphMask>, 256 * kSubpixels> masks_;
};

// The glyph fonts of the calling thread, by face (8-bit name, as MatchFont takes it),
// cell height and magnification. When 256 have gathered they are all dropped and made
// again as needed. The font returned serves until the next call on the thread. Memory
// running out is std::bad_alloc.
TGlyphFont& GlyphFontFor(std::string_view face, int cellHeight, int magnification);

// Keeps what FreeType drew for the calling thread's glyph fonts in the file of look-ups
// (see TGlyphFont::KeepDrawn); a picture calls it once its text is drawn. Anything that
// fails costs only the keeping.
void KeepDrawnGlyphs() noexcept;

} // namespace varimark
