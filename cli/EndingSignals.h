#pragma once
// SIGHUP, SIGINT and SIGTERM while a file is being saved: the hidden names of the saves in
// progress are removed before the program ends by the signal, its exit status telling it.
#include <signal.h>

namespace varimark::cli {

// For a run of many files on several threads (the batch): the signals are taken by a thread
// of their own for the rest of the run, which removes the names, then raises the signal again
// with its default action. Called before any other thread starts, so that every thread
// inherits the mask. A signal ignored when the program starts stays ignored (nohup). Without
// a thread to spare, the signals are left as they were.
void TakeEndingSignals();

// For one save: the signals wait while it lasts (a save never blocks on a FIFO, so briefly),
// and one that came ends the program when the file is whole or gone. A command that saves
// nothing needs neither, and starts no thread.
class TEndingSignalsHeld {
public:
    TEndingSignalsHeld();
    ~TEndingSignalsHeld();
    TEndingSignalsHeld(const TEndingSignalsHeld&) = delete;
    TEndingSignalsHeld& operator=(const TEndingSignalsHeld&) = delete;

private:
    sigset_t old_{}; // the mask before
    bool held_ = false;
};

} // namespace varimark::cli
