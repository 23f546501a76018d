#include "record/file_io.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <memory>

namespace zx840 {
namespace {

// Closes a descriptor on every way out.
struct Fd {
    int fd = -1;
    Fd() = default;
    explicit Fd(int value) : fd(value) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { Close(); }
    // 0, or the errno of a failed close.
    int Close() {
        if (fd < 0) {
            return 0;
        }
        const int result = ::close(fd);
        fd = -1;
        return result != 0 && errno != EINTR ? errno : 0;
    }
};

// A file-size limit raises SIGXFSZ at the write that crosses it, which ends
// the process unless ignored. While this lives, the signal is held back for
// this thread, so the write fails with EFBIG and the caller cleans up; a
// signal raised meanwhile is consumed rather than delivered afterwards.
class HoldFileSizeSignal {
  public:
    HoldFileSizeSignal() {
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, SIGXFSZ);
        pthread_sigmask(SIG_BLOCK, &only, &saved_);
    }
    ~HoldFileSizeSignal() {
        sigset_t pending;
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, SIGXFSZ);
        if (sigpending(&pending) == 0 && sigismember(&pending, SIGXFSZ) == 1 &&
            sigismember(&saved_, SIGXFSZ) == 0) {
            const timespec none{};
            sigtimedwait(&only, nullptr, &none);
        }
        pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
    }
    HoldFileSizeSignal(const HoldFileSizeSignal&) = delete;
    HoldFileSizeSignal& operator=(const HoldFileSizeSignal&) = delete;

  private:
    sigset_t saved_{};
};

// 0, or the errno of the failure.
int WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return errno;
        }
        if (n == 0) {
            return EIO;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

std::string Directory(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Whether this process may write the file, judged by its mode as its owner,
// group or others see it; root is held to the mode too, so a file made
// read-only on purpose is never replaced.
bool ModeAllowsWriting(const struct stat& info) {
    if (info.st_uid == geteuid()) {
        return (info.st_mode & S_IWUSR) != 0;
    }
    bool member = info.st_gid == getegid();
    if (!member) {
        const int count = getgroups(0, nullptr);
        if (count > 0) {
            std::vector<gid_t> groups(static_cast<std::size_t>(count));
            const int got = getgroups(count, groups.data());
            for (int i = 0; i < got && !member; ++i) {
                member = groups[static_cast<std::size_t>(i)] == info.st_gid;
            }
        }
    }
    return (info.st_mode & (member ? S_IWGRP : S_IWOTH)) != 0;
}

mode_t NewFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// A short name that is not there yet: ".zx840-" and eight random letters.
std::string TemporaryName() {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char random[8] = {};
    if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
        const auto seed = static_cast<unsigned long>(getpid()) ^
                          static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(&random));
        for (std::size_t i = 0; i < sizeof random; ++i) {
            random[i] = static_cast<unsigned char>(seed >> (i * 5));
        }
    }
    std::string name = ".zx840-";
    for (const unsigned char c : random) {
        name += kLetters[c % (sizeof kLetters - 1)];
    }
    return name;
}

