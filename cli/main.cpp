// varimark-cli: the command-line front end of the barcode engine.
#include "EncodeCommand.h"
#include "Options.h"
#include "RenderCommand.h"
#include "Usage.h"

#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

using namespace varimark::cli;

namespace {

int Dispatch(const std::vector<std::string_view>& args) {
    if (args.empty()) throw UsageError("missing command");
    const std::string_view command = args.front();
    if (command == "help" || command == "--help" || command == "-h") {
        PrintUsage(stdout);
        return std::fflush(stdout) == 0 ? kExitOk : kExitRefused;
    }
    if (command == "encode") return RunEncodeCommand({args.begin() + 1, args.end()});
    if (command == "render") return RunRenderCommand({args.begin() + 1, args.end()});
    throw UsageError("unknown command '" + std::string(command) + "'");
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    try {
        return Dispatch(args);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "varimark-cli: %s\n", e.what());
        PrintShortUsage(stderr);
        return kExitUsage;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "varimark-cli: %s\n", e.what());
        return kExitRefused;
    }
}
