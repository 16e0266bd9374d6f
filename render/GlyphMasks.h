#pragma once
// Glyphs of a font as coverage masks, rendered once per thread and then reused: pictures
// draw their text by blending these masks instead of laying the text out anew for every
// picture.
#include "engine/ThreadState.h"
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

    TGlyphFont(const varimark::TFontLocation& location, int pixelSize);

    double Ascent() const { return ascent_; }
    double Descent() const { return descent_; }
    double Advance(unsigned char c);
    // The mask of c drawn with the pen subpixel / kSubpixels right of a whole pixel.
    const TGlyphMask& Mask(unsigned char c, int subpixel);

private:
    varimark::TFontFace face_;
    int pixelSize_;
    double ascent_, descent_;
    std::array<double, 256> advances_;
    std::array<std::unique_ptr<TGlyphMask>, 256 * kSubpixels> masks_;
};

// The glyph fonts of the calling thread, by face (8-bit name, as MatchFont takes it),
// cell height and magnification. When 256 have gathered they are all dropped and made
// again as needed. The font returned serves until the next call on the thread. Memory
// running out is std::bad_alloc.
TGlyphFont& GlyphFontFor(std::string_view face, int cellHeight, int magnification);

} // namespace varimark
