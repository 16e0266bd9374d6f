#pragma once
// The render command: one barcode drawn into a picture file (BMP, GIF, TIFF, JPEG, EMF,
// PNG, SVG or PDF).
#include "LLBarcode.h"
#include "Options.h"
#include "Screen.h"

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
    int margin = 2;          // pixels around the barcode, before scaling
    int dpi = 96;            // the resolution the surface reports
    std::string output;
    bool quietZones = false; // widen the margin to the symbology's minimum quiet zone
    // Batch rendering.
    std::string outdir;
    std::string format; // the extension of every picture, with or without its dot
    int jobs = 0;       // 0: the number of processors
    bool quiet = false; // no progress bar
};

// The look into the parameter record, through the control's range checks.
void ApplyRenderOptions(const RenderOptions& options, TBarcodeParams& params);
// Draws the barcode into the file, the format by its extension (every picture type of the
// save function, and PDF).
void RenderToFile(TLLBarcode& barcode, const RenderOptions& options, const std::string& fileName);
// Once per process, before the first picture: the Qt application for the fonts.
void StartQtApplication();
// UsageError for a name whose extension chooses no picture type.
void CheckPictureName(const std::string& fileName, bool monochrome);
// EPicture for a resolution or margin that would make every picture too large.
void CheckPictureLimits(const RenderOptions& options);

// Runs "render" with the arguments after the command name. Throws UsageError.
int RunRenderCommand(std::vector<std::string_view> args);

} // namespace varimark::cli
