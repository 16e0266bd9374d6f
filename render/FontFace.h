#pragma once
// A font file opened with FreeType: the face's design metrics, its metrics at a pixel size
// (ascent and descent from the OS/2 table's Windows ascent and descent, as the Windows
// display measures a font's cell) and its glyphs as coverage masks.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace varimark {

// Where a face lies: its file and its index in the file.
struct TFontLocation {
    std::string file;
    int index = 0;

    bool operator==(const TFontLocation&) const = default;
};

// A face's design metrics in font units: its em square and its cell's ascent and descent.
struct TFaceMetrics {
    long long unitsPerEm = 2048, ascent = 0, descent = 0;

    // Ascent and descent at a pixel size (em square of pixelSize pixels), in 1/64 pixel.
    long long Ascent64(long long pixelSize) const;
    long long Descent64(long long pixelSize) const;
    // The cell height (ascent + descent) at a pixel size, rounded to a whole pixel.
    long long CellHeight(long long pixelSize) const;
    // The cell height per pixel of size.
    double Proportion() const;
};

// When the font file last changed, to the nanosecond, and its size.
struct TFontFileStamp {
    long long seconds = 0, nanoseconds = 0, size = 0;
};

// One glyph's coverage (0 = none, 255 = full) in a box placed relative to the pen
// position on the base line, x right and y down.
struct TGlyphCoverage {
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<std::uint8_t> coverage; // width × height, rows top first

    bool operator==(const TGlyphCoverage&) const = default;
};

// One glyph's outline at a pixel size, unhinted, in 1/64 pixel with y up from the pen
// position on the base line: closed contours of lines and cubic curves (the quadratic
// curves of TrueType faces raised to cubic).
struct TGlyphOutline {
    enum class TStep : std::uint8_t { Move, Line, Cubic };
    struct TPoint {
        double x = 0, y = 0;
    };
    std::vector<TStep> steps;
    std::vector<TPoint> points; // one per move or line, three per cubic
};

class TFontFace {
public:
    // Opens the file (following links) without blocking; raises varimark::Error when what
    // it names is not a regular file or cannot be opened as a font, std::bad_alloc when
    // memory runs out. Faces may be opened, used and closed in any thread, each face in one
    // thread at a time.
    explicit TFontFace(const TFontLocation& location);
    ~TFontFace();
    TFontFace(const TFontFace&) = delete;
    TFontFace& operator=(const TFontFace&) = delete;

    // The stamp of the file as it was opened, and the face's family and style as the font
    // names them ("Liberation Sans Regular").
    TFontFileStamp Stamp() const;
    std::string Name() const;

    // The face's metrics (see TFaceMetrics), as the OS/2 table's Windows ascent and descent
    // give them, or the horizontal header's when the face has no OS/2 table.
    const TFaceMetrics& Metrics() const;
    long long Ascent64(long long pixelSize) const { return Metrics().Ascent64(pixelSize); }
    long long Descent64(long long pixelSize) const { return Metrics().Descent64(pixelSize); }
    long long CellHeight(long long pixelSize) const { return Metrics().CellHeight(pixelSize); }
    double Proportion() const { return Metrics().Proportion(); }
    // The advance of a character (a Unicode code point) at a pixel size, in 1/64 pixel,
    // unhinted, as the glyph's design width scales.
    long long Advance64(char32_t character, int pixelSize) const;
    // The coverage of a character at a pixel size with the pen offset / 64 pixel right of
    // a whole pixel.
    TGlyphCoverage Render(char32_t character, int pixelSize, int offset64);
    // The outline of a character at a pixel size; empty for a glyph without one (a space,
    // a bitmap glyph) and for sizes FreeType cannot set.
    TGlyphOutline Outline(char32_t character, int pixelSize);

private:
    struct TState;
    std::unique_ptr<TState> state_;
};

} // namespace varimark
