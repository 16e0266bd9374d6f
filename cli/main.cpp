// varimark-cli: the command-line front end of the barcode engine.
#include "cli/EncodeCommand.h"
#include "cli/Options.h"
#include "cli/RenderCommand.h"
#include "cli/StandardOutput.h"
#include "cli/Usage.h"
#include "cli/VerifyCommand.h"

#include <cstdio>
#include <exception>
#include <new>
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
        return kExitOk;
    }
    if (command == "encode") return RunEncodeCommand({args.begin() + 1, args.end()});
    if (command == "render") return RunRenderCommand({args.begin() + 1, args.end()});
    if (command == "verify") return RunVerifyCommand({args.begin() + 1, args.end()});
    throw UsageError("unknown command '" + std::string(command) + "'");
}

// What the command was doing, for memory that ran out where no stage says more.
std::string Doing(const std::vector<std::string_view>& args) {
    if (!args.empty() && args.front() == "render") return "drawing the picture";
    if (!args.empty() && args.front() == "encode") return "encoding the text";
    if (!args.empty() && args.front() == "verify") return "grading the picture";
    return "reading the command line";
}

int Run(const std::vector<std::string_view>& args) {
    try {
        return Dispatch(args);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "varimark-cli: %s\n", e.what());
        PrintShortUsage(stderr);
        return kExitUsage;
    } catch (const RangeError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return kExitRefused;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "varimark-cli: %s\n", OutOfMemory(Doing(args)).what());
        return kExitRefused;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "varimark-cli: %s\n", e.what());
        return kExitRefused;
    }
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    return FinishStandardOutput(Run(args));
}
