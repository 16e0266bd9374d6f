// varimark-cli: the command-line front end of the barcode engine.
#include "cli/EncodeCommand.h"
#include "cli/Options.h"
#include "cli/RenderCommand.h"
#include "cli/StandardOutput.h"
#include "cli/Usage.h"
#include "cli/VerifyCommand.h"
#include "varimark/varimark.h"

#include <unistd.h>

#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <vector>

using namespace varimark::cli;

namespace {

int Dispatch(const std::vector<std::string_view>& args) {
    if (args.empty()) throw EUsage("missing command");
    const std::string_view command = args.front();
    if (command == "help" || command == "--help" || command == "-h") {
        PrintUsage(stdout);
        return kExitOk;
    }
    if (command == "--version") {
        WriteStandardOutput(std::string("varimark-cli ") + varimark::Version() + "\n");
        return kExitOk;
    }
    if (command == "encode") return RunEncodeCommand({args.begin() + 1, args.end()});
    if (command == "render") return RunRenderCommand({args.begin() + 1, args.end()});
    if (command == "verify") return RunVerifyCommand({args.begin() + 1, args.end()});
    throw EUsage("unknown command '" + std::string(command) + "'");
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
    } catch (const EUsage& e) {
        PrintNamed(e.what());
        PrintShortUsage(stderr);
        return kExitUsage;
    } catch (const ERange& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return kExitRefused;
    } catch (const std::bad_alloc&) {
        PrintNamed(EOutOfMemory(Doing(args)).what());
        return kExitRefused;
    } catch (const std::exception& e) {
        PrintNamed(e.what());
        return kExitRefused;
    }
}

} // namespace

// The runtime ends the program through here when memory is so short that not even the
// exception telling it can be made (then no exception is active), or when memory runs out
// where nothing may throw: that is exit 1 with the message, as any other time memory runs
// out. Anything else ends as it would have.
[[noreturn]] void EndWhenOutOfMemory() noexcept {
    bool outOfMemory = std::current_exception() == nullptr;
    if (!outOfMemory) {
        try {
            throw; // the active exception itself: a copy (rethrow_exception) needs memory
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
        } catch (...) {
        }
    }
    if (!outOfMemory) std::abort();
    static const char kMessage[] = "varimark-cli: Out of memory while running the command\n";
    (void)!::write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
    ::_exit(kExitRefused);
}

int main(int argc, char** argv) {
    std::set_terminate(EndWhenOutOfMemory);
    std::vector<std::string_view> args;
    try {
        args.assign(argv + 1, argv + argc);
    } catch (const std::bad_alloc&) {
        PrintNamed("Out of memory while reading the command line");
        return kExitRefused;
    }
    return FinishStandardOutput(Run(args));
}
