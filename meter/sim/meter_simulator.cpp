#include "meter/sim/meter_simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace zx840 {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kStallSplit = 512;  // bytes sent before a stall
constexpr std::uint8_t kWrongMark = 0xED;

std::string ErrnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

Reply ReplyOf(const MeasurementRecord& record) {
    const auto reply = EncodeReply(record);
    return reply ? *reply : Reply{kReplyMark};
}

Reply ReplyFor(const LoadSettings& load) {
    return ReplyOf(SimulateMeasurement(load));
}

}  // namespace

MeterSimulator::MeterSimulator(int ioFd, Line line, std::string devicePath,
                               const SimulatorOptions& options)
    : ioFd_(ioFd),
      pty_(line == Line::OwnPseudoTerminal),
      devicePath_(std::move(devicePath)),
      options_(options),
      random_(options.seed),
      goodReply_(ReplyFor(options.load)),
      mismatchedReply_(ReplyOf(MismatchedMeasurement(options.load))) {}

std::unique_ptr<MeterSimulator> MeterSimulator::CreatePty(const SimulatorOptions& options,
                                                          std::string* error) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0) {
        *error = ErrnoText("posix_openpt");
        return nullptr;
    }
    char name[128] = {};
    if (grantpt(master) != 0 || unlockpt(master) != 0 ||
        ptsname_r(master, name, sizeof name) != 0) {
        *error = ErrnoText("pseudo-terminal set-up");
        ::close(master);
        return nullptr;
    }
    // Raw from the start, so the line never echoes a reply back to us; the
    // setting stays with the pseudo-terminal when this open is closed.
    const int client = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (client < 0) {
        *error = ErrnoText("open pseudo-terminal");
        ::close(master);
        return nullptr;
    }
    termios tio{};
    tcgetattr(client, &tio);
    cfmakeraw(&tio);
    tcsetattr(client, TCSANOW, &tio);
    ::close(client);

    std::unique_ptr<MeterSimulator> sim(
        new MeterSimulator(master, Line::OwnPseudoTerminal, name, options));
    if (!sim->MakeWakePipe(error)) {
        return nullptr;
    }
    sim->watchFd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (sim->watchFd_ < 0 ||
        inotify_add_watch(sim->watchFd_, name, IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        *error = ErrnoText("inotify");
        return nullptr;
    }
    return sim;
}

std::unique_ptr<MeterSimulator> MeterSimulator::OpenDevice(const std::string& path,
                                                           const SimulatorOptions& options,
                                                           std::string* error) {
    SerialPort device;
    if (const PortStatus status = device.Open(path); !status) {
        *error = path + ": " + PortErrorText(status.error);
        return nullptr;
    }
    device.SetLine(options.lineBaud);
    const int fd = device.NativeHandle();
    std::unique_ptr<MeterSimulator> sim(new MeterSimulator(fd, Line::Device, path, options));
    sim->device_ = std::move(device);
    if (!sim->MakeWakePipe(error)) {
        return nullptr;
    }
    return sim;
}

bool MeterSimulator::MakeWakePipe(std::string* error) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        *error = ErrnoText("pipe");
        return false;
    }
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
    return true;
}

