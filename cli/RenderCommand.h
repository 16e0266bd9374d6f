#pragma once
// The render command: one barcode drawn into a picture file (BMP, GIF, TIFF, JPEG, EMF,
// PNG, SVG or PDF) or onto standard output.
#include "cli/Options.h"
#include "engine/LLBarcode.h"
#include "engine/Units.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varimark::cli {

// The look and the picture, beyond the options shared with encode.
struct RenderOptions {
    int module = SC2;      // --module 0..9
    int rotateDegrees = 0; // --rotate 0|90|180|270
    bool noText = false;   // leave out the human-readable line
    int barHeight = 100;   // --bar-height 20..200
    int fontHeight = 100;  // --font-height 20..200
    std::string font = "Arial";
    bool zoom = false, highDensity = false, widthReduce = false;
    bool monochrome = false; // a 1-bit picture (raster formats)
    int scale = 1;           // a whole magnification of everything
    // Pixels around the barcode, before scaling: without --margin, the symbology's quiet
    // zones (at least kMinimumMargin); with it, that margin.
    std::optional<int> margin;
    bool quietZones = false; // --quiet-zones: the quiet zones even with --margin
    int dpi = kScreenDpi;    // the resolution the surface reports
    std::string output;      // "-": standard output
    // Batch rendering.
    std::string outdir;
    std::string format; // the extension of every picture (and of -o -), with or without its dot
    int jobs = 0;       // 0: the number of processors
    bool quiet = false; // no progress bar
};

// The look into the parameter record, through the control's range checks.
void ApplyRenderOptions(const RenderOptions& options, TBarcodeParams& params);
// The picture file of the barcode in the format of the name's extension (every picture
// type of the save function, and PDF); PDF dated by SOURCE_DATE_EPOCH when it is set.
// EUnsupportedFileType for another extension.
std::vector<std::uint8_t> RenderToBytes(TLLBarcode& barcode, const RenderOptions& options,
                                        const std::string& fileName);
// The extension (".png") that --format EXT names: one of the picture types, with or without
// its dot, in any case (the case is kept); UsageError for anything else.
std::string FormatExtension(const std::string& format);
// UsageError for a name whose extension chooses no picture type.
void CheckPictureName(const std::string& fileName, bool monochrome);
// EPicture for a resolution or margin that would make every picture too large.
void CheckPictureLimits(const RenderOptions& options);

// Runs "render" with the arguments after the command name. Throws UsageError for a
// malformed command line, RangeError for a value out of range.
int RunRenderCommand(std::vector<std::string_view> args);

} // namespace varimark::cli
