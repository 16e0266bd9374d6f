#include "cli/EndingSignals.h"

#include "varimark/varimark.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace varimark::cli {
namespace {

// The ending signals the program was not started ignoring.
sigset_t EndingSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int number : {SIGHUP, SIGINT, SIGTERM}) {
        struct sigaction current {};
        if (::sigaction(number, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
            sigaddset(&set, number);
    }
    return set;
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

} // namespace

void TakeEndingSignals() {
    const sigset_t set = EndingSignals();
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

TEndingSignalsHeld::TEndingSignalsHeld() {
    const sigset_t set = EndingSignals();
    held_ = !sigisemptyset(&set) && ::pthread_sigmask(SIG_BLOCK, &set, &old_) == 0;
}

TEndingSignalsHeld::~TEndingSignalsHeld() {
    if (held_) ::pthread_sigmask(SIG_SETMASK, &old_, nullptr); // one that came ends it here
}

} // namespace varimark::cli
