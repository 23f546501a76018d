#include "tools/export_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace zx840 {
namespace {

// More same-named tests than this in one directory is a mistake of the
// caller, not something to number through.
constexpr int kMostSameNames = 100000;

enum class Occupant { None, Same, Other, Error };

}  // namespace

ExportDirectory::ExportDirectory(std::string directory, std::string extension)
    : directory_(std::move(directory)), extension_(std::move(extension)) {}

FileStatus ExportDirectory::Prepare() {
    std::error_code error;
    std::filesystem::create_directories(directory_, error);
    if (error) {
        return {error.value()};
    }
    return {};
}

FileStatus ExportDirectory::Write(const std::string& stem, const std::string& prefix,
                                  const std::string& content) {
    const std::string base = directory_ + "/" + stem;
    std::string path;
    Occupant occupant = Occupant::Other;
    int probeError = 0;
    for (int n = 1; occupant == Occupant::Other; ++n) {
        if (n > kMostSameNames) {
            return {EEXIST};
        }
        path = n == 1 ? base + extension_ : base + "-" + std::to_string(n) + extension_;
        // Without blocking: a FIFO named like the output must not hang.
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) {
            probeError = errno;
            occupant = probeError == ENOENT ? Occupant::None : Occupant::Error;
            continue;
        }
        struct stat info {};
        const int statError = fstat(fd, &info) != 0 ? errno : 0;
        if (statError != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd);
            return statError != 0 ? FileStatus{statError} : NotARegularFile(info.st_mode);
        }
        probe_.resize(prefix.size());
        const ssize_t got = ::pread(fd, probe_.data(), probe_.size(), 0);
        ::close(fd);
        occupant = got == static_cast<ssize_t>(prefix.size()) && probe_ == prefix ? Occupant::Same
                                                                                  : Occupant::Other;
    }
    if (occupant == Occupant::Error) {
        return {probeError};
    }
    // Whole or not at all; Sync() puts the batch on the disk at its end.
    return WriteFileAtomically(path, content, AtomicWriteOptions{.flush = false});
}

FileStatus ExportDirectory::Sync() {
    const int fd = ::open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return {errno};
    }
    const int result = syncfs(fd);
    const int failure = result != 0 ? errno : 0;
    ::close(fd);
    return {failure};
}

}  // namespace zx840
