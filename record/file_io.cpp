#include "record/file_io.h"

#include <fcntl.h>
#include <libgen.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace zx840 {
namespace {

// Closes a descriptor on every way out.
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string Directory(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string FileStatus::Describe() const {
    return std::strerror(sysErrno);
}

FileStatus ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes,
                         std::size_t limit) {
    Fd file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) {
        return {errno};
    }
    struct stat info {};
    if (fstat(file.fd, &info) != 0) {
        return {errno};
    }
    if (S_ISDIR(info.st_mode)) {
        return {EISDIR};
    }
    if (!S_ISREG(info.st_mode)) {
        return {EINVAL};
    }
    if (static_cast<std::uint64_t>(info.st_size) > limit) {
        return {EFBIG};
    }
    std::vector<std::uint8_t> content(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::read(file.fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return {errno};
        }
        if (n == 0) {
            break;  // the file shrank meanwhile
        }
        done += static_cast<std::size_t>(n);
    }
    content.resize(done);
    bytes = std::move(content);
    return {};
}

FileStatus WriteFileAtomically(const std::string& requested,
                               const std::vector<std::uint8_t>& bytes) {
    // Through a link, replace the file it names, not the link.
    std::string path = requested;
    if (std::unique_ptr<char, decltype(&std::free)> real(realpath(requested.c_str(), nullptr),
                                                         &std::free);
        real) {
        path = real.get();
    }
    struct stat existing {};
    const bool replaces = ::stat(path.c_str(), &existing) == 0;
    if (replaces && S_ISDIR(existing.st_mode)) {
        return {EISDIR};
    }
    const std::string directory = Directory(path);
    std::string temporary = path + ".XXXXXX";
    Fd file{mkstemp(temporary.data())};
    if (file.fd < 0) {
        return {errno};
    }
    mode_t mode = 0;
    if (replaces) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    int failure = 0;
    if (!WriteAll(file.fd, bytes.data(), bytes.size()) || fchmod(file.fd, mode) != 0 ||
        fsync(file.fd) != 0) {
        failure = errno;
    }
    if (::close(file.fd) != 0 && failure == 0) {
        failure = errno;
    }
    file.fd = -1;
    if (failure == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) {
        failure = errno;
    }
    if (failure != 0) {
        ::unlink(temporary.c_str());
        return {failure};
    }
    // The rename itself reaches the disk with its directory.
    Fd folder{::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (folder.fd >= 0) {
        fsync(folder.fd);
    }
    return {};
}

}  // namespace zx840
