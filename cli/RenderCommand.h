#pragma once
// The render command: one barcode drawn into a picture file (BMP, GIF, TIFF, JPEG, EMF,
// PNG, SVG or PDF) or onto standard output.
#include "cli/Options.h"
#include "varimark/varimark.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varimark::cli {

// The look and the picture, beyond the options shared with encode.
struct TRenderOptions {
    int module = 2;        // --module 0..9 (SC2, 0.33 mm)
    int rotateDegrees = 0; // --rotate 0|90|180|270
    bool noText = false;   // leave out the human-readable line
    int barHeight = 100;   // --bar-height 20..200
    int fontHeight = 100;  // --font-height 20..200
    std::string font = "Arial";
    bool zoom = false, highDensity = false, widthReduce = false;
    bool monochrome = false; // a 1-bit picture (raster formats)
    int scale = 1;           // a whole magnification of everything
    // Pixels around the barcode, before scaling: without --margin, the symbology's quiet
    // zones (at least 2 pixels); with it, that margin.
    std::optional<int> margin;
    bool quietZones = false; // --quiet-zones: the quiet zones even with --margin
    int dpi = 96;            // the resolution the barcode is laid out at (a screen's)
    std::string output;      // "-": standard output
    // Batch rendering.
    std::string outdir;
    std::string format; // the extension of every picture (and of -o -), with or without its dot
    int jobs = 0;       // 0: the number of processors
    bool quiet = false; // no progress bar
};

// The look of the options as a symbol's (module size, rotation, text line, heights, font,
// zoom, high density, width reduction); its range is checked when it is drawn.
Symbol LookOf(const TRenderOptions& options);
// The picture file of the symbol in the format of the name's extension (every picture
// type of the library, PDF included); PDF dated by SOURCE_DATE_EPOCH when it is set.
// Error for another extension.
std::vector<std::uint8_t> RenderToBytes(const Symbol& symbol, const TRenderOptions& options,
                                        const std::string& fileName);
// The extension (".png") that --format EXT names: one of the picture types, with or without
// its dot, in any case (the case is kept); EUsage for anything else.
std::string FormatExtension(const std::string& format);
// EUsage for a name whose extension chooses no picture type.
void CheckPictureName(const std::string& fileName, bool monochrome);
// Error for a resolution or margin that would make every picture too large.
void CheckPictureLimits(const TRenderOptions& options);

// Runs "render" with the arguments after the command name. Throws EUsage for a
// malformed command line, ERange for a value out of range.
int RunRenderCommand(std::vector<std::string_view> args);

} // namespace varimark::cli
