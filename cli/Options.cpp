#include "cli/Options.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>

namespace varimark::cli {

namespace {
constexpr std::string_view kProgramName = "varimark-cli: ";
} // namespace

std::string Named(std::string_view message) {
    std::string line(kProgramName);
    return line.append(message);
}

void PrintNamed(std::string_view message) {
    std::fprintf(stderr, "%.*s%.*s\n", static_cast<int>(kProgramName.size()), kProgramName.data(),
                 static_cast<int>(message.size()), message.data());
}

std::string Quoted(std::string_view s) {
    return "'" + std::string(s) + "'";
}

long long ParseWholeNumber(std::string_view name, std::string_view value) {
    long long result = 0;
    const char* const end = value.data() + value.size();
    const auto [stop, error] = std::from_chars(value.data(), end, result);
    if (value.empty() || stop != end ||
        (error != std::errc() && error != std::errc::result_out_of_range))
        throw EUsage("option " + Quoted(name) + " needs a whole number, not " + Quoted(value));
    if (error == std::errc::result_out_of_range)
        return value.front() == '-' ? LLONG_MIN : LLONG_MAX;
    return result;
}

double ParseDecimal(std::string_view name, std::string_view value) {
    double result = 0;
    const char* const end = value.data() + value.size();
    const auto [stop, error] = std::from_chars(value.data(), end, result);
    if (value.empty() || stop != end || error != std::errc() || !std::isfinite(result))
        throw EUsage("option " + Quoted(name) + " needs a number, not " + Quoted(value));
    return result;
}

std::string_view TOptionParser::Value() {
    if (inlineValue_) {
        valueTaken_ = true;
        return *inlineValue_;
    }
    if (next_ >= args_.size()) throw EUsage("option " + Quoted(name_) + " needs a value");
    return args_[next_++];
}

bool TOptionParser::ParseSharedOption(std::string_view name, TSymbolOptions& options) {
    if (name == "--type") {
        const std::string_view value = Value();
        const auto type = TypeFromName(value);
        if (!type) throw EUsage("unknown type " + Quoted(value));
        options.type = *type;
    } else if (name == "--ratio") {
        // A number at once, as every option's value; its range once the type is known.
        ratioGiven_ = std::string(Value());
        try {
            ParseDecimal(name, *ratioGiven_);
        } catch (const EUsage&) {
            throw EUsage("bad ratio " + Quoted(*ratioGiven_) + " (3 or 2)");
        }
    } else if (name == "--bearer") {
        const std::string_view value = Value();
        const auto bearer = BearerFromName(value);
        if (!bearer) throw EUsage("unknown bearer " + Quoted(value) + " (frame or top-bottom)");
        options.bearer = *bearer;
    } else if (name == "--addon") {
        options.addon = Value();
    } else if (name == "--esc") {
        options.escapes = true;
    } else if (name == "--repair") {
        options.repair = true;
    } else if (name == "--batch") {
        options.batchFile = std::string(Value());
    } else if (name == "--help" || name == "-h") {
        options.help = true;
    } else {
        return false;
    }
    return true;
}

TSymbolOptions TOptionParser::Parse(const TExtraOption& extra) {
    TSymbolOptions options;
    bool optionsEnded = false;
    while (next_ < args_.size()) {
        const std::string_view arg = args_[next_++];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            name_ = arg;
            inlineValue_.reset();
            valueTaken_ = false;
            if (arg.starts_with("--")) {
                const std::size_t eq = arg.find('=');
                if (eq != std::string_view::npos) {
                    name_ = arg.substr(0, eq);
                    inlineValue_ = arg.substr(eq + 1);
                }
            }
            const bool known = (extra && extra(name_, *this)) || ParseSharedOption(name_, options);
            if (!known) throw EUsage("unknown option " + Quoted(name_));
            if (inlineValue_ && !valueTaken_)
                throw EUsage("option " + Quoted(name_) + " takes no value");
            if (options.help) return options;
            continue;
        }
        if (options.text) throw EUsage("unexpected argument " + Quoted(arg));
        options.text = std::string(arg);
    }
    if (options.text && options.batchFile)
        throw EUsage("TEXT cannot be given together with --batch");
    if (!options.text && !options.batchFile) throw EUsage(missingOperand_);
    if (ratioGiven_ && !ParseRatioValue(options))
        throw ERange(Named("bad ratio " + Quoted(*ratioGiven_) + " " + RatioChoices(options.type)));
    return options;
}

// --ratio for the type given (the last --type wins wherever it stands): 3 or 2 as a whole
// number; ITF_14 a decimal number too. A whole 3 sets ITF-14's ratio as well, for batch
// lines of that type. False for a number out of range; EUsage for what is no number.
bool TOptionParser::ParseRatioValue(TSymbolOptions& options) {
    const std::string_view value = *ratioGiven_;
    const std::optional<long long> whole = [&]() -> std::optional<long long> {
        try {
            return ParseWholeNumber("--ratio", value);
        } catch (const EUsage&) {
            return std::nullopt;
        }
    }();
    double number = 0;
    try {
        number = whole ? static_cast<double>(*whole) : ParseDecimal("--ratio", value);
    } catch (const EUsage&) {
        throw EUsage("bad ratio " + Quoted(value) + " (3 or 2)");
    }
    if (options.type == Type::ITF_14) {
        if (number == 0 || !RatioFits(Type::ITF_14, number)) return false;
        options.itfRatio = number;
        return true;
    }
    if (!whole) throw EUsage("bad ratio " + Quoted(value) + " (3 or 2)");
    if (*whole != 3 && *whole != 2) return false;
    options.ratio = static_cast<double>(*whole);
    if (*whole == 3) options.itfRatio = 3;
    return true;
}

Symbol SymbolOf(const TSymbolOptions& options, Type type, std::string_view text,
                const Symbol& look) {
    Symbol symbol = look;
    symbol.type = type;
    symbol.ratio = type == Type::ITF_14 ? options.itfRatio : options.ratio;
    symbol.bearer = options.bearer;
    if (type == options.type || TakesAddon(type)) symbol.addon = options.addon;
    symbol.escapes = options.escapes;
    symbol.repair = options.repair;
    symbol.text = text;
    return symbol;
}

} // namespace varimark::cli
