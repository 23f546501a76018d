// A hand-driven far end of a pseudo-terminal for tests that need replies the
// simulator does not make, or a line that goes away mid-read; and a private
// folder for the lock files of serial devices.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
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
                if (!Send(chunk.bytes)) {
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

    // On the calling thread, with no script running: waits until `count`
    // more bytes have arrived (false when `timeout` passes first).
    bool Expect(std::size_t count, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::uint8_t buffer[64];
        while (count > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd pfd{master_, POLLIN, 0};
            if (left.count() <= 0 || poll(&pfd, 1, static_cast<int>(left.count())) <= 0) {
                return false;
            }
            const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count));
            if (n <= 0) {
                return false;
            }
            received_.insert(received_.end(), buffer, buffer + n);
            count -= static_cast<std::size_t>(n);
        }
        return true;
    }
    // On the calling thread: sends `bytes` whole.
    bool Send(const std::vector<std::uint8_t>& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    }
    // The far end goes away: the line hangs up.
    void HangUp() { CloseMaster(); }

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

// A private lock folder for the lock files of serial devices, removed with
// everything in it at the end of the test.
class TempLockFolder {
  public:
    TempLockFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "zx840-locks-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~TempLockFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempLockFolder(const TempLockFolder&) = delete;
    TempLockFolder& operator=(const TempLockFolder&) = delete;

    const std::string& Path() const { return path_; }
    // The names of the files in the folder, sorted.
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(path_, ignored)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    std::string path_;
};

}  // namespace zx840::testing
