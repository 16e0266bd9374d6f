#include "cli/Usage.h"

#include "cli/StandardOutput.h"
#include "varimark/varimark.h"

#include <initializer_list>
#include <string>
#include <vector>

namespace varimark::cli {

namespace {

constexpr const char* kEncodeSynopsis =
    "Usage: varimark-cli encode [--type TYPE] [--ratio R] [--addon DIGITS] [--esc] [--repair]\n"
    "                           [--] TEXT\n"
    "       varimark-cli encode [--type TYPE] [--ratio R] [--addon DIGITS] [--esc] [--repair]\n"
    "                           --batch FILE|-\n";

constexpr const char* kRenderSynopsis =
    "Usage: varimark-cli render [--type TYPE] [--ratio R] [--addon DIGITS] [--module 0..9]\n"
    "                           [--rotate 0|90|180|270] [--no-text] [--bar-height 20..200]\n"
    "                           [--font-height 20..200] [--font NAME] [--zoom]\n"
    "                           [--high-density] [--width-reduce] [--scale N] [--margin N]\n"
    "                           [--dpi N] [--monochrome] [--quiet-zones] [--esc] [--repair]\n"
    "                           [--bearer frame|top-bottom]\n"
    "                           -o FILE [--] TEXT\n"
    "       varimark-cli render [options] -o -|FILE --format EXT [--] TEXT\n"
    "       varimark-cli render [options] --batch FILE|- --outdir DIR --format EXT [--jobs N]\n"
    "                           [--quiet]\n";

constexpr const char* kVerifySynopsis =
    "Usage: varimark-cli verify [--type TYPE|auto] [--aperture MILS] [--dpi N] [--json]\n"
    "                           [--min-grade GRADE] [--reflectance-black P]\n"
    "                           [--reflectance-white P] [--report FILE.svg|FILE.png]\n"
    "                           [--gs1] [--] FILE\n";

constexpr const char* kTypeAfter =
    "  --ratio R       width of a wide element in modules: 3 (default) or 2; ITF_14 2.25,\n"
    "                  2.5 (its default), 2.75 or 3\n"
    "  --bearer frame|top-bottom\n"
    "                  ITF_14's bearer bars, 5 modules thick: a frame around the bars and\n"
    "                  their quiet zones of 10 modules (default), or a bar over and one\n"
    "                  under them\n"
    "  --addon DIGITS  2- or 5-digit add-on of EAN_13, UPC_A and UPC_E\n"
    "  --esc           in TEXT, \\xNN stands for the byte NN of the symbology's 8-bit text and\n"
    "                  \\\\ for a backslash; Code 128's function characters are given so: FNC1\n"
    "                  \\x86, FNC2 \\x81, FNC3 \\x80, FNC4 \\x84 (code set B) or \\x85 (A), and\n"
    "                  CODE A/B/C \\x85/\\x84/\\x83\n"
    "  --repair        repair the text as the desktop program does instead of refusing it:\n"
    "                  a character outside Windows-1252 becomes '?', letters in a number 0,\n"
    "                  an EAN/UPC check digit is computed anew, lengths are padded or cut\n";

constexpr const char* kText =
    "TEXT is UTF-8, at most 50 characters, and is checked, not repaired: a character the\n"
    "symbology cannot carry (a letter in EAN, a character outside Windows-1252, a euro sign\n"
    "in Code 128), a wrong EAN/UPC check digit, a length the symbology does not take and an\n"
    "empty text are refused, with the character and its place (exit status 1).\n"
    "GS1_128 takes GS1 data, each Application Identifier in parentheses or square\n"
    "brackets before its data: '(01)09501101530003(17)260131(10)AB-123', at most 48 data\n"
    "characters; each AI's data is checked (length, characters, check digit, date), and\n"
    "--esc and --repair do not apply. ITF_14 takes 13 digits, or 14 with the GTIN's check\n"
    "digit.\n";

constexpr const char* kExit =
    "Exit status: 0 success; 1 the text or a value was refused (a number out of its\n"
    "range, a NUL byte in the text), or a file or standard output could not be read or\n"
    "written (the reason on standard error); 2 a malformed command line (an unknown\n"
    "option, a missing value or operand, a value that is not a number).\n";

// Standard output goes through WriteStandardOutput, so that a failed write is reported
// with its cause.
// The --type option's lines: every symbology the library names (varimark::TypeName, in the
// order of the table of symbologies), filled to 88 columns.
std::string TypeOptionLines() {
    std::vector<std::string> words;
    for (int type = 0;; ++type) {
        const std::string name = varimark::TypeName(static_cast<varimark::Type>(type));
        if (name.empty()) break;
        words.push_back(name + (name == "CODE128_B" ? " (default)" : "") + ",");
    }
    if (!words.empty()) words.back().back() = ';';
    for (const char* word :
         {"case", "does", "not", "matter", "and", "'-'", "may", "stand", "for", "'_'"})
        words.emplace_back(word);
    constexpr std::size_t kColumns = 88;
    const std::string indent(18, ' ');
    std::string lines = "  --type TYPE     ", line;
    for (const std::string& word : words) {
        if (!line.empty() && indent.size() + line.size() + 1 + word.size() > kColumns) {
            lines += line + "\n" + indent;
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    return lines + line + "\n";
}

void PrintAll(std::FILE* stream, std::initializer_list<const char*> parts) {
    std::string text;
    for (const char* part : parts) text += part;
    if (stream == stdout)
        WriteStandardOutput(text);
    else
        std::fputs(text.c_str(), stream);
}

} // namespace

void PrintUsage(std::FILE* stream) {
    PrintAll(stream, {"varimark-cli: barcodes from the command line.\n\n", kEncodeSynopsis,
                      kRenderSynopsis, kVerifySynopsis,
                      "\nCommands:\n"
                      "  encode   print the prepared text and the bar pattern as JSON\n"
                      "  render   draw the barcode into a picture file\n"
                      "  verify   grade the barcode in a picture as a print-quality verifier does\n"
                      "\nRun 'varimark-cli COMMAND --help' for a command's options and examples;\n"
                      "'varimark-cli --version' prints the version.\n"});
}

void PrintEncodeUsage(std::FILE* stream) {
    PrintAll(
        stream,
        {kEncodeSynopsis,
         "\nEncodes TEXT as a barcode and prints one line of JSON:\n"
         "  {\"type\":...,\"codetext\":...,\"modules\":\"0101...\",\"count\":N}\n"
         "codetext is the text actually encoded (check and start/stop characters included), each\n"
         "byte b shown as the character U+00bb; modules has one 1 (bar) or 0 (space) per module\n"
         "(for Postnet and FIM one entry per bar position; for ITF_14, without its bearer\n"
         "bars, one per half module at its ratio 2.5 and per quarter at 2.25 and 2.75).\n",
         kText, "\nOptions:\n", TypeOptionLines().c_str(), kTypeAfter,
         "  --batch FILE    encode each line of FILE (- for standard input) instead of TEXT; a\n"
         "                  refused line prints {\"line\":N,\"error\":...} and the run goes on;\n"
         "                  an empty line (one with only a byte-order mark too) is skipped\n"
         "  -h, --help      show this help\n\n",
         kExit,
         "\nExamples:\n"
         "  varimark-cli encode --type EAN_13 --addon 12345 400638133393\n"
         "  printf 'ABC-1\\nXYZ\\n' | varimark-cli encode --type code39 --ratio 2 --batch -\n"});
}

// The render command's help, part by part.
constexpr const char* kRenderDescription =
    "\nDraws TEXT as a barcode into FILE; the extension chooses the format: .bmp (Windows\n"
    "bitmap, 24 bits), .gif, .tif (8-bit palette), .jpg, .emf (enhanced metafile), .png,\n"
    ".svg (rectangles and text, scalable without losing edges) or .pdf; with -o - the\n"
    "picture goes to standard output (not a terminal); --format EXT chooses the format\n"
    "for any -o (needed for -o - and names without an extension, such as /dev/stdout). The\n"
    "picture is white, (2 x margin + width) x scale by (2 x margin + height) x scale\n"
    "pixels, where the margin holds the symbology's quiet zones unless --margin is\n"
    "given. A PDF carries no creation date unless SOURCE_DATE_EPOCH gives one.\n";
constexpr const char* kRenderLookOptions =
    "  --module 0..9   module width SC0 (0.27 mm) .. SC9 (0.66 mm); default 2 (0.33 mm)\n"
    "  --rotate DEG    0, 90 (counter-clockwise), 180 or 270\n"
    "  --no-text       leave out the human-readable line\n"
    "  --bar-height P  bar height in percent, 20..200 (default 100)\n"
    "  --font-height P font height in percent, 20..200 (default 100)\n"
    "  --font NAME     face of the human-readable line (default Arial; Default is the\n"
    "                  system's sans face)\n"
    "  --zoom          place every module at its exact millimetre position\n"
    "  --high-density  halve the module width\n"
    "  --width-reduce  draw each bar one pixel narrower\n"
    "  --scale N       magnify everything N times, text with a larger font (default 1)\n"
    "  --margin N      white pixels around the barcode before scaling, instead of the\n"
    "                  quiet zones (the desktop program's pictures have --margin 2)\n"
    "  --dpi N         resolution the barcode is laid out for (default 96)\n"
    "  --monochrome    a black-and-white picture (raster formats)\n"
    "  --quiet-zones   the default: a margin of at least 2 pixels that holds the\n"
    "                  symbology's minimum quiet zone on each side (EAN-13 11 and 7\n"
    "                  modules, UPC-A 9, EAN-8 7, UPC-E 9 and 7, 5 after an add-on, 10 for\n"
    "                  the others; 1/8 inch for Postnet and FIM); with --margin N, the\n"
    "                  quiet zones and at least N pixels\n";
constexpr const char* kRenderBatchOptions =
    "  --batch FILE    one barcode per line of FILE (- for standard input): TEXT, or\n"
    "                  TYPE<TAB>TEXT, or TYPE<TAB>TEXT<TAB>ADDON; line k is written to\n"
    "                  DIR/NNNNNN.EXT (000001 on); a failing line is reported as\n"
    "                  \"line N: message\" and the others are written. Lines are\n"
    "                  drawn as they are read; a line may hold 4096 bytes (longer:\n"
    "                  \"line too long\"); a byte-order mark before the first is skipped.\n"
    "                  An empty line, also one empty but for a byte-order mark, is\n"
    "                  skipped: it makes no file and no error. A regular file of the\n"
    "                  same name is replaced whole (as with -o); a link, folder or other\n"
    "                  entry there is refused and left alone\n"
    "  --outdir DIR    the batch's folder (created when missing)\n"
    "  --format EXT    the picture format, before any extension: bmp, gif, tif, jpg, emf,\n"
    "                  png, svg, pdf (with or without the dot, in any case)\n"
    "  --jobs N        at most N pictures drawn at once, each by its own thread (default:\n"
    "                  the number of processors); fewer when the system starts no more\n"
    "  --quiet         no progress bar (shown on a terminal for more than 300 lines)\n";
constexpr const char* kRenderOutputOptions =
    "  -o FILE         the picture to write, under exactly that name; an existing file is\n"
    "                  replaced only when the new one is complete (a second hard link\n"
    "                  keeps the old picture): it is linked in as .FILE.vmk-PID-... and\n"
    "                  renamed over FILE at once; a kill (SIGKILL) at that moment leaves\n"
    "                  that name, which the next save replacing a file there removes. A\n"
    "                  link is followed; a pipe or device is written into; - for\n"
    "                  standard output, with --format EXT. In a folder that may not be\n"
    "                  written, a writable FILE is written over in place, which is not\n"
    "                  atomic: a failure or kill part way leaves it empty or holding the\n"
    "                  start of the new picture\n"
    "  -h, --help      show this help\n\n";
constexpr const char* kRenderExamples =
    "\nExamples:\n"
    "  varimark-cli render --type EAN_13 --addon 12 -o label.png 400638133393\n"
    "  varimark-cli render --type CODE39 --module 9 --rotate 90 -o box.svg ABC-123\n"
    "  varimark-cli render --type UPC_A --dpi 600 -o print.pdf 03600029145\n"
    "  varimark-cli render --type CODE128_B -o - --format png ABC-123 | lp\n"
    "  varimark-cli render --type EAN_13 --batch codes.txt --outdir labels --format gif\n";

void PrintRenderUsage(std::FILE* stream) {
    PrintAll(stream, {kRenderSynopsis, kRenderDescription, kText, "\nOptions:\n",
                      TypeOptionLines().c_str(), kTypeAfter, kRenderLookOptions,
                      kRenderBatchOptions, kRenderOutputOptions, kExit, kRenderExamples});
}

void PrintVerifyUsage(std::FILE* stream) {
    PrintAll(
        stream,
        {kVerifySynopsis,
         "\nGrades the linear barcode in FILE (PNG, BMP, TIFF, GIF or JPEG: a scan or photo of a\n"
         "printed label, flat, best at 600 dpi, or any drawn picture) the way an ISO/IEC 15416\n"
         "verifier does. The picture is read as reflectance (grey level 0..255 as 0..100 %,\n"
         "colour by its red channel, as a 660 nm scanner sees it). The symbol is found in any\n"
         "quarter turn and a small skew; ten scans cross the bars between 10 % and 90 % of\n"
         "their height, each through a circular aperture. Each scan grades Decode (the\n"
         "symbology's reference decode, check digits and quiet zones), Rmin, Symbol Contrast,\n"
         "Minimum Edge Contrast, Modulation, Defects and Decodability from A (4) to F (0); the\n"
         "scan's grade is its lowest, the symbol grade the mean of the ten, shown as\n"
         "grade/aperture/wavelength (4.0/06/660). The report adds the data as a scanner\n"
         "transmits it (control characters shown as <GS> and the like), the symbology\n"
         "identifier (]E0), the X dimension, the bar gain and, for each parameter below\n"
         "--min-grade, what to change. A picture that states no resolution, without --dpi,\n"
         "is graded relative to X: X in pixels, the aperture a fraction of X (3.8/0.46X/660).\n"
         "Postnet and FIM are postal symbols, outside ISO/IEC 15416.\n"
         "A Code 128 symbol whose first data character is FNC1 is GS1-128 (]C1), and an\n"
         "Interleaved 2 of 5 symbol of 14 digits with their GS1 check digit between bearer\n"
         "bars is ITF-14; their data is split into Application Identifiers and checked (check\n"
         "digits, dates, lengths), each fault reported under GS1 without lowering the grade.\n"
         "\nOptions:\n"
         "  --type TYPE     the symbology (as for encode), or auto (default): any linear one\n"
         "  --aperture MILS the aperture's diameter in mils (thousandths of an inch); default:\n"
         "                  6 for EAN/UPC, else by the X dimension (3, 5, 10 or 20)\n"
         "  --dpi N         the picture's resolution; default: what the file states, else the\n"
         "                  grade is relative to X\n"
         "  --min-grade G   the grade that passes: A, B, C, D, F (either case) or a number\n"
         "                  0..4 (default C, 1.5)\n"
         "  --reflectance-black P, --reflectance-white P\n"
         "                  the reflectances in percent that grey levels 0 and 255 stand for,\n"
         "                  as measured on a calibration card (default 0 and 100)\n"
         "  --json          one JSON object: grade, grade_text, passed, type, data, x_mm,\n"
         "                  bar_gain_mm, aperture_mils, profiles (each parameter and its\n"
         "                  grade, each scan's line and reflectance profile), advice, gs1\n"
         "                  (the AIs, their faults and the size checks)\n"
         "  --report FILE   also draw the grading into FILE (.svg or .png): the picture with\n"
         "                  the ten scans on it, green from grade C up, red below, and the\n"
         "                  reflectance profile of the lowest scan with Rmax, Rmin, the global\n"
         "                  threshold, each edge, ECmin and the worst defect marked\n"
         "  --gs1           also check the symbol's size against the GS1 symbol specification\n"
         "                  table of its symbology (GS1 General Specifications 5.12.3): X\n"
         "                  dimension, bar height, quiet zones, ITF-14's bearer bars and the\n"
         "                  print quality at the table's aperture, one line each with what was\n"
         "                  measured and the allowed range (sizes need the resolution)\n"
         "  -h, --help      show this help\n\n"
         "Exit status: 0 the symbol grade reaches --min-grade; 1 it does not, no barcode was\n"
         "found or nothing decoded (the reason on standard error), GS1 data has a fault or,\n"
         "with --gs1, a size lies outside the table, or a file could not be read or written;\n"
         "2 a malformed command line (--report naming another format).\n"
         "\nExamples:\n"
         "  varimark-cli verify label-scan.png\n"
         "  varimark-cli verify --type EAN_13 --min-grade B --json scan.tif\n"
         "  varimark-cli verify --dpi 600 --report grading.svg label-scan.png\n"
         "  varimark-cli verify --gs1 --dpi 600 pallet-label.png\n"
         "  varimark-cli render --type CODE128_B --dpi 600 -o c.png ABC-123 &&"
         " varimark-cli verify --dpi 600 c.png\n"});
}

void PrintShortUsage(std::FILE* stream) {
    PrintAll(stream, {kEncodeSynopsis, kRenderSynopsis, kVerifySynopsis,
                      "Try 'varimark-cli --help' for more information.\n"});
}

} // namespace varimark::cli
