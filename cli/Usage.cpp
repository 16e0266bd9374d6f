#include "Usage.h"

namespace varimark::cli {

namespace {

constexpr const char* kSynopsis =
    "Usage: varimark-cli encode [--type TYPE] [--ratio 3|2] [--addon DIGITS] [--esc] [--] TEXT\n"
    "       varimark-cli encode [--type TYPE] [--ratio 3|2] [--addon DIGITS] [--esc]"
    " --batch FILE|-\n"
    "       varimark-cli help\n";

constexpr const char* kDetails =
    "\n"
    "Encodes TEXT as a barcode and prints one line of JSON:\n"
    "  {\"type\":...,\"codetext\":...,\"modules\":\"0101...\",\"count\":N}\n"
    "codetext is the text actually encoded (check and start/stop characters included), each\n"
    "byte b shown as the character U+00bb; modules has one 1 (bar) or 0 (space) per module.\n"
    "TEXT is UTF-8 and is encoded as Windows-1252; other characters become '?'. At most 50\n"
    "characters.\n"
    "\n"
    "Options:\n"
    "  --type TYPE     EAN_8, EAN_13, UPC_A, UPC_E, CODE39, CODE25i, CODE25iP, CODE128_A,\n"
    "                  CODE128_B (default), CODE128_C, MSI_Plessey, Codabar, Postnet,\n"
    "                  Postnet_FIM; case does not matter and '-' may stand for '_'\n"
    "  --ratio 3|2     width of a wide element in modules (default 3)\n"
    "  --addon DIGITS  2- or 5-digit add-on of EAN_13 and UPC_A\n"
    "  --esc           in TEXT, \\xNN stands for the byte NN and \\\\ for a backslash\n"
    "  --batch FILE    encode each line of FILE (- for standard input) instead of TEXT; a\n"
    "                  refused line prints {\"line\":N,\"error\":...}\n"
    "  -h, --help      show this help\n"
    "\n"
    "Exit status: 0 success, 1 a text was refused or a file could not be read, 2 usage error.\n"
    "\n"
    "Examples:\n"
    "  varimark-cli encode --type EAN_13 --addon 12345 400638133393\n"
    "  printf 'ABC-1\\nXYZ\\n' | varimark-cli encode --type code39 --ratio 2 --batch -\n";

} // namespace

void PrintUsage(std::FILE* stream) {
    std::fputs(kSynopsis, stream);
    std::fputs(kDetails, stream);
}

void PrintShortUsage(std::FILE* stream) {
    std::fputs(kSynopsis, stream);
    std::fputs("Try 'varimark-cli --help' for more information.\n", stream);
}

} // namespace varimark::cli
