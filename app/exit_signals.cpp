#include "app/exit_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace zx840 {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The write end the handler uses. A signal handler can reach nothing else,
// so this is the one piece of process-wide state; -1 while nobody listens.
volatile sig_atomic_t handlerFd = -1;

void OnSignal(int number) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(number);
    // Non-blocking: when the pair is full, the signals already waiting
    // there end the program just as well.
    [[maybe_unused]] const ssize_t written = ::write(handlerFd, &byte, 1);
    errno = saved;
}

void SetHandlers(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : kSignals) {
        ::sigaction(number, &action, nullptr);
    }
}

}  // namespace

ExitSignals::ExitSignals(QObject* parent) : QObject(parent) {
    if (handlerFd != -1) {
        return;
    }
    int ends[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, ends) != 0) {
        return;
    }
    readEnd_ = ends[0];
    writeEnd_ = ends[1];
    notifier_ = new QSocketNotifier(readEnd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ExitSignals::OnReadable);
    handlerFd = writeEnd_;
    SetHandlers(OnSignal);
}

ExitSignals::~ExitSignals() {
    if (notifier_ == nullptr) {
        return;
    }
    SetHandlers(SIG_DFL);
    handlerFd = -1;
    delete notifier_;  // before the descriptor it watches is closed
    ::close(readEnd_);
    ::close(writeEnd_);
}

void ExitSignals::OnReadable() {
    unsigned char byte = 0;
    while (::read(readEnd_, &byte, 1) == 1) {
        emit exitRequested(byte);
    }
}

}  // namespace zx840
