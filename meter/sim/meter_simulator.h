// A stand-in for the meter on a serial line: answers each request with a
// reply built from a simulated load, with optional wire pacing and faults.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "meter/protocol.h"
#include "meter/serial_port.h"
#include "meter/sim/sim_load.h"

namespace zx840 {

enum class FaultMode {
    None,        // a good reply
    NoAnswer,    // stay silent
    ShortReply,  // only the first 1051 bytes
    WrongMark,   // a full reply whose first byte is not 0xEE
    Stall,       // part of the reply, a pause longer than the read interval, then the rest
    Garbage,     // random bytes of random length, never starting with 0xEE
    Mismatched,  // a good reply: the readings of the load, the waveforms of another
};

struct FaultPlan {
    FaultMode mode = FaultMode::None;
    int afterGood = 0;  // good replies before the fault starts
    int count = -1;     // faulty answers, then good ones again; -1 for ever
};

struct SimulatorOptions {
    LoadSettings load;
    FaultPlan fault;
    bool paced = false;  // send at the speed the request names, 10 bits a byte
    std::chrono::milliseconds stall{6000};
    std::int32_t lineBaud = 9600;  // speed set on a real serial device served by path
    std::uint32_t seed = 840;      // for the garbage fault
};

class MeterSimulator {
  public:
    // A new pseudo-terminal; DevicePath() is the name a client opens.
    static std::unique_ptr<MeterSimulator> CreatePty(const SimulatorOptions& options,
                                                     std::string* error);
    // An existing device, for example one end of a null-modem cable.
    static std::unique_ptr<MeterSimulator> OpenDevice(const std::string& path,
                                                      const SimulatorOptions& options,
                                                      std::string* error);
    ~MeterSimulator();
    MeterSimulator(const MeterSimulator&) = delete;
    MeterSimulator& operator=(const MeterSimulator&) = delete;

    const std::string& DevicePath() const { return devicePath_; }

    // Serves requests on a background thread until Stop() or destruction.
    void Start();
    void Stop();

    // Serves on the calling thread until Stop() is called from elsewhere
    // (a signal handler may call RequestStop()).
    void Serve();
    // Async-signal-safe: asks Serve() to return.
    void RequestStop();

    void SetLoad(const LoadSettings& load);
    void SetFault(const FaultPlan& fault);

    // Every request received so far, in order, also those not answered.
    std::vector<Request> Requests() const;
    // Good replies sent in full so far. A reply counts once its last byte is
    // on the line, which can be a moment after the client has read it: wait
    // with WaitForAnswers() before looking.
    int RepliesSent() const { return repliesSent_.load(); }
    // Waits until `count` requests have arrived or `timeout` passes.
    bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
    // Waits until the simulator has finished answering `count` requests (a
    // good reply, a fault or silence, including any stall) or `timeout`
    // passes. RepliesSent() is final for those requests afterwards.
    bool WaitForAnswers(std::size_t count, std::chrono::milliseconds timeout) const;

  private:
    // What the simulator answers on: a pseudo-terminal of its own, or a
    // device that others made.
    enum class Line { OwnPseudoTerminal, Device };
    MeterSimulator(int ioFd, Line line, std::string devicePath, const SimulatorOptions& options);
    bool MakeWakePipe(std::string* error);
    void ServeLoop();
    bool ClientGone() const;
    void WaitForClient();

    // Answers the whole requests at the front of `pending`, which keeps
    // what is left of a request still arriving.
    void HandleRequests(std::vector<std::uint8_t>& pending);
    void HandleRequest(const Request& request);
    void SendAnswer(const Request& request, FaultMode mode, const std::vector<std::uint8_t>& answer,
                    bool paced, std::chrono::milliseconds stall);
    bool SendBytes(const std::uint8_t* data, std::size_t size, std::int32_t baud);
    bool Pause(std::chrono::steady_clock::duration duration);  // false when stopping
    std::vector<std::uint8_t> BuildAnswer(FaultMode mode);

    SerialPort device_;  // a served device, when not a pseudo-terminal
    int ioFd_;           // the side we read requests from and write replies to
    bool pty_;           // a pseudo-terminal of our own, whose client comes and goes
    int watchFd_ = -1;   // inotify on the pseudo-terminal: tells when a client opens or closes it
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::string devicePath_;

    mutable std::mutex mutex_;
    mutable std::condition_variable requestArrived_;
    mutable std::condition_variable answerDone_;
    SimulatorOptions options_;  // guarded by mutex_
    int goodSinceFaultPlan_ = 0;
    int faultsSent_ = 0;
    std::vector<Request> requests_;
    std::size_t answersDone_ = 0;
    std::mt19937 random_;
    Reply goodReply_{};        // built from the load when it is set
    Reply mismatchedReply_{};  // and the readings of it with another load's waveforms

    std::atomic<int> repliesSent_{0};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

FaultMode ParseFaultMode(const std::string& text, bool* ok);
const char* FaultModeName(FaultMode mode);

}  // namespace zx840
