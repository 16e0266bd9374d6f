// varimark-cli: the command-line front end of the barcode engine.
#include "cli/EncodeCommand.h"
#include "cli/Options.h"
#include "cli/RenderCommand.h"
#include "cli/StandardOutput.h"
#include "cli/Usage.h"
#include "cli/VerifyCommand.h"
#include "varimark/varimark.h"

#include <pthread.h>
#include <signal.h>
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
    if (args.empty()) throw UsageError("missing command");
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
        PrintNamed(e.what());
        PrintShortUsage(stderr);
        return kExitUsage;
    } catch (const RangeError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return kExitRefused;
    } catch (const std::bad_alloc&) {
        PrintNamed(OutOfMemory(Doing(args)).what());
        return kExitRefused;
    } catch (const std::exception& e) {
        PrintNamed(e.what());
        return kExitRefused;
    }
}

// The thread that takes the signals of the set: at the first, ends the process by it.
void* EndOnSignal(void* set) {
    int number = 0;
    while (::sigwait(static_cast<const sigset_t*>(set), &number) != 0) {
    }
    varimark::RemoveHiddenNamesForExit();
    ::signal(number, SIG_DFL);
    ::raise(number); // pending in this thread until unblocked
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, number);
    ::pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    ::_exit(128 + number); // not reached
}

// SIGHUP, SIGINT and SIGTERM end the program as always, but first the hidden names of the
// saves in progress are removed. They are blocked here, before any other thread starts, so
// that every thread inherits the mask, and taken by one thread of their own, which removes
// the names, then raises the signal again with its default action: the exit status still
// tells the signal. A signal ignored when the program starts stays ignored (nohup). Without
// a thread to spare, the signals are left as they were.
void TakeEndingSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int number : {SIGHUP, SIGINT, SIGTERM}) {
        struct sigaction current {};
        if (::sigaction(number, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
            sigaddset(&set, number);
    }
    sigset_t old;
    if (sigisemptyset(&set) || ::pthread_sigmask(SIG_BLOCK, &set, &old) != 0) return;
    static sigset_t taken;
    taken = set;
    // A small stack: the thread only waits, removes names and ends the process.
    pthread_attr_t attributes;
    pthread_t thread;
    const bool started = ::pthread_attr_init(&attributes) == 0 &&
                         ::pthread_attr_setstacksize(&attributes, 64 * 1024) == 0 &&
                         ::pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED) == 0 &&
                         ::pthread_create(&thread, &attributes, EndOnSignal, &taken) == 0;
    ::pthread_attr_destroy(&attributes);
    if (!started) ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
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
    TakeEndingSignals();
    std::vector<std::string_view> args;
    try {
        args.assign(argv + 1, argv + argc);
    } catch (const std::bad_alloc&) {
        PrintNamed("Out of memory while reading the command line");
        return kExitRefused;
    }
    return FinishStandardOutput(Run(args));
}
