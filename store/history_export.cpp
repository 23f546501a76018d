#include "store/history_export.h"

#include <cerrno>
#include <filesystem>

#include "record/file_names.h"
#include "record/measurement_file.h"
#include "store/result_text.h"

namespace zx840 {

StoreStatus ReadRanges(HistoryPages& pages, const RowRanges& ranges, Detail detail,
                       const std::function<bool(const Result&)>& visit) {
    bool stop = false;
    for (const auto& [first, last] : ranges) {
        std::int64_t expected = last - first + 1;
        const StoreStatus status = pages.Rows(first, expected, detail, [&](const Result& result) {
            --expected;
            stop = !visit(result);
            return !stop;
        });
        if (!status || stop) {
            return status;
        }
        if (expected != 0) {
            return StoreStatus::Failed(
                "The results changed while they were read: find them again and try once more");
        }
    }
    return {};
}

HistoryExport ExportHistoryCsv(HistoryPages& pages, const RowRanges& ranges,
                               const std::string& path,
                               const std::function<bool(std::int64_t)>& goOn) {
    HistoryExport outcome;
    outcome.path = path;
    outcome.file = WriteFileAtomically(path, [&](const ByteSink& sink) {
        std::string line;
        AppendResultCsvHeader(line);
        if (!sink(line)) {
            return false;
        }
        outcome.read = ReadRanges(pages, ranges, Detail::Summary, [&](const Result& result) {
            line.clear();
            AppendResultCsv(line, result);
            ++outcome.done;
            outcome.stopped = !goOn(outcome.done);
            return sink(line) && !outcome.stopped;
        });
        return outcome.read && !outcome.stopped;
    });
    if (!outcome.read || outcome.stopped) {
        outcome.file = {};  // not the file's fault
    }
    return outcome;
}

HistoryExport ExportHistoryTestFiles(HistoryPages& pages, const RowRanges& ranges,
                                     const std::string& folder,
                                     const std::function<bool(std::int64_t)>& goOn) {
    HistoryExport outcome;
    const std::string base = folder + "/";
    const std::string extension = std::string(".") + kTestFileExtension;
    outcome.read = ReadRanges(pages, ranges, Detail::Full, [&](const Result& result) {
        const auto stem = FirstFreeStem(ProductFileStem(result.mark), [&](const std::string& s) {
            std::error_code error;
            return std::filesystem::exists(base + s + extension, error) || error;
        });
        outcome.path = base + (stem ? *stem : std::string()) + extension;
        if (!stem) {
            outcome.file = FileStatus(EEXIST, "every free name of it is taken");
            return false;
        }
        outcome.file =
            WriteFileAtomically(outcome.path, SerializeTest(result.mark, result.working.Record));
        if (!outcome.file) {
            return false;
        }
        ++outcome.done;
        outcome.stopped = !goOn(outcome.done);
        return !outcome.stopped;
    });
    return outcome;
}

}  // namespace zx840
