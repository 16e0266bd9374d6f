#pragma once
// Command-line options shared by the commands of varimark-cli that build a symbol.
#include "varimark/varimark.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace varimark::cli {

// Exit statuses of the program.
inline constexpr int kExitOk = 0;
inline constexpr int kExitRefused = 1; // a text or value refused, a file not read or written
inline constexpr int kExitUsage = 2;   // the command line is malformed

// A command line the program cannot act on. The message is one line without the program
// name; main adds the name and the short usage text.
class EUsage : public varimark::Error {
public:
    using varimark::Error::Error;
};

// The program's own messages on standard error start with its name, given here once:
// Named("--dpi must be at least 1") is "varimark-cli: --dpi must be at least 1". PrintNamed
// writes one such line on standard error without allocating (memory may have run out).
std::string Named(std::string_view message);
void PrintNamed(std::string_view message);

// A value the command line gives well but that is refused: a number out of its option's
// range. The message is the whole line to print (the control's own message for the look,
// Named(...) for the program's options).
class ERange : public varimark::Error {
public:
    using varimark::Error::Error;
};

// Memory ran out; the message says what was being done ("Out of memory while drawing
// the picture"). Nothing else is told to the user about it.
class EOutOfMemory : public varimark::Error {
public:
    explicit EOutOfMemory(std::string_view doing)
        : varimark::Error("Out of memory while " + std::string(doing)) {}
};

// The whole number of an option's value: EUsage when it is not one. A number too
// large for any range comes back as the largest (or, negative, the smallest) long long,
// so that it is refused by the range check and never narrowed into one.
long long ParseWholeNumber(std::string_view name, std::string_view value);
// A decimal number for option name ("0.5", "600"); throws EUsage for anything else,
// infinities and NaN included.
double ParseDecimal(std::string_view name, std::string_view value);
// 's' as messages quote what was given.
std::string Quoted(std::string_view s);

// The options of a command that encodes text.
struct TSymbolOptions {
    Type type = Type::CODE128_B;
    double ratio = 3;                     // --ratio 3 or 2 (the types but ITF_14)
    double itfRatio = 2.5;                // ITF_14's ratio: --ratio 2.25 .. 3
    Bearer bearer = Bearer::Frame;        // --bearer: ITF_14's bearer bars
    std::string addon;                    // as given (UTF-8)
    bool escapes = false;                 // --esc: \xNN and \\ in the text
    bool repair = false;                  // --repair: the engine's repairs, not refusals
    std::optional<std::string> batchFile; // --batch: a file name, "-" for standard input
    std::optional<std::string> text;      // the TEXT operand (UTF-8)
    bool help = false;                    // -h/--help: print the usage and do nothing else
};

// Parses the arguments of one command (those after the command name). Options come before,
// between or after the operand; "--" ends them. A value is given as "--name value" or
// "--name=value".
class TOptionParser {
public:
    // A command's own options: called with the option's name ("--output") before the shared
    // options are tried; takes its value with parser.Value() and returns true when it knows
    // the option.
    using TExtraOption = std::function<bool(std::string_view name, TOptionParser& parser)>;

    // missingOperand: the message when the operand is missing.
    explicit TOptionParser(std::vector<std::string_view> args,
                           std::string missingOperand = "missing TEXT (or --batch FILE)")
        : args_(std::move(args)), missingOperand_(std::move(missingOperand)) {}

    // Throws EUsage for an unknown option, type or bearer, a ratio that is not a number
    // (not a whole number but for ITF_14), a missing value, a second operand, a missing
    // text, or a text together with --batch; then, the command line being well formed,
    // ERange for a ratio other than 3 or 2 (ITF_14: 2.25, 2.5, 2.75 or 3).
    TSymbolOptions Parse(const TExtraOption& extra = {});

    // The value of the option being parsed; throws EUsage when there is none.
    std::string_view Value();

private:
    bool ParseSharedOption(std::string_view name, TSymbolOptions& options);

    std::vector<std::string_view> args_;
    std::string missingOperand_;
    std::size_t next_ = 0;
    std::string_view name_;
    std::optional<std::string_view> inlineValue_;
    bool valueTaken_ = false;
    bool ParseRatioValue(TSymbolOptions& options);

    std::optional<std::string> ratioGiven_; // as given
};

// The symbol of the options for a text of the type: the type, its ratio, the bearer bars,
// the add-on, --esc and --repair, with look the look (fonts, sizes) and text the text. A
// type without add-ons takes none of --addon (another type's, in a batch).
Symbol SymbolOf(const TSymbolOptions& options, Type type, std::string_view text,
                const Symbol& look = {});

} // namespace varimark::cli