// A file being written in `folder` before it takes the target's name.
class TemporaryFile {
  public:
    explicit TemporaryFile(int folder) : folder_(folder) {}
    ~TemporaryFile() {
        if (!name_.empty()) {
            ::unlinkat(folder_, name_.c_str(), 0);
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Creates the file: unnamed when asked and the file system can (then
    // nothing is left even if the process is killed), else named.
    int Create(mode_t mode, bool unnamed) {
        if (unnamed) {
            file_.fd = ::openat(folder_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
            if (file_.fd >= 0) {
                return 0;
            }
            if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT) {
                return errno;
            }
        }
        return NewName([this, mode](const std::string& name) {
            file_.fd = ::openat(folder_, name.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
            return file_.fd >= 0;
        });
    }

    int Fd() const { return file_.fd; }

    // Closes the file and gives it a name of its own, ready for the rename.
    int Finish() {
        if (name_.empty()) {
            const std::string self = "/proc/self/fd/" + std::to_string(file_.fd);
            if (const int failure = NewName([this, &self](const std::string& name) {
                    return ::linkat(AT_FDCWD, self.c_str(), folder_, name.c_str(),
                                    AT_SYMLINK_FOLLOW) == 0;
                });
                failure != 0) {
                linkFailed_ = true;
                return failure;
            }
        }
        return file_.Close();
    }

    // Whether Finish() failed to name an unnamed file (no /proc, say), so
    // that a named file may serve instead.
    bool LinkFailed() const { return linkFailed_; }

    // Renames the finished file over `target` in the same folder.
    int RenameOver(const std::string& target) {
        if (::renameat(folder_, name_.c_str(), folder_, target.c_str()) != 0) {
            return errno;
        }
        name_.clear();
        return 0;
    }

  private:
    // Tries fresh names until `make` succeeds or fails for another reason
    // than the name being taken.
    template <typename Make>
    int NewName(Make make) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = TemporaryName();
            if (make(name)) {
                name_ = std::move(name);
                return 0;
            }
            if (errno != EEXIST) {
                return errno;
            }
        }
        return EEXIST;
    }

    int folder_;
    struct Fd file_;
    std::string name_;  // once the file has a name in the folder
    bool linkFailed_ = false;
};

FileStatus Failure(int sysErrno, std::string reason = {}) {
    return {sysErrno, std::move(reason)};
}

// What a write replaces. Through a link, the regular file it names, not
// the link; a link to nothing is replaced itself, as a new file.
struct Target {
    std::string path;
    bool replaces = false;  // a file is there
    struct stat existing {};
};

FileStatus FindTarget(const std::string& requested, Target& target) {
    target.path = requested;
    if (::stat(requested.c_str(), &target.existing) != 0) {
        return errno == ENOENT ? FileStatus{} : Failure(errno);
    }
    target.replaces = true;
    if (std::unique_ptr<char, decltype(&std::free)> real(realpath(requested.c_str(), nullptr),
                                                         &std::free);
        real) {
        target.path = real.get();
    } else {
        return Failure(errno);
    }
    if (!S_ISREG(target.existing.st_mode)) {
        return NotARegularFile(target.existing.st_mode);
    }
    if (!ModeAllowsWriting(target.existing)) {
        return Failure(EACCES, "the file is read-only");
    }
    return {};
}

// Whether `write` may be called twice (an unnamed file first) or only once
// (a named file from the start).
enum class Writes { TwiceIfNeeded, OnceOnly };

// Writes a temporary file in `folder` through `write`, gives it `mode` and
// renames it over `name`: 0, or the errno of the failure. The file is
// unnamed while written where the file system can (unless Writes::OnceOnly);
// should it fail to get a name, it is written again as a named one.
int WriteAndRename(int folder, const std::string& name, mode_t mode,
                   const std::function<int(int)>& write, AtomicWriteOptions options,
                   Writes writes) {
    int failure = 0;
    for (const bool unnamed : {true, false}) {
        if (unnamed && writes == Writes::OnceOnly) {
            continue;
        }
        TemporaryFile temporary(folder);
        failure = temporary.Create(0600, unnamed);
        if (failure == 0) {
            failure = write(temporary.Fd());
        }
        if (failure == 0 && ::fchmod(temporary.Fd(), mode) != 0) {
            failure = errno;
        }
        if (failure == 0 && options.flush && ::fsync(temporary.Fd()) != 0) {
            failure = errno;
        }
        if (failure == 0) {
            failure = temporary.Finish();
        }
        if (failure != 0 && unnamed && temporary.LinkFailed()) {
            continue;  // written again under a name
        }
        if (failure == 0) {
            failure = temporary.RenameOver(name);
        }
        break;
    }
    return failure;
}

// Writes the file through `write` (0, or the errno of its failure), which
// may be called twice: once for an unnamed file and, should that file fail
// to get a name, again for a named one; unless Writes::OnceOnly, when the
// file is named from the start.
FileStatus WriteAtomically(const std::string& requested, const std::function<int(int)>& write,
                           AtomicWriteOptions options, Writes writes) {
    Target target;
    if (const FileStatus found = FindTarget(requested, target); !found) {
        return found;
    }
    const std::string directory = Directory(target.path);
    const std::string name = target.path.substr(target.path.find_last_of('/') + 1);
    if (name.empty()) {
        return Failure(EISDIR);
    }
    struct Fd folder(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.fd < 0) {
        return Failure(errno);
    }
    const mode_t mode = options.mode      ? static_cast<mode_t>(*options.mode)
                        : target.replaces ? target.existing.st_mode & 07777
                                          : NewFileMode();
    const HoldFileSizeSignal hold;
    if (const int failure = WriteAndRename(folder.fd, name, mode, write, options, writes);
        failure != 0) {
        return Failure(failure);
    }
    // The rename itself reaches the disk with its folder.
    if (options.flush && ::fsync(folder.fd) != 0 && errno != EINVAL) {
        return Failure(errno);
    }
    return {};
}

}  // namespace

std::string FileStatus::Describe() const {
    return reason.empty() ? std::string(std::strerror(sysErrno)) : reason;
}

FileStatus NotARegularFile(unsigned mode) {
    if (S_ISDIR(mode)) {
        return Failure(EISDIR);
    }
    const char* kind = S_ISFIFO(mode)                   ? "a FIFO"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                       : S_ISSOCK(mode)                 ? "a socket"
                                                        : "something else";
    return Failure(EINVAL, std::string("not a regular file but ") + kind);
}

FileStatus ReadWholeFile(const std::string& path, std::vector<std::uint8_t>* bytes,
                         std::size_t limit) {
    // Non-blocking, so that opening a FIFO without a writer returns at once.
    struct Fd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.fd < 0) {
        return Failure(errno);
    }
    struct stat info {};
    if (fstat(file.fd, &info) != 0) {
        return Failure(errno);
    }
    if (!S_ISREG(info.st_mode)) {
        return NotARegularFile(info.st_mode);
    }
    if (static_cast<std::uint64_t>(info.st_size) > limit) {
        return Failure(EFBIG);
    }
    std::vector<std::uint8_t> content(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::read(file.fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return Failure(errno);
        }
        if (n == 0) {
            break;  // the file shrank meanwhile
        }
        done += static_cast<std::size_t>(n);
    }
    content.resize(done);
    *bytes = std::move(content);
    return {};
}

