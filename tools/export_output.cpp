#include "tools/export_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "tools/file_names.h"

namespace zx840 {
namespace {

enum class Occupant { None, Same, Other, Error };

// 0, or the errno of the failure.
int WriteAll(int fd, const char* data, std::size_t size) {
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
    int probeError = 0;
    const auto taken = [&](const std::string& candidate) {
        path = directory_ + "/" + candidate + extension_;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            probeError = errno;
            occupant = probeError == ENOENT ? Occupant::None : Occupant::Error;
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
        return {probeError};
    }
    // Beside the output, under a name of this process; created with 0666 so
    // that the umask alone decides the permissions, as for any new file.
    const std::string temporary =
        directory_ + "/." + path.substr(directory_.size() + 1) + "." + std::to_string(::getpid());
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::open(temporary.c_str(), flags, 0666);
    if (fd < 0 && errno == EEXIST) {
        ::unlink(temporary.c_str());  // left by an earlier run that was killed
        fd = ::open(temporary.c_str(), flags, 0666);
    }
    if (fd < 0) {
        return {errno};
    }
    int failure = WriteAll(fd, content.data(), content.size());
    if (::close(fd) != 0 && failure == 0) {
        failure = errno;
    }
    if (failure == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) {
        failure = errno;
    }
    if (failure != 0) {
        ::unlink(temporary.c_str());
        return {failure};
    }
    return {};
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
