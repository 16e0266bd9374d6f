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
#include <memory>
#include <optional>
#include <span>
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
// Bearer::Frame for "frame", Bearer::TopBottom for "top-bottom", in any case and with '_'
// for '-'; none for another name.
VARIMARK_API std::optional<Bearer> BearerFromName(std::string_view name);

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

// The largest magnification, resolution and margin a picture may ask for.
inline constexpr int kMaxScale = 65535;
inline constexpr int kMaxDpi = 100000;
inline constexpr int kMaxMargin = 65535;

struct PictureOptions {
    Format format = Format::Png;
    int scale = 1; // a whole magnification of everything, 1..kMaxScale
    // Pixels of white around the barcode before scaling: none gives each side the
    // symbology's quiet zone (at least 2 pixels); a value gives that margin, or with
    // quietZones the quiet zones and at least that margin.
    std::optional<int> margin;
    bool quietZones = false;
    int dpi = 96;            // the resolution the barcode is laid out at, 1..kMaxDpi
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

// The same, a PDF dated creationTime (seconds since 1970, UTC) as its creation date; other
// formats carry no date and are as Render gives them. For files that are the same bytes
// each time they are made (SOURCE_DATE_EPOCH); the PDF is as long with a date as without.
VARIMARK_API std::vector<std::uint8_t> Render(const Symbol& symbol, const PictureOptions& options,
                                              long long creationTime);

// The encoded symbol as one JSON object, without a line end, as varimark-cli encode prints
// it: {"type":"EAN_13","codetext":"4006381333931","modules":"1010...","count":95}. The
// codetext gives each byte b of the symbology's 8-bit text as the character U+00bb, so that
// every byte, a Code 128 function character's included, comes back exactly; count is the
// number of modules. Raises as Encode does.
VARIMARK_API std::string EncodeJson(const Symbol& symbol);

// utf8 as a quoted JSON string: '"' and '\\' escaped, bytes below 0x20 as \u00XX,
// everything else as it is ("a\"b" for a"b).
VARIMARK_API std::string JsonString(std::string_view utf8);

// Checking a symbol in steps, each as Encode and Render check it, for a caller that tells
// its faults apart (a command line reports a malformed escape as a usage error, a refused
// text with its own name) or checks before it draws many texts alike:
//
// The text only (symbol.text for symbol.type with symbol.escapes and symbol.repair): raises
// TextError for a text the symbology cannot carry, a NUL byte or a text longer than any
// symbol holds, whatever the type ("String exceeds maximum length"), EscapeSequenceError for
// a malformed escape. Encode, EncodeJson and Render raise the same for the same text, and
// Error (not TextError) for a text that passes here but that the symbol cannot hold.
VARIMARK_API void CheckText(const Symbol& symbol);
// The add-on only (symbol.addon for symbol.type with symbol.repair): TextError when the
// type takes none or it is not 2 or 5 digits.
VARIMARK_API void CheckAddon(const Symbol& symbol);
// Everything but the text: the type, the ratio, the add-on (TextError) and the look, each
// raising the message Encode and Render would ("Bar_SC_Size must be in the range 0..9!").
VARIMARK_API void CheckSymbolOptions(const Symbol& symbol);
// TextError when text holds a NUL byte, which no symbol can carry ("the text holds a NUL
// byte (\x00), which no barcode can carry"): for a line of input before it is split.
VARIMARK_API void CheckNoNulByte(std::string_view text);
// Whether the type takes an add-on (EAN_13, UPC_A, UPC_E).
VARIMARK_API bool TakesAddon(Type type);
// Whether Symbol::ratio may be ratio for the type (0 always; 3 or 2; ITF_14 2.25, 2.5, 2.75
// or 3), and the choices as messages name them: "(3 or 2)", "(ITF_14: 2.25, 2.5, 2.75 or 3)".
VARIMARK_API bool RatioFits(Type type, double ratio);
VARIMARK_API const char* RatioChoices(Type type);

// Writing many pictures into one folder, as a batch does: each file appears under its name
// only when it is complete, so a failure or a kill leaves the old file or none, never a part
// (a replaced file takes a hidden name for a moment, as with RenderToFile). The files are not
// synced one by one: the system writes them out later. The folder is opened once, so a new
// name is looked up in it, not along the whole path each time. Write may be called from
// several threads at once.
class VARIMARK_API PictureFolder {
public:
    // The folder must exist; one that cannot be opened is written into by its path.
    explicit PictureFolder(const std::string& path);
    ~PictureFolder();
    PictureFolder(const PictureFolder&) = delete;
    PictureFolder& operator=(const PictureFolder&) = delete;

    // Writes bytes as folder/name; name is a plain file name. Raises Error with the file's
    // name and the cause ("Cannot create file /x/000001.png: Permission denied").
    void Write(const std::string& name, std::span<const std::uint8_t> bytes) const;

private:
    struct Folder;
    std::unique_ptr<Folder> folder_;
};

// Writes bytes as the file fileName, whole or not at all, as RenderToFile writes a picture.
VARIMARK_API void WriteFile(const std::string& fileName, std::span<const std::uint8_t> bytes);

// Sets the fonts up for the whole process, as the first picture with text would: a program
// that draws in many threads calls it before they start, so that a failure (std::bad_alloc:
// memory ran out while the font configuration loaded) is met once, not by every thread.
VARIMARK_API void SetUpFonts();

// For a program's thread that ends the process on SIGINT, SIGTERM or SIGHUP: removes the
// hidden names of the writes in progress (RenderToFile, WriteFile, PictureFolder) and keeps
// every later write from making one (those block; the caller ends the process at once). Not
// for a signal handler: it waits for a write that is between making a hidden name and
// renaming it. The library installs no handler of its own.
VARIMARK_API void RemoveHiddenNamesForExit();

// "1.3.0".
VARIMARK_API const char* Version();

} // namespace varimark