FileStatus WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                               AtomicWriteOptions options) {
    return WriteAtomically(
        path, [bytes](int fd) { return WriteAll(fd, bytes.data(), bytes.size()); }, options,
        Writes::TwiceIfNeeded);
}

FileStatus WriteFileAtomically(const std::string& path, std::string_view bytes,
                               AtomicWriteOptions options) {
    return WriteFileAtomically(
        path, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
        options);
}

FileStatus WriteFileAtomically(const std::string& path,
                               const std::function<bool(const ByteSink&)>& produce,
                               AtomicWriteOptions options) {
    constexpr std::size_t kBuffered = 64 * 1024;
    const auto write = [&produce](int fd) {
        std::string buffer;
        buffer.reserve(kBuffered);
        int failure = 0;
        const ByteSink sink = [&](std::string_view bytes) {
            if (failure != 0) {
                return false;
            }
            buffer.append(bytes);
            if (buffer.size() >= kBuffered) {
                failure = WriteAll(fd, reinterpret_cast<const std::uint8_t*>(buffer.data()),
                                   buffer.size());
                buffer.clear();
            }
            return failure == 0;
        };
        if (!produce(sink) && failure == 0) {
            failure = ECANCELED;
        }
        if (failure == 0) {
            failure =
                WriteAll(fd, reinterpret_cast<const std::uint8_t*>(buffer.data()), buffer.size());
        }
        return failure;
    };
    return WriteAtomically(path, write, options, Writes::OnceOnly);
}

void OpenClosedStandardDescriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            // open() takes the lowest free descriptor: this very one.
            const int opened = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
            if (opened != fd && opened >= 0) {
                close(opened);
            }
        }
    }
}

FileStatus CloseStandardOutput() {
    errno = 0;
    std::cout.flush();
    int error = !std::cout ? (errno != 0 ? errno : EIO) : 0;
    if (std::fflush(stdout) != 0 && error == 0) {
        error = errno != 0 ? errno : EIO;
    }
    if (std::ferror(stdout) != 0 && error == 0) {
        error = EIO;
    }
    if (std::fclose(stdout) != 0 && error == 0) {
        error = errno != 0 ? errno : EIO;
    }
    return {error};
}

}  // namespace zx840
