// libFuzzer target of varimark-cli's option parser and text conversion.
//
// The input is split at its zero bytes into the arguments of one command. They are parsed
// twice, as the encode command does (shared options only) and as the render command does
// (with options of its own that take a value or none); EUsage and ERange (a ratio
// out of range) are the only failures, and a parse that succeeds gives either help or
// exactly one source of text. Every argument then goes through the engine's text check
// with and without escapes (EEscape the only failure, and only with escapes), and the
// input's bytes, written as \xNN escapes, come back unchanged unless one is NUL (refused),
// as do they through Windows-1252 -> UTF-8 -> Windows-1252. A text of more than
// kMaxTextBytes is refused as the caption refuses it, whatever the type and rules, and only
// such a text: written out, one that holds more bytes than the caption. The API's CheckText,
// which the command line calls, refuses exactly what the engine refuses, with the same
// message: a bad escape as EscapeSequenceError, anything else as TextError.
#include "FuzzCheck.h"
#include "cli/Options.h"
#include "engine/EOverflow.h"
#include "engine/Escapes.h"
#include "engine/InputText.h"
#include "engine/Windows1252.h"
#include "varimark/varimark.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

using namespace varimark;

namespace {

using namespace varimark::cli;

struct TParsed {
    bool ok = false;
    TSymbolOptions options;
    std::string output; // the command's own option with a value
    int flags = 0;      // the command's own option without a value
};

TParsed Parse(const std::vector<std::string_view>& args, bool withExtra) {
    TParsed parsed;
    TOptionParser parser(args);
    const TOptionParser::TExtraOption extra = [&parsed](std::string_view name, TOptionParser& p) {
        if (name == "-o" || name == "--output") {
            parsed.output = std::string(p.Value());
            return true;
        }
        if (name == "--flag") {
            ++parsed.flags;
            return true;
        }
        return false;
    };
    try {
        parsed.options = withExtra ? parser.Parse(extra) : parser.Parse();
        parsed.ok = true;
    } catch (const EUsage& e) {
        // One line, unless it quotes an argument that holds a line end.
        bool lineEnds = false;
        for (const std::string_view arg : args) lineEnds = lineEnds || arg.find('\n') != arg.npos;
        Check(lineEnds || std::string_view(e.what()).find('\n') == std::string_view::npos,
              "a usage message is one line");
    } catch (const ERange& e) {
        Check(std::string_view(e.what()).starts_with("varimark-cli: bad ratio '"),
              "only a ratio is out of range here");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        Check(false, "the parser raises only EUsage and ERange");
    }
    return parsed;
}

bool IsArgument(const std::vector<std::string_view>& args, std::string_view text) {
    for (const std::string_view arg : args)
        if (arg == text) return true;
    return false;
}

void CheckParsed(const TParsed& parsed, const std::vector<std::string_view>& args) {
    if (!parsed.ok) return;
    const TSymbolOptions& options = parsed.options;
    Check(static_cast<int>(options.type) < kCodeTypeCount, "a known type");
    Check(options.ratio == 3 || options.ratio == 2, "a known ratio");
    Check(options.itfRatio != 0 && RatioFits(Type::ITF_14, options.itfRatio),
          "a known ITF-14 ratio");
    if (options.help) return;
    Check(options.text.has_value() != options.batchFile.has_value(),
          "either a text or a batch file");
    if (options.text) Check(IsArgument(args, *options.text), "the text is one of the arguments");

    const Symbol symbol = SymbolOf(options, options.type, "");
    try {
        CheckSymbolOptions(symbol);
    } catch (const TextError& e) {
        // Checked: an add-on of other digits or lengths, or for a type without add-ons.
        Check(!options.repair && !options.addon.empty(), "only a checked add-on is refused");
        return;
    }
    Check(symbol.type == options.type &&
              symbol.ratio == (options.type == Type::ITF_14 ? options.itfRatio : options.ratio),
          "options applied");
    TBarcodeParams params;
    params.SetCodeAddon(
        CheckedAddon(symbol.addon, static_cast<btCodeTypes>(symbol.type), symbol.repair));
    const std::size_t addon = std::string_view(params.CodeAddon).size();
    Check(addon == 0 || addon == 2 || addon == 5, "the add-on normalised");
    if (!options.repair && !options.addon.empty())
        Check(std::string_view(params.CodeAddon) == options.addon, "a checked add-on is kept");
}

// What a text check raised: 0 nothing, 1 a refusal of the text, 2 a bad escape, 3 anything
// else; and its message.
struct TOutcome {
    int kind = 0;
    std::string message;
    bool operator==(const TOutcome&) const = default;
};
template <class TCall> TOutcome OutcomeOf(TCall&& call) {
    try {
        call();
    } catch (const EscapeSequenceError& e) {
        return {2, e.what()};
    } catch (const TextError& e) {
        return {1, e.what()};
    } catch (const EEscape& e) { // the engine's (ENulInText is one)
        return {dynamic_cast<const ENulInText*>(&e) != nullptr ? 1 : 2, e.what()};
    } catch (const ETextRefused& e) {
        return {1, e.what()};
    } catch (const EOverflow& e) { // a text too long: the API refuses it as a text
        return {1, e.what()};
    } catch (const std::exception& e) {
        return {3, e.what()};
    }
    return {};
}

// The engine's text of one text with --repair (every type) or checked (type); the API's
// CheckText of the same symbol refuses it exactly when the engine does, as the same kind.
std::string Engine(std::string_view text, bool escapes, bool repair,
                   btCodeTypes type = btCodeTypes::CODE128_B) {
    Symbol symbol;
    symbol.type = static_cast<Type>(type);
    symbol.text = text;
    symbol.escapes = escapes;
    symbol.repair = repair;
    std::string engine;
    const TOutcome outcome = OutcomeOf([&] {
        engine = CheckedText(text, type, {escapes, repair});
    });
    Check(OutcomeOf([&] { CheckText(symbol); }) == outcome, "CheckText refuses as the engine");
    if (outcome.kind != 0) return CheckedText(text, type, {escapes, repair}); // raises again
    return engine;
}

// Whether the text check refused a text as too long for the caption (EOverflow with the
// caption's message, only above kMaxTextBytes); anything else it raises passes through.
template <class Convert> bool RefusedAsTooLong(std::string_view text, Convert convert) {
    try {
        convert();
    } catch (const EOverflow& e) {
        Check(std::string_view(e.what()) == kCaptionTooLong, "too long: the caption's message");
        Check(text.size() > kMaxTextBytes, "only a text too long for the caption is refused so");
        return true;
    }
    Check(text.size() <= kMaxTextBytes, "a text too long for the caption is refused");
    return false;
}

// The text check of one text: with --repair, never fails without escapes, and gives one byte
// per character (so never more bytes than the UTF-8 text has). Checked, it either refuses
// the text or gives exactly what --repair gives: a check refuses, it never changes. GS1-128
// alone gives its element string for the AIs in brackets, never longer than the text.
void CheckEngineText(std::string_view text, btCodeTypes type) {
    if (text.size() > kMaxTextBytes) {
        for (const bool escapes : {false, true})
            for (const bool repair : {false, true})
                RefusedAsTooLong(text, [&] { Engine(text, escapes, repair, type); });
        return;
    }
    const std::string plain = Engine(text, false, true);
    try {
        const std::string checked = Engine(text, false, false, type);
        if (type == btCodeTypes::GS1_128)
            Check(checked.size() <= text.size(), "an element string is shorter than its text");
        else
            Check(checked == plain, "a checked text is not changed");
    } catch (const ETextRefused& e) {
        Check(*e.what() != '\0', "a refusal says why");
    } catch (const ENulInText&) {
        Check(plain.find('\0') != std::string::npos, "only a NUL byte is refused as one");
    }
    Check(plain.size() <= text.size(), "one byte per character");
    Check(plain == Utf8ToWindows1252(text), "without escapes the text is only converted");
    bool ascii = true;
    for (const char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) Check(plain == text, "ASCII stays as it is");
    try {
        const std::string escaped = Engine(text, true, true);
        Check(escaped.size() <= plain.size(), "escapes only shorten the text");
        if (plain.find('\\') == std::string::npos)
            Check(escaped == plain, "a text without backslashes has no escapes");
    } catch (const ENulInText&) {
        Check(plain.find("\\x00") != std::string::npos, "only \\x00 can give a NUL byte");
    } catch (const EEscape& e) {
        Check(plain.find('\\') != std::string::npos, "only a backslash can be a bad escape");
        Check(std::string_view(e.what()).starts_with("bad escape '"), "the escape is named");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        Check(false, "the text check raises only EEscape");
    }
}

// Any 8-bit text can be written with escapes, and survives UTF-8.
void CheckRoundTrips(std::string_view bytes) {
    static constexpr char kLower[] = "0123456789abcdef", kUpper[] = "0123456789ABCDEF";
    std::string written;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == '\\')
            written += "\\\\";
        else if (c >= 0x20 && c < 0x7F && i % 2 == 0)
            written += static_cast<char>(c);
        else {
            const char* hex = i % 3 == 0 ? kUpper : kLower; // either case
            written += {'\\', 'x', hex[c >> 4], hex[c & 15]};
        }
    }
    const bool nul = bytes.find('\0') != std::string_view::npos;
    try {
        std::string engine;
        if (RefusedAsTooLong(written, [&] { engine = Engine(written, true, true); })) {
            Check(bytes.size() > std::size_t{TBarcodeParams::kMaxCaption},
                  "a text refused as too long holds more than the caption");
        } else {
            Check(engine == bytes, "\\xNN and \\\\ give every byte");
            Check(!nul, "a NUL byte is refused, not cut at");
        }
    } catch (const ENulInText&) {
        Check(nul, "only a NUL byte is refused");
    }
    Check(Utf8ToWindows1252(Windows1252ToUtf8(bytes)) == bytes, "Windows-1252 survives UTF-8");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> args;
    for (std::size_t pos = 0; pos <= input.size();) {
        const std::size_t zero = std::min(input.find('\0', pos), input.size());
        args.push_back(input.substr(pos, zero - pos));
        pos = zero + 1;
    }
    if (size == 0) args.clear();

    const TParsed shared = Parse(args, false);
    CheckParsed(shared, args);
    const TParsed own = Parse(args, true);
    CheckParsed(own, args);
    // Without options of its own a command accepts no more than with them, and the same way.
    if (shared.ok) {
        Check(own.ok, "a command's own options take nothing away");
        Check(own.options.type == shared.options.type && own.options.text == shared.options.text &&
                  own.options.help == shared.options.help,
              "the same options either way");
    }

    // Each argument checked as the type its length picks (every type in turn).
    for (const std::string_view arg : args)
        CheckEngineText(arg, static_cast<btCodeTypes>(arg.size() % kCodeTypeCount));
    CheckRoundTrips(input);
    return 0;
}
