// Ctrl+C (SIGINT) and SIGTERM during a run of the tool: the first one asks
// the run to end after the step in progress, a second one ends the program
// at once as if nothing had been caught.
#pragma once

namespace zx840 {

// Catches both signals while it exists and restores the previous handling
// afterwards. One at a time.
class InterruptScope {
  public:
    InterruptScope();
    ~InterruptScope();
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

    // Whether a signal has arrived since the scope began.
    bool Requested() const;
};

}  // namespace zx840
