// A hand-driven far end of a pseudo-terminal for tests that need replies the
// simulator does not make, or a line that goes away mid-read.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace zx840::testing {

class PtyPeer {
  public:
    PtyPeer() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128] = {};
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0 &&
            ptsname_r(master_, name, sizeof name) == 0) {
            path_ = name;
            // Hold the client side in raw mode so nothing echoes back.
            hold_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            termios tio{};
            tcgetattr(hold_, &tio);
            cfmakeraw(&tio);
            tcsetattr(hold_, TCSANOW, &tio);
        }
    }
    ~PtyPeer() {
        if (thread_.joinable()) {
            thread_.join();
        }
        CloseMaster();
        if (hold_ >= 0) {
            ::close(hold_);
        }
    }
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    const std::string& Path() const { return path_; }
    bool Ok() const { return hold_ >= 0; }

    // On a background thread: waits for `expect` bytes, then sends each
    // chunk after its delay. With `hangUp` the far end goes away afterwards.
    struct Chunk {
        std::chrono::milliseconds delay;
        std::vector<std::uint8_t> bytes;
    };
    void Script(std::size_t expect, std::vector<Chunk> chunks, bool hangUp = false) {
        thread_ = std::thread([this, expect, chunks = std::move(chunks), hangUp] {
            std::size_t got = 0;
            std::uint8_t buffer[64];
            while (got < expect) {
                const ssize_t n = ::read(master_, buffer, sizeof buffer);
                if (n <= 0) {
                    return;
                }
                received_.insert(received_.end(), buffer, buffer + n);
                got += static_cast<std::size_t>(n);
            }
            for (const auto& chunk : chunks) {
                std::this_thread::sleep_for(chunk.delay);
                if (!chunk.bytes.empty() &&
                    ::write(master_, chunk.bytes.data(), chunk.bytes.size()) < 0) {
                    return;
                }
            }
            if (hangUp) {
                CloseMaster();
            }
        });
    }
    void Join() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    const std::vector<std::uint8_t>& Received() const { return received_; }

  private:
    void CloseMaster() {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }

    int master_ = -1;
    int hold_ = -1;
    std::string path_;
    std::thread thread_;
    std::vector<std::uint8_t> received_;
};

}  // namespace zx840::testing
