#pragma once
// The usage texts of varimark-cli.
#include <cstdio>

namespace varimark::cli {

// The full help: commands, options and examples.
void PrintUsage(std::FILE* stream);
// The synopsis and a pointer to --help, printed after a usage error.
void PrintShortUsage(std::FILE* stream);

} // namespace varimark::cli
