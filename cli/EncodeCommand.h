#pragma once
// The encode command: text in, one line of JSON per text out.
#include "cli/Options.h"
#include "varimark/varimark.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace varimark::cli {

class TEncodeCommand {
public:
    // Checks the add-on for the type (TextError).
    explicit TEncodeCommand(const TSymbolOptions& options);

    // Encodes one text (UTF-8) and appends its JSON line, "\n" included, to out. Throws
    // Error (TextError, EscapeSequenceError) when the text or the engine refuses it; out is
    // then unchanged.
    void EncodeText(std::string_view text, std::string& out);

    // Encodes options.text and prints its line; a refusal (the engine's message, a text the
    // type cannot carry, a NUL byte in the text) goes to stderr. Throws EUsage for a bad
    // escape. Returns the exit status.
    int RunSingle(const std::string& utf8Text);

    // Encodes every line of the file (or standard input for "-"); a refused line prints
    // {"line":N,"error":"..."} instead, an empty line nothing. Returns the exit status.
    int RunBatch(const std::string& fileName);

private:
    TSymbolOptions options_;
    Symbol symbol_;
};

// Runs "encode" with the arguments after the command name. Throws EUsage.
int RunEncodeCommand(std::vector<std::string_view> args);

} // namespace varimark::cli
