#include "tools/interrupt.h"

#include <signal.h>

#include <atomic>
#include <utility>

namespace zx840 {
namespace {

// Shared with the signal handler, which may only touch lock-free atomics.
std::atomic<int> g_signals{0};
static_assert(std::atomic<int>::is_always_lock_free);

struct sigaction g_previousInt {};
struct sigaction g_previousTerm {};

void OnSignal(int number) {
    if (g_signals.fetch_add(1) > 0) {
        // The second signal: the default action, which ends the program.
        ::signal(number, SIG_DFL);
        ::raise(number);
    }
}

}  // namespace

InterruptScope::InterruptScope() {
    g_signals.store(0);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // Writes to a terminal or pipe carry on after the handler; poll() and
    // nanosleep() return early all the same (they never restart), so the
    // serial read goes on waiting and the pause after a failure ends.
    action.sa_flags = SA_RESTART;
    // A signal the program was started to ignore (nohup, a background job)
    // stays ignored.
    for (auto [number, previous] :
         {std::pair{SIGINT, &g_previousInt}, {SIGTERM, &g_previousTerm}}) {
        sigaction(number, &action, previous);
        if (previous->sa_handler == SIG_IGN) {
            sigaction(number, previous, nullptr);
        }
    }
}

InterruptScope::~InterruptScope() {
    sigaction(SIGINT, &g_previousInt, nullptr);
    sigaction(SIGTERM, &g_previousTerm, nullptr);
}

bool InterruptScope::Requested() const {
    return g_signals.load() > 0;
}

}  // namespace zx840
