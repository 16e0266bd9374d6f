#pragma once
// The usage texts of varimark-cli.
#include <cstdio>

namespace varimark::cli {

// The overview: every command with its synopsis.
void PrintUsage(std::FILE* stream);
// The full help of one command, with examples.
void PrintEncodeUsage(std::FILE* stream);
void PrintRenderUsage(std::FILE* stream);
void PrintVerifyUsage(std::FILE* stream);
// The synopses and a pointer to --help, printed after a usage error.
void PrintShortUsage(std::FILE* stream);

} // namespace varimark::cli