MeterSimulator::~MeterSimulator() {
    Stop();
    if (!device_.IsOpen() && ioFd_ >= 0) {
        ::close(ioFd_);
    }
    for (const int fd : {watchFd_, wakeRead_, wakeWrite_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void MeterSimulator::Start() {
    if (!thread_.joinable()) {
        stopping_ = false;
        thread_ = std::thread([this] { ServeLoop(); });
    }
}

void MeterSimulator::Stop() {
    RequestStop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void MeterSimulator::Serve() {
    stopping_ = false;
    ServeLoop();
}

void MeterSimulator::RequestStop() {
    stopping_ = true;
    if (wakeWrite_ >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeWrite_, &byte, 1);
    }
}

void MeterSimulator::SetLoad(const LoadSettings& load) {
    const Reply reply = ReplyFor(load);
    const Reply mismatched = ReplyOf(MismatchedMeasurement(load));
    std::lock_guard lock(mutex_);
    options_.load = load;
    goodReply_ = reply;
    mismatchedReply_ = mismatched;
}

void MeterSimulator::SetFault(const FaultPlan& fault) {
    std::lock_guard lock(mutex_);
    options_.fault = fault;
    goodSinceFaultPlan_ = 0;
    faultsSent_ = 0;
}

std::vector<Request> MeterSimulator::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

bool MeterSimulator::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return requestArrived_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

bool MeterSimulator::WaitForAnswers(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return answerDone_.wait_for(lock, timeout, [&] { return answersDone_ >= count; });
}

bool MeterSimulator::ClientGone() const {
    pollfd pfd{ioFd_, 0, 0};
    return pty_ && poll(&pfd, 1, 0) == 1 && (pfd.revents & POLLHUP) != 0;
}

// No client has the pseudo-terminal open: wait for an open (or a stop)
// without spinning on the hang-up the master keeps reporting meanwhile.
void MeterSimulator::WaitForClient() {
    pollfd fds[2] = {{watchFd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    if (poll(fds, 2, -1) > 0 && (fds[0].revents & POLLIN) != 0) {
        alignas(inotify_event) char events[4096];
        while (::read(watchFd_, events, sizeof events) > 0) {
        }
    }
}

void MeterSimulator::ServeLoop() {
    std::vector<std::uint8_t> pending;
    std::uint8_t chunk[256];
    bool connected = !pty_;
    while (!stopping_) {
        // Like a meter on a real port, the simulator never touches the
        // client's side of the line: what it sent and nobody read stays
        // there, and the client discards it before its next request.
        // (Opening that side to flush it raced with the client's own open.)
        if (ClientGone()) {
            if (connected) {
                pending.clear();
                connected = false;
            }
            WaitForClient();
            continue;
        }
        connected = true;
        pollfd fds[3] = {{ioFd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}, {watchFd_, POLLIN, 0}};
        if (poll(fds, watchFd_ >= 0 ? 3 : 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            while (::read(wakeRead_, chunk, sizeof chunk) > 0) {
            }
            continue;  // the loop condition decides
        }
        if ((fds[2].revents & POLLIN) != 0) {
            alignas(inotify_event) char events[4096];
            while (::read(watchFd_, events, sizeof events) > 0) {
            }
        }
        if ((fds[0].revents & POLLIN) == 0) {
            if (!pty_ && (fds[0].revents & (POLLHUP | POLLERR)) != 0) {
                // A served device that hung up: retry without spinning.
                Pause(std::chrono::milliseconds(10));
            }
            continue;
        }
        const ssize_t n = ::read(ioFd_, chunk, sizeof chunk);
        if (n <= 0) {
            continue;
        }
        pending.insert(pending.end(), chunk, chunk + n);
        HandleRequests(pending);
    }
}

void MeterSimulator::HandleRequests(std::vector<std::uint8_t>& pending) {
    // A request is 0x11 and one more byte; anything before a 0x11 is noise.
    while (!pending.empty() && !stopping_) {
        const auto lead = std::find(pending.begin(), pending.end(), kRequestLead);
        pending.erase(pending.begin(), lead);
        if (pending.size() < kRequestSize) {
            break;
        }
        const Request request{pending[0], pending[1]};
        pending.erase(pending.begin(), pending.begin() + kRequestSize);
        HandleRequest(request);
    }
}

void MeterSimulator::HandleRequest(const Request& request) {
    FaultMode mode = FaultMode::None;
    std::vector<std::uint8_t> answer;
    bool paced = false;
    std::chrono::milliseconds stall{};
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        requestArrived_.notify_all();
        const FaultPlan& plan = options_.fault;
        if (plan.mode != FaultMode::None && goodSinceFaultPlan_ >= plan.afterGood &&
            (plan.count < 0 || faultsSent_ < plan.count)) {
            mode = plan.mode;
            ++faultsSent_;
        } else {
            ++goodSinceFaultPlan_;
        }
        answer = BuildAnswer(mode);
        paced = options_.paced;
        stall = options_.stall;
    }
    SendAnswer(request, mode, answer, paced, stall);
    std::lock_guard lock(mutex_);
    ++answersDone_;
    answerDone_.notify_all();
}

void MeterSimulator::SendAnswer(const Request& request, FaultMode mode,
                                const std::vector<std::uint8_t>& answer, bool paced,
                                std::chrono::milliseconds stall) {
    const auto baud = RequestedBaudRate(request);
    if (!baud || mode == FaultMode::NoAnswer) {
        return;
    }
    const std::int32_t pace = paced ? *baud : 0;
    if (mode == FaultMode::Stall) {
        if (!SendBytes(answer.data(), kStallSplit, pace) || !Pause(stall)) {
            return;
        }
        SendBytes(answer.data() + kStallSplit, answer.size() - kStallSplit, pace);
        return;
    }
    if (SendBytes(answer.data(), answer.size(), pace) &&
        (mode == FaultMode::None || mode == FaultMode::Mismatched)) {
        ++repliesSent_;
    }
}

std::vector<std::uint8_t> MeterSimulator::BuildAnswer(FaultMode mode) {
    std::vector<std::uint8_t> answer(goodReply_.begin(), goodReply_.end());
    switch (mode) {
        case FaultMode::None:
        case FaultMode::NoAnswer:
        case FaultMode::Stall:
            break;
        case FaultMode::ShortReply:
            answer.resize(kMinReplySize - 1);
            break;
        case FaultMode::Mismatched:
            answer.assign(mismatchedReply_.begin(), mismatchedReply_.end());
            break;
        case FaultMode::WrongMark:
            answer[0] = kWrongMark;
            break;
        case FaultMode::Garbage: {
            std::uniform_int_distribution<std::size_t> length(1, kReplySize);
            std::uniform_int_distribution<int> byte(0, 255);
            answer.resize(length(random_));
            for (auto& b : answer) {
                b = static_cast<std::uint8_t>(byte(random_));
            }
            if (answer[0] == kReplyMark) {
                answer[0] = kWrongMark;
            }
            break;
        }
    }
    return answer;
}

bool MeterSimulator::SendBytes(const std::uint8_t* data, std::size_t size, std::int32_t baud) {
    // Paced: each byte takes 10 bit times on the wire and becomes readable
    // when its last bit has arrived; sent in slices of about 10 ms.
    const std::size_t slice =
        baud > 0 ? std::max<std::size_t>(1, static_cast<std::size_t>(baud) / 1000) : size;
    const auto start = Clock::now();
    std::size_t sent = 0;
    while (sent < size) {
        const std::size_t end = std::min(size, sent + slice);
        if (baud > 0) {
            const auto due = start + std::chrono::microseconds(static_cast<long long>(end) *
                                                               10'000'000LL / baud);
            if (!Pause(due - Clock::now())) {
                return false;
            }
        }
        while (sent < end) {
            if (ClientGone()) {
                return false;  // the port was closed: the rest falls on deaf ears
            }
            const ssize_t n = ::write(ioFd_, data + sent, end - sent);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return false;
            }
            pollfd fds[2] = {{ioFd_, POLLOUT, 0}, {wakeRead_, POLLIN, 0}};
            poll(fds, 2, 100);
            if (stopping_) {
                return false;
            }
        }
    }
    return true;
}

bool MeterSimulator::Pause(Clock::duration duration) {
    const auto deadline = Clock::now() + duration;
    while (!stopping_) {
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) {
            return true;
        }
        pollfd wake{wakeRead_, POLLIN, 0};
        poll(&wake, 1,
             static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count()));
    }
    return false;
}

FaultMode ParseFaultMode(const std::string& text, bool* ok) {
    *ok = true;
    for (const FaultMode mode :
         {FaultMode::None, FaultMode::NoAnswer, FaultMode::ShortReply, FaultMode::WrongMark,
          FaultMode::Stall, FaultMode::Garbage, FaultMode::Mismatched}) {
        if (text == FaultModeName(mode)) {
            return mode;
        }
    }
    *ok = false;
    return FaultMode::None;
}

const char* FaultModeName(FaultMode mode) {
    switch (mode) {
        case FaultMode::None:
            return "none";
        case FaultMode::NoAnswer:
            return "no-answer";
        case FaultMode::ShortReply:
            return "short";
        case FaultMode::WrongMark:
            return "wrong-mark";
        case FaultMode::Stall:
            return "stall";
        case FaultMode::Garbage:
            return "garbage";
        case FaultMode::Mismatched:
            return "mismatched";
    }
    return "none";
}

}  // namespace zx840
