#pragma once
// A prepared barcode as a picture file's bytes, in any format of the library: the one
// function behind the API's Render, the command-line tool's pictures and its batches.
#include "varimark/varimark.h"

#include "engine/LLBarcode.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace varimark {

// Raises Error for options out of range (scale, margin, resolution, monochrome for a
// vector format) before anything is drawn, and what drawing and the writers raise.
// creationTime (seconds since 1970) dates a PDF; without it a PDF carries no date.
std::vector<std::uint8_t> RenderBarcode(TLLBarcode& barcode, const PictureOptions& options,
                                        std::optional<long long> creationTime = std::nullopt);

// The margin in pixels (before scaling) the options give the barcode: a fixed margin, or
// each side's quiet zone.
int PictureMargin(const TLLBarcode& barcode, const PictureOptions& options);

// The margin around the quiet zones when none is asked for: the desktop program's.
inline constexpr int kMinimumMargin = 2;

} // namespace varimark
