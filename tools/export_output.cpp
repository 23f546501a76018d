#include "tools/export_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "record/file_names.h"

namespace zx840 {
namespace {

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
    // The first name that is free or holds this source's earlier output.
    std::string path;
    Occupant occupant = Occupant::Other;
    FileStatus probeError;
    const auto taken = [&](const std::string& candidate) {
        path = directory_ + "/" + candidate + extension_;
        // Without blocking: a FIFO named like the output must not hang.
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) {
            probeError = {errno};
            occupant = probeError.sysErrno == ENOENT ? Occupant::None : Occupant::Error;
            return false;
        }
        struct stat info {};
        const int statError = fstat(fd, &info) != 0 ? errno : 0;
        if (statError != 0 || !S_ISREG(info.st_mode)) {
            // Never replaced, never numbered past: said as it is.
            ::close(fd);
            probeError = statError != 0 ? FileStatus{statError} : NotARegularFile(info.st_mode);
            occupant = Occupant::Error;
            return false;
        }
        probe_.resize(prefix.size());
        const ssize_t got = ::pread(fd, probe_.data(), probe_.size(), 0);
        ::close(fd);
        occupant = got == static_cast<ssize_t>(prefix.size()) && probe_ == prefix ? Occupant::Same
                                                                                  : Occupant::Other;
        return occupant == Occupant::Other;
    };
    if (!FirstFreeStem(stem, taken)) {
        return {EEXIST};
    }
    if (occupant == Occupant::Error) {
        return probeError;
    }
    // Whole or not at all; Sync() puts the batch on the disk at its end.
    return WriteFileAtomically(path, content, AtomicWriteOptions{.flush = false, .mode = std::nullopt});
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
