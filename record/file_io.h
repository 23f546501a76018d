// Reading and writing whole files, with errors as values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zx840 {

struct FileStatus {
    FileStatus() = default;
    // `{errno}` for a failure the system's text describes well enough.
    FileStatus(int error, std::string why = {}) : sysErrno(error), reason(std::move(why)) {}

    int sysErrno = 0;    // 0 on success
    std::string reason;  // when set, says more than the system's text
    explicit operator bool() const { return sysErrno == 0; }
    // Why it failed, for a message: the reason, else the system's text.
    std::string Describe() const;
};

// Reads a whole regular file of at most `limit` bytes (EFBIG beyond). The
// file is opened without blocking and its type checked first, so a FIFO or
// a device named like a file is refused at once instead of hanging. `bytes`
// is left as it was on a failure.
FileStatus ReadWholeFile(const std::string& path, std::vector<std::uint8_t>* bytes,
                         std::size_t limit = std::size_t{64} << 20);

// The status of a path that names something other than a regular file
// (a folder gives EISDIR), with the kind of thing in its reason.
FileStatus NotARegularFile(unsigned mode);

struct AtomicWriteOptions {
    // fsync() the file and its folder before returning. A batch that syncs
    // the whole file system once at its end may leave this off.
    bool flush = true;
    // The permissions of the file written, whatever the replaced file had
    // (0600 for files that hold one user's data); none: as described below.
    std::optional<unsigned> mode;
};

// Writes `bytes` to a temporary file in the target's folder and renames it
// over `path` once it is complete, so any failure (no room, a file-size
// limit, no permission) leaves an earlier file byte for byte as it was and
// no temporary file behind.
//
// Replaces only a regular file, or through a symbolic link the regular
// file the link names; a folder, FIFO, device or socket (or a link to one)
// is refused with nothing written, and so is a file without write
// permission for this user. Keeps the permissions of the file it replaces;
// a new file gets 0666 less the umask. The temporary file is created
// exclusively and never through a link: unnamed where the file system
// allows it (nothing is left even after SIGKILL), else under a short
// random name.
FileStatus WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                               AtomicWriteOptions options = {});
FileStatus WriteFileAtomically(const std::string& path, std::string_view bytes,
                               AtomicWriteOptions options = {});

// Takes the bytes of a file as they are made; false once they cannot be
// written (the write's status then says why).
using ByteSink = std::function<bool(std::string_view)>;

// The same for a file made a piece at a time, in constant memory: `produce`
// hands the pieces to the sink in order and says whether the file is
// complete. Nothing replaces `path` unless it is; a `produce` that gives up
// leaves ECANCELED (its own reason is the caller's to tell). The temporary
// file is named from the start, so a process killed meanwhile may leave it.
FileStatus WriteFileAtomically(const std::string& path,
                               const std::function<bool(const ByteSink&)>& produce,
                               AtomicWriteOptions options = {});

// Opens /dev/null on each of the descriptors 0, 1 and 2 that is closed, so
// that no file the program opens later takes the place of standard output
// or error (and receives what is printed there). Call first thing in main.
void OpenClosedStandardDescriptors();

// Flushes and closes standard output. Its status: why it could not be
// written (a full disk, a closed pipe), or success.
FileStatus CloseStandardOutput();

}  // namespace zx840
