#pragma once
// Reading a picture file back as grey levels, for measuring the barcode in it: PNG
// (libpng), BMP, TIFF (libtiff), GIF (giflib) and JPEG (libjpeg), told apart by their
// first bytes, whatever the file's name.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace varimark {

struct TGreyPicture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> level; // width * height, top row first; 0 black .. 255 white
    double dpiX = 0, dpiY = 0;       // the resolution the file states; 0 when none
    // A resolution the file states outside 1..100000 dpi is taken as none (dpiX and dpiY
    // 0), and this says so: "the file states 0.0254 dpi, outside 1 to 100000 dpi".
    std::string resolutionNote;
};

// The levels as a scanner's red light (660 nm) sees them: the red channel of a colour
// pixel (palette entries looked up), grey as it is, 1/2/4/8/16-bit depths, a transparent
// or partly transparent pixel over white. Throws varimark::Error (include/varimark/error.h)
// with a clear message for what it cannot read ("not a PNG, BMP, TIFF, GIF or JPEG
// picture", "truncated PNG picture", "the picture is larger than ... pixels", "the JPEG
// picture has 499 progressive scans; at most 64 are read"...).
// A GIF gives its first image, at that image's own size; a TIFF its first page.
// What a file holds besides its picture costs no more than reading its bytes: a PNG's texts
// and other ancillary chunks but tRNS and pHYs are skipped unread, and the scans of a JPEG
// (alone or as TIFF strips or tiles) are bounded, in number and in the blocks they go over,
// before any is decoded (verify/PictureReader.cpp says how far, and why).
TGreyPicture ReadGreyPicture(std::span<const std::uint8_t> bytes);

// The file, read with ReadSmallFile (export/FileReader.h: regular files only, bounded);
// messages name the file.
TGreyPicture ReadGreyPictureFile(const std::string& path);

inline constexpr long long kMaxGreyPixels = 64LL << 20; // what is refused above

} // namespace varimark
