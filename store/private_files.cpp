#include "store/private_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "store/store_url.h"

namespace zx840 {
namespace {

constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;

// Sets `mode` on a folder or regular file that lets group or others in,
// without following a symbolic link (and without opening a FIFO for good).
void Tighten(const std::string& path, mode_t mode) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0 && (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode)) &&
        (info.st_mode & 077) != 0) {
        static_cast<void>(::fchmod(fd, mode));
    }
    ::close(fd);
}

}  // namespace

bool MakePrivateFolders(const std::string& folder, std::string* error) {
    std::filesystem::path made;
    for (const std::filesystem::path& part : std::filesystem::path(folder)) {
        made /= part;
        if (::mkdir(made.c_str(), kFolderMode) == 0) {
            // The umask may have taken bits the owner needs; it never adds any.
            ::chmod(made.c_str(), kFolderMode);
        } else if (errno != EEXIST) {
            *error = "cannot make the folder " + made.string() + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

bool CreatePrivateFile(const std::string& path, std::string* error) {
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode);
    if (fd < 0) {
        if (errno == EEXIST) {
            return true;
        }
        *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    ::fchmod(fd, kFileMode);
    ::close(fd);
    return true;
}

void TightenOwnStoreFiles(const std::string& path) {
    Tighten(std::filesystem::path(path).parent_path().string(), kFolderMode);
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        Tighten(path + suffix, kFileMode);
    }
}

bool InDataFolder(const std::string& path) {
    const std::filesystem::path folder =
        std::filesystem::absolute(std::filesystem::path(path)).lexically_normal().parent_path();
    return folder == std::filesystem::path(DataFolder()).lexically_normal();
}

}  // namespace zx840
