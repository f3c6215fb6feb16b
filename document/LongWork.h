// Work that may take long: hashing a large file, waiting for the TSA's answer. The document
// hands it to its front end, which runs it where the window keeps answering (the GUI: on a
// worker thread behind a progress dialog with "Storno") or simply in place (the command
// line, the tests). The work itself touches no state of the document: it computes and
// hands its results back; the document takes them on its own thread afterwards.
#pragma once

#include <functional>
#include <string>

class ILongWorkProgress {
public:
    virtual ~ILongWorkProgress() = default;
    // What is being done, and how far: 0 to 100, or -1 while nothing can be counted
    // (waiting for a server). May be called from the thread that runs the work.
    virtual void Report(const std::string& text, int percent) = 0;
};

using LongWork = std::function<void(ILongWorkProgress&)>;

// How the user's "Storno" ends a piece of long work.
enum class LongWorkStop {
    Abort,        // at once: the work's waits and loops end, its result is dropped
    AfterCurrent, // one of a series: the current piece runs to its end, the series stops
                  // (a second "Storno" aborts the current piece too)
};

// How a piece of long work ended.
struct LongWorkOutcome {
    bool completed = true;  // the work ran to its end (its results count)
    bool stopAsked = false; // the user asked to stop
};

// Runs `work` in place; it cannot be stopped. The front ends without a window use it.
inline LongWorkOutcome RunLongWorkInPlace(const LongWork& work) {
    struct Silent : ILongWorkProgress {
        void Report(const std::string&, int) override {}
    } silent;
    work(silent);
    return {};
}
