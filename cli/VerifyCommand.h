#pragma once
// The verify command: a picture's barcode graded as a print-quality verifier does.
#include <string_view>
#include <vector>

namespace varimark::cli {

// Runs "verify" with the arguments after the command name: prints the report (a table, or
// JSON with --json) and returns 0 when the symbol grade reaches --min-grade, 1 when it does
// not or nothing decodes. Throws EUsage, ERange, or Error for an unreadable picture.
int RunVerifyCommand(std::vector<std::string_view> args);

} // namespace varimark::cli
