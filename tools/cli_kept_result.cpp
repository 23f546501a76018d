// zx840-cli history --id ID --save FILE --pdf FILE: a kept result back as
// the files the window makes of it.
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "analysis/displayed_record.h"
#include "record/file_io.h"
#include "record/measurement_file.h"
#include "tools/cli_files.h"
#include "tools/cli_store.h"
#include "tools/report_pdf.h"

namespace zx840 {
namespace {

// What history was asked to write.
struct KeptFiles {
    std::optional<std::string> id;
    std::string save;   // the test file, "-" for standard output
    std::string pdf;    // the report
    std::string other;  // the first option that lists rather than writes
};

// The test file to `path`, or with "-" to `out`.
int WriteTestFile(const std::string& path, const Result& result, std::ostream& out,
                  std::ostream& err) {
    const std::vector<std::uint8_t> bytes = SerializeTest(result.mark, result.working.Record);
    if (IsStandardOutput(path)) {
        if (!out.write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()))
                 .flush()) {
            err << "zx840-cli: cannot write the test to standard output\n";
            return kCliFileError;
        }
        return kCliOk;
    }
    if (const FileStatus status = WriteFileAtomically(path, bytes); !status) {
        err << "zx840-cli: cannot save the test to " << path << ": " << status.Describe() << "\n";
        return kCliFileError;
    }
    return kCliOk;
}

// The result of `id`, whole; nothing after saying why.
std::optional<Result> FindKept(ResultsStore& store, const std::string& id, std::ostream& err) {
    ResultFilter filter;
    filter.id = id;
    std::vector<Result> found;
    if (const StoreStatus status = store.Find(filter, 0, 1, Detail::Full, found); !status) {
        err << "zx840-cli: " << status.message << "\n";
        return std::nullopt;
    }
    if (found.empty()) {
        err << "zx840-cli: " << store.Url().Display() << " holds no result with the id \"" << id
            << "\"\n";
        return std::nullopt;
    }
    return std::move(found.front());
}

}  // namespace

std::optional<int> KeptResultFiles(
    const CommandCall& call, const std::string& db,
    const std::vector<std::pair<std::string, std::string>>& options) {
    std::ostream& out = call.out;
    std::ostream& err = call.err;
    KeptFiles asked;
    for (const auto& [name, value] : options) {
        if (name == "--id") {
            asked.id = value;
        } else if (name == "--save" || name == "--pdf") {
            (name == "--save" ? asked.save : asked.pdf) = value;
        } else if (asked.other.empty()) {
            asked.other = name;
        }
    }
    if (asked.save.empty() && asked.pdf.empty()) {
        return std::nullopt;
    }
    if (!asked.id) {
        return call.Mistake("--save and --pdf write one result: they need --id ID");
    }
    if (!asked.other.empty()) {
        return call.Mistake(asked.other + " lists results; it does not go with --save or --pdf");
    }
    if (IsStandardOutput(asked.save) && IsStandardOutput(asked.pdf)) {
        return call.Mistake("--save and --pdf cannot both write to standard output");
    }
    if (!asked.pdf.empty() && !ReportPdfWriter::Available()) {
        err << "zx840-cli: this build has no PDF support\n";
        return kCliFileError;
    }
    int failure = kCliFileError;
    const auto store = OpenCommandStore(db, err, ResultsStore::Access::ReadOnly, &failure);
    if (!store) {
        return failure;
    }
    const std::optional<Result> result = FindKept(*store, *asked.id, err);
    if (!result) {
        return kCliFileError;
    }
    if (!asked.save.empty()) {
        if (const int status = WriteTestFile(asked.save, *result, out, err); status != kCliOk) {
            return status;
        }
    }
    if (asked.pdf.empty()) {
        return kCliOk;
    }
    // As the window shows a kept result: angles from its waveforms, and the
    // verdict it was given, never one of today's plan.
    const std::optional<Verdict> verdict =
        result->verdict ? std::optional<Verdict>(VerdictOf(*result->verdict)) : std::nullopt;
    return WriteReport(asked.pdf, DisplayedRecord(result->working.Record), result->mark,
                       verdict ? &*verdict : nullptr, out, err);
}

}  // namespace zx840
