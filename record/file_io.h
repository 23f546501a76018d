// Reading and writing whole files, with errors as values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zx840 {

struct FileStatus {
    int sysErrno = 0;  // 0 on success
    explicit operator bool() const { return sysErrno == 0; }
    std::string Describe() const;  // the system's text for the error
};

// Reads a whole regular file of at most `limit` bytes (EFBIG beyond).
FileStatus ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes,
                         std::size_t limit = std::size_t{64} << 20);

// Writes `bytes` to a new file beside `path` and renames it over `path`
// once it is complete and on disk, so a failure (no room, no permission, a
// crash) leaves any earlier file as it was. Keeps the permissions of a file
// it replaces; writes through a symbolic link to the file it names.
FileStatus WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace zx840
