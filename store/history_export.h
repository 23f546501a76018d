// The selected rows of a history written out: to one CSV file, or each to
// a test file of its own. Rows go from the store to the file one at a time,
// so a million of them take the memory of one page.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "record/file_io.h"
#include "store/history_pages.h"

namespace zx840 {

// Runs of rows, first and last (inclusive), ascending and apart.
using RowRanges = std::vector<std::pair<std::int64_t, std::int64_t>>;

// The rows of `ranges` in order, handed to `visit` until it says stop.
StoreStatus ReadRanges(HistoryPages& pages, const RowRanges& ranges, Detail detail,
                       const std::function<bool(const Result&)>& visit);

struct HistoryExport {
    StoreStatus read;       // the store failed: nothing (more) was written
    FileStatus file;        // a file could not be written
    std::string path;       // the file of that failure
    std::int64_t done = 0;  // results written
    bool stopped = false;   // `goOn` said stop
    bool ok() const { return read && file && !stopped; }
};

// `goOn` is told how many results are written so far and may say stop.
// The CSV file appears whole or not at all (an earlier one stays as it was).
HistoryExport ExportHistoryCsv(HistoryPages& pages, const RowRanges& ranges,
                               const std::string& path,
                               const std::function<bool(std::int64_t)>& goOn);
// Test files into `folder`, named after their product, numbered on where a
// name is taken: nothing is replaced.
HistoryExport ExportHistoryTestFiles(HistoryPages& pages, const RowRanges& ranges,
                                     const std::string& folder,
                                     const std::function<bool(std::int64_t)>& goOn);

}  // namespace zx840
