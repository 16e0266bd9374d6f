#pragma once
// libvarimark: one-dimensional barcodes as prepared text, bar patterns and pictures.
//
//     varimark::Symbol symbol;
//     symbol.type = varimark::Type::EAN_13;
//     symbol.text = "400638133393";
//     std::vector<std::uint8_t> png = varimark::Render(symbol, {});
//
// Every function raises varimark::Error with the system's message when it refuses
// ("Invalid character in barcode", "Bar_SC_Size must be in the range 0..9!", ...).
// The functions may be called from several threads at once.
#include "varimark/error.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varimark {

// The sixteen symbologies, in the order of their names in TypeName.
enum class Type : std::uint8_t {
    EAN_8,
    EAN_13,
    UPC_A,
    UPC_E,
    CODE39,
    CODE25i,  // Interleaved 2 of 5
    CODE25iP, // Interleaved 2 of 5 with check digit
    CODE128_A,
    CODE128_B,
    CODE128_C,
    MSI_Plessey,
    Codabar,
    Postnet,
    Postnet_FIM,
    GS1_128, // Code 128 with GS1 Application Identifiers: "(01)09501101530003(10)AB-123"
    ITF_14,  // Interleaved 2 of 5 of 14 digits (GTIN-14) with bearer bars
};

// "EAN_13" for Type::EAN_13, and back: a name without regard to case and with '-' for '_'.
VARIMARK_API const char* TypeName(Type type);
VARIMARK_API std::optional<Type> TypeFromName(std::string_view name);

// ITF_14's bearer bars: a frame around the bars and their quiet zones, or a bar over and a
// bar under them.
enum class Bearer : std::uint8_t { Frame, TopBottom };

// What a barcode looks like. Texts are UTF-8. The text is checked, not repaired: a character
// the symbology cannot carry, a wrong EAN/UPC check digit or an empty text is refused with
// its name and place, unless `repair` asks for the desktop program's repairs (a character
// outside Windows-1252 as '?', letters in a number as zeros, a check digit computed anew).
// Code 128's function characters are given only as escapes (`escapes`: "\xNN" is the byte
// NN of the symbology's 8-bit text, where FNC1 is \x86, FNC2 \x81, FNC3 \x80 and FNC4
// \x84 in code set B or \x85 in A; "\\" is a backslash).
// GS1_128 takes GS1 data, each Application Identifier in parentheses or square brackets
// before its data ("(01)09501101530003(17)260131(10)AB-123"), checked against the AI table,
// at most 48 data characters; escapes and repair do not apply to it. ITF_14 takes 13 digits,
// or 14 with the GTIN's check digit.
struct Symbol {
    Type type = Type::CODE128_B;
    std::string text;
    std::string addon; // "", 2 or 5 digits (EAN-13, UPC-A, UPC-E)
    // Wide to narrow element: 0 for the type's own (3; ITF_14 2.5), 3 or 2; ITF_14 2.25,
    // 2.5, 2.75 or 3.
    double ratio = 0;
    Bearer bearer = Bearer::Frame; // ITF_14's bearer bars
    int moduleSize = 2;            // 0 (0.27 mm) .. 9 (0.66 mm)
    int rotation = 0;              // degrees: 0, 90, 180, 270
    bool humanReadable = true;     // the text line under the bars
    int barHeight = 100;           // percent, 20..200
    std::string font = "Arial";
    int fontHeight = 100; // percent, 20..200
    bool zoom = false;    // module widths to the millimetre, not whole pixels
    bool highDensity = false;
    bool widthReduce = false;
    bool escapes = false; // "\xNN" and "\\" in text
    bool repair = false;  // repair the text as the desktop program does, instead of refusing
};

enum class Format : std::uint8_t { Bmp, Gif, Tiff, Jpeg, Emf, Png, Svg, Pdf };

// The format a file name's extension chooses (".bmp", ".gif", ".tif", ".jpg", ".emf",
// ".png", ".svg", ".pdf", in any case); none for another.
VARIMARK_API std::optional<Format> FormatFromName(std::string_view fileName);
// The format an extension names, with or without its dot ("png", ".PNG"); none for anything
// else ("a.png", "x/.png").
VARIMARK_API std::optional<Format> FormatFromExtension(std::string_view extension);

struct PictureOptions {
    Format format = Format::Png;
    int scale = 1; // a whole magnification of everything, 1..65535
    // Pixels of white around the barcode before scaling: none gives each side the
    // symbology's quiet zone (at least 2 pixels); a value gives that margin, or with
    // quietZones the quiet zones and at least that margin.
    std::optional<int> margin;
    bool quietZones = false;
    int dpi = 96;            // the resolution the barcode is laid out at, 1..100000
    bool monochrome = false; // a 1-bit picture (raster formats only)
};

// The prepared text (with check characters; UTF-8, as the symbol's text) and the bar
// pattern, '1' for a dark module. Code 128 and GS1-128 give their symbol characters from
// the start to the stop character (GS1-128: START, FNC1 as U+2020 "†", ...), each value v as
// the Windows-1252 character 32 + v. ITF_14's modules are without the bearer bars, in
// halves of a module at its ratio 2.5 and quarters at 2.25 and 2.75.
struct Encoded {
    std::string codeText;
    std::string modules;
};

VARIMARK_API Encoded Encode(const Symbol& symbol);
// The whole picture file's bytes.
VARIMARK_API std::vector<std::uint8_t> Render(const Symbol& symbol, const PictureOptions& options);
// Writes the picture under exactly the name given: the file takes the name only when it
// is complete, so a failure leaves an old file as it was and nothing beside it (a replaced
// file takes a hidden name for a moment, which a killed process may leave and the next
// save in that folder removes).
VARIMARK_API void RenderToFile(const Symbol& symbol, const PictureOptions& options,
                               const std::string& fileName);

// "1.1.0".
VARIMARK_API const char* Version();

} // namespace varimark
