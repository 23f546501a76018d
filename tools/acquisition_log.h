// The acquisition log: a CSV file that grows by one whole row per
// acquisition and keeps every row already written through a crash, a pulled
// cable or a power cut.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "meter/acquisition.h"
#include "plan/verdict.h"
#include "record/file_io.h"
#include "record/product_mark.h"

namespace zx840 {

// What one row records.
struct LogEntry {
    std::time_t time = 0;
    std::string port;  // as the operator named it
    std::int32_t baud = kDefaultBaudRate;
    ProductMark mark;
    AcquireFailure failure = AcquireFailure::None;
    std::string detail;                      // for a failure: the port and what went wrong
    const WorkingRecord* working = nullptr;  // the readings of a good acquisition
    bool judged = false;                     // the log has the verdict columns
    const Verdict* verdict = nullptr;        // the verdict of a good acquisition
};

// Timestamp, Port, Baud, the product information, Result ("OK" or
// "FAILED"), Message (the operator message), Detail, the readings; with
// `judged` (a run with a test plan) then Verdict ("PASS" or "FAIL") and
// FailedChecks (the items that failed, separated by spaces).
std::string LogHeaderRow(bool judged = false);
// A failure has empty readings; the operator message with its line breaks
// as spaces, so that every row is one line of text.
std::string LogRow(const LogEntry& entry);

// Local time in ISO 8601 with the offset from UTC: 2026-12-08T14:03:05+01:00.
std::string LocalTimestamp(std::time_t time);

class AcquisitionLog {
  public:
    // Opens `path` for appending, creating it. A new or empty file gets the
    // header row; a file that begins with any other line is refused (with
    // `error` saying why), so a log never mixes two kinds of rows.
    static std::optional<AcquisitionLog> Open(const std::string& path, std::string* error,
                                              bool judged = false);

    AcquisitionLog(AcquisitionLog&& other) noexcept;
    AcquisitionLog& operator=(AcquisitionLog&& other) noexcept;
    AcquisitionLog(const AcquisitionLog&) = delete;
    AcquisitionLog& operator=(const AcquisitionLog&) = delete;
    ~AcquisitionLog();

    // Writes `row` (one whole line) at the end of the file with a single
    // write() and then fdatasync(), so a row is on the disk before the next
    // acquisition starts. A write that fails part-way is cut back off, so
    // the file never ends in half a row.
    FileStatus Append(const std::string& row);

  private:
    explicit AcquisitionLog(int fd) : fd_(fd) {}

    int fd_ = -1;
    bool needsNewline_ = false;  // the file did not end with a line break
};

}  // namespace zx840
