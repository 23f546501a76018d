#include "meter/uucp_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace zx840 {
namespace {

// A lock file without a readable process id may be one another program is
// still writing; only once it is this old is it taken for abandoned.
constexpr std::chrono::seconds kUnreadableLockAge{5};
constexpr int kTakeAttempts = 5;

struct LockOwner {
    bool exists = false;
    pid_t pid = 0;  // 0 when the file holds no process id
    bool old = false;
};

LockOwner ReadOwner(const std::string& path) {
    LockOwner owner;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // A lock that cannot be opened (a link, no permission) still exists.
        owner.exists = errno != ENOENT;
        return owner;
    }
    owner.exists = true;
    char text[32] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    struct stat st {};
    if (fstat(fd, &st) == 0) {
        const auto modified = std::chrono::system_clock::from_time_t(st.st_mtime);
        owner.old = std::chrono::system_clock::now() - modified >= kUnreadableLockAge;
    }
    ::close(fd);
    if (n <= 0) {
        return owner;
    }
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    // Ten digits padded with blanks and a line feed; accept any blanks.
    if (end != text && value > 0 && value <= INT32_MAX && (*end == '\0' || *end == '\n')) {
        owner.pid = static_cast<pid_t>(value);
    } else if (n == 4) {
        // The older binary form: the process id as a native int.
        int binary = 0;
        std::memcpy(&binary, text, sizeof binary);
        owner.pid = binary > 0 ? binary : 0;
    }
    return owner;
}

bool ProcessAlive(pid_t pid) {
    return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM);
}

// True when the owner recorded in a lock file still runs (or may still be
// writing the file).
bool OwnerAlive(const LockOwner& owner) {
    if (owner.pid > 0) {
        return ProcessAlive(owner.pid);
    }
    return !owner.old;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// A complete lock file under a private name, linked into place afterwards so
// no reader ever sees it half written.
std::string MakeTemporaryLock(const std::string& folder) {
    std::string name = folder + "/LTMP.XXXXXX";
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getpid()));
    const bool ok =
        fchmod(fd, 0644) == 0 && length > 0 && WriteAll(fd, text, static_cast<std::size_t>(length));
    if (::close(fd) != 0 || !ok) {
        ::unlink(name.c_str());
        return {};
    }
    return name;
}

}  // namespace

std::string UucpLockFolder() {
    const char* chosen = std::getenv("ZX840_LOCK_DIR");
    return chosen != nullptr && *chosen != '\0' ? chosen : "/var/lock";
}

std::string UucpLockFileName(const std::string& canonicalDevice) {
    const auto slash = canonicalDevice.find_last_of('/');
    return "LCK.." +
           (slash == std::string::npos ? canonicalDevice : canonicalDevice.substr(slash + 1));
}

UucpLock::UucpLock(UucpLock&& other) noexcept : path_(std::exchange(other.path_, {})) {}

UucpLock& UucpLock::operator=(UucpLock&& other) noexcept {
    if (this != &other) {
        Release();
        path_ = std::exchange(other.path_, {});
    }
    return *this;
}

UucpLockResult UucpLock::Take(const std::string& folder, const std::string& canonicalDevice) {
    Release();
    struct stat st {};
    if (folder.empty() || stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        access(folder.c_str(), W_OK | X_OK) != 0) {
        return UucpLockResult::Skipped;
    }
    const std::string path = folder + "/" + UucpLockFileName(canonicalDevice);
    // A lock of a live process is honoured even where we cannot write ours.
    if (const LockOwner owner = ReadOwner(path); owner.exists && OwnerAlive(owner)) {
        return UucpLockResult::Busy;
    }
    const std::string temporary = MakeTemporaryLock(folder);
    if (temporary.empty()) {
        return UucpLockResult::Skipped;
    }
    UucpLockResult result = UucpLockResult::Skipped;
    for (int attempt = 0; attempt < kTakeAttempts; ++attempt) {
        if (::link(temporary.c_str(), path.c_str()) == 0) {
            path_ = path;
            result = UucpLockResult::Taken;
            break;
        }
        if (errno != EEXIST) {
            break;  // no hard links here: go on without a lock file
        }
        const LockOwner owner = ReadOwner(path);
        if (!owner.exists) {
            continue;  // removed meanwhile: try again
        }
        if (OwnerAlive(owner)) {
            result = UucpLockResult::Busy;
            break;
        }
        // The owner is gone: the lock is stale. If it cannot be removed (a
        // sticky folder and another user's file) the device is free anyway.
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
            break;
        }
    }
    ::unlink(temporary.c_str());
    return result;
}

void UucpLock::Release() {
    if (path_.empty()) {
        return;
    }
    // Only our own lock: never one another program put there after ours
    // was removed by hand.
    if (ReadOwner(path_).pid == getpid()) {
        ::unlink(path_.c_str());
    }
    path_.clear();
}

}  // namespace zx840
