#include "tools/acquisition_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "tools/record_csv.h"

namespace zx840 {
namespace {

const char* ResultText(AcquireFailure failure) {
    return failure == AcquireFailure::None ? "OK" : "FAILED";
}

std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return text;
}

// Reads up to `size` bytes at `offset`; fewer at the end of the file.
std::string ReadAt(int fd, off_t offset, std::size_t size) {
    std::string bytes(size, '\0');
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n =
            ::pread(fd, bytes.data() + done, size - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    return bytes;
}

}  // namespace

std::string LogHeaderRow(bool judged) {
    std::string line;
    CsvRow row(line);
    row.Text("Timestamp").Text("Port").Text("Baud");
    AppendMarkHeader(row);
    row.Text("Result").Text("Message").Text("Detail");
    AppendReadingsHeader(row);
    if (judged) {
        row.Text("Verdict").Text("FailedChecks");
    }
    row.End();
    return line;
}

std::string LogRow(const LogEntry& entry) {
    std::string line;
    CsvRow row(line);
    row.Text(LocalTimestamp(entry.time)).Text(entry.port).Int(entry.baud);
    AppendMark(row, entry.mark);
    row.Text(ResultText(entry.failure))
        .Text(OneLine(FailureMessage(entry.failure).text))
        .Text(OneLine(entry.detail));
    if (entry.failure == AcquireFailure::None && entry.working != nullptr) {
        AppendReadings(row, *entry.working);
    } else {
        row.Empty(kReadingColumns);
    }
    if (entry.judged) {
        if (entry.verdict != nullptr) {
            std::string failed;
            for (const Check& check : entry.verdict->checks) {
                if (!check.pass) {
                    failed += (failed.empty() ? "" : " ") + check.item;
                }
            }
            row.Text(entry.verdict->pass ? "PASS" : "FAIL").Text(failed);
        } else {
            row.Empty(2);
        }
    }
    row.End();
    return line;
}

std::string LocalTimestamp(std::time_t time) {
    std::tm local{};
    localtime_r(&time, &local);
    const long offset = local.tm_gmtoff / 60;  // minutes east of UTC
    const long absolute = std::labs(offset);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, offset < 0 ? '-' : '+', absolute / 60, absolute % 60);
    return text;
}

std::optional<AcquisitionLog> AcquisitionLog::Open(const std::string& path, std::string* error,
                                                   bool judged) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        *error = "cannot open the log " + path + ": " + FileStatus{errno}.Describe();
        return std::nullopt;
    }
    AcquisitionLog log(fd);
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        *error = "cannot open the log " + path + ": " + FileStatus{errno}.Describe();
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode)) {
        *error = "the log " + path + " is not a regular file";
        return std::nullopt;
    }
    const std::string header = LogHeaderRow(judged);
    if (info.st_size == 0) {
        if (const FileStatus status = log.Append(header); !status) {
            *error = "cannot write the log " + path + ": " + status.Describe();
            return std::nullopt;
        }
        return log;
    }
    // Reading needs a descriptor of its own: this one is write-only.
    const int reader = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (reader < 0) {
        *error = "cannot read the log " + path + ": " + FileStatus{errno}.Describe();
        return std::nullopt;
    }
    const std::string begins = ReadAt(reader, 0, header.size());
    const std::string last = ReadAt(reader, info.st_size - 1, 1);
    ::close(reader);
    if (begins != header) {
        *error = "the log " + path +
                 " does not begin with the header of an acquisition log; choose another file";
        return std::nullopt;
    }
    log.needsNewline_ = last != "\n";
    return log;
}

AcquisitionLog::AcquisitionLog(AcquisitionLog&& other) noexcept
    : fd_(other.fd_), needsNewline_(other.needsNewline_) {
    other.fd_ = -1;
}

AcquisitionLog& AcquisitionLog::operator=(AcquisitionLog&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = other.fd_;
        needsNewline_ = other.needsNewline_;
        other.fd_ = -1;
    }
    return *this;
}

AcquisitionLog::~AcquisitionLog() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

FileStatus AcquisitionLog::Append(const std::string& row) {
    // After a row cut short by some earlier crash, start on a line of our own.
    const std::string line = needsNewline_ ? "\r\n" + row : row;
    struct stat before {};
    if (fstat(fd_, &before) != 0) {
        return {errno};
    }
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // A file-size limit (EFBIG, with SIGXFSZ ignored) or a full disk
            // may come after part of the row is written.
            const int failure = n < 0 ? errno : EIO;
            if (done > 0 && ftruncate(fd_, before.st_size) != 0) {
                // Half a row stays: the next one starts on a line of its own.
                needsNewline_ = true;
            }
            return {failure};
        }
        done += static_cast<std::size_t>(n);
    }
    needsNewline_ = false;
    if (fdatasync(fd_) != 0) {
        return {errno};
    }
    return {};
}

}  // namespace zx840
