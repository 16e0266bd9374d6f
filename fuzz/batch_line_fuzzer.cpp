// libFuzzer target of the batch input: the line reader and the parsing of each line into
// type, text and add-on, as render --batch and encode --batch see them. The first byte
// chooses escapes (bit 0), --repair (bit 1) and how often the rest is repeated (1 to 64
// times), so that small inputs make lines beyond the length cap.
#include "FuzzCheck.h"
#include "cli/BatchLine.h"
#include "cli/LineReader.h"
#include "cli/Options.h"
#include "engine/BarcodeParams.h"
#include "engine/EOverflow.h"
#include "engine/Escapes.h"
#include "engine/InputText.h"
#include "varimark/varimark.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace varimark;

namespace {

using namespace varimark::cli;

void ParseLine(const std::string& line, const TSymbolOptions& options) {
    const std::size_t tabs = static_cast<std::size_t>(std::count(line.begin(), line.end(), '\t'));
    TBatchLine parsed;
    try {
        parsed = ParseBatchLine(line, options);
    } catch (const EscapeSequenceError& e) {
        Check(options.escapes, "a bad escape only with escapes");
        Check(*e.what() != '\0', "a refused escape has a message");
        return;
    } catch (const TextError& e) {
        Check(*e.what() != '\0', "a refused text has a message");
        if (std::string_view(e.what()) != kCaptionTooLong) {
            // A NUL byte in the line, or one written as \x00 with escapes.
            const bool nul = line.find('\0') != std::string::npos ||
                             (options.escapes && line.find("\\x00") != std::string::npos);
            Check(!options.repair || nul,
                  "with --repair no text is refused for what it holds but a NUL byte");
            return;
        }
        // A text too long for any caption, refused with the caption's message before it is
        // taken apart: the text field (the first of one, else the second) is the long one.
        Check(tabs <= 2, "a line of four fields or more is refused as such");
        const std::size_t tab = line.find('\t');
        const std::string_view text =
            tabs == 0 ? std::string_view(line)
                      : std::string_view(line).substr(tab + 1, line.find('\t', tab + 1) - tab - 1);
        Check(text.size() > kMaxTextBytes, "only a text too long for the caption is refused so");
        return;
    } catch (const EBatchLine& e) {
        Check(*e.what() != '\0', "a refused line has a message");
        return;
    }
    if (parsed.empty) {
        Check(line.empty(), "only an empty line is skipped");
        return;
    }
    Check(tabs <= 2, "a line of four fields or more is refused");
    Check(parsed.typed == (tabs >= 1), "a type exactly with two fields or three");
    Check(parsed.addon == (tabs == 2), "an add-on exactly with three fields");
    Check(line.find('\0') == std::string::npos, "no NUL byte in an accepted line");
    Check(parsed.symbol.escapes == options.escapes && parsed.symbol.repair == options.repair,
          "the line's symbol takes the options' rules");
    const std::string text =
        CheckedText(parsed.symbol.text, static_cast<btCodeTypes>(parsed.symbol.type),
                    {parsed.symbol.escapes, parsed.symbol.repair});
    Check(text.find('\0') == std::string::npos, "no NUL byte in an accepted text");
    TBarcodeParams params;
    try {
        params.SetCaption(text);
    } catch (const EOverflow&) {
        Check(text.size() > std::size_t{TBarcodeParams::kMaxCaption},
              "only a long caption is refused");
    }
    params.SetCodeAddon(CheckedAddon(
        parsed.symbol.addon, static_cast<btCodeTypes>(parsed.symbol.type), parsed.symbol.repair));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    TSymbolOptions options;
    options.escapes = (data[0] & 1) != 0;
    options.repair = (data[0] & 2) != 0;
    const std::size_t repeat = 1 + (data[0] >> 2);
    const std::string_view piece(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string input;
    input.reserve(piece.size() * repeat);
    for (std::size_t i = 0; i < repeat; ++i) input.append(piece);
    if (input.empty()) return 0; // fmemopen takes no empty buffer

    std::FILE* file = fmemopen(input.data(), input.size(), "rb");
    Check(file != nullptr, "fmemopen");
    const std::size_t newlines =
        static_cast<std::size_t>(std::count(input.begin(), input.end(), '\n'));
    TLineReader reader(file);
    std::size_t lines = 0;
    for (std::string line; reader.Next(line);) {
        ++lines;
        Check(line.size() <= TLineReader::kMaxLineBytes, "a line within the cap");
        Check(line.find('\n') == std::string::npos, "no line end in a line");
        if (reader.TooLong()) {
            Check(line.empty(), "a line too long is not kept");
            continue;
        }
        ParseLine(line, options);
    }
    std::fclose(file);
    Check(reader.Error() == 0, "memory reads do not fail");
    Check(lines <= newlines + 1, "no more lines than line ends and one");
    Check(lines >= newlines, "a line for every line end");
    return 0;
}
