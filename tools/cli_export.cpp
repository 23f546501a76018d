// zx840-cli export: test files as CSV or JSON, one output file per test,
// for batches of any size in constant memory.
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string_view>
#include <system_error>

#include "analysis/displayed_record.h"
#include "analysis/power_quality.h"
#include "record/file_io.h"
#include "record/measurement_file.h"
#include "record/record_json.h"
#include "tools/cli_commands.h"
#include "tools/cli_files.h"
#include "tools/cli_inputs.h"
#include "tools/cli_text.h"
#include "tools/export_output.h"
#include "tools/interrupt.h"
#include "tools/progress_bar.h"
#include "tools/record_csv.h"

namespace zx840 {
namespace {

struct ExportOptions {
    std::vector<std::string> inputs;  // test files and directories
    std::optional<ExportDirectory> csv;
    std::optional<ExportDirectory> json;
    // "-" in place of a directory: every test into one stream on standard
    // output, CSV under a single header or one line of JSON per test.
    bool csvToOut = false;
    bool jsonToOut = false;
};

// Nothing after a mistake was said.
std::optional<ExportOptions> ReadExportOptions(const CommandCall& call) {
    ExportOptions options;
    for (const auto& [name, value] : call.options) {
        const bool csv = name == "--csv";
        if (value.empty()) {
            call.Mistake(name + " needs a directory");
            return std::nullopt;
        }
        (csv ? options.csvToOut : options.jsonToOut) = IsStandardOutput(value);
        auto& target = csv ? options.csv : options.json;
        target.reset();
        if (!IsStandardOutput(value)) {
            target.emplace(value, csv ? ".csv" : ".json");
        }
    }
    options.inputs = call.operands;
    if (options.inputs.empty()) {
        call.Mistake("export needs test files or directories");
        return std::nullopt;
    }
    if (!options.csv && !options.json && !options.csvToOut && !options.jsonToOut) {
        call.Mistake("export needs --csv DIR or --json DIR");
        return std::nullopt;
    }
    if (options.csvToOut && options.jsonToOut) {
        call.Mistake("--csv - and --json - would both write to standard output");
        return std::nullopt;
    }
    return options;
}

// The source as the outputs name it: its absolute path.
std::string SourceName(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : path;
}

class Batch {
  public:
    Batch(ExportOptions& options, std::ostream& out, std::ostream& err, bool terminal)
        : options_(options), out_(out), err_(err), terminal_(terminal) {}

    int Execute();

  private:
    // False ends the batch.
    bool ExportOne(const std::string& path);
    bool WriteOutput(ExportDirectory& directory, const std::string& stem);
    bool WriteStream(std::string_view text);
    // An input that cannot be read is said and skipped.
    void Unreadable(const std::string& path, const std::string& reason) {
        if (bar_) {
            bar_->Clear();
        }
        ReportUnreadable(err_, path, reason);
        ++skipped_;
    }

    ExportOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    bool terminal_;
    std::optional<ProgressBar> bar_;
    std::size_t seen_ = 0;
    std::size_t exported_ = 0;
    std::size_t skipped_ = 0;
    bool failed_ = false;         // an output could not be written
    bool headerWritten_ = false;  // the CSV stream has its header
    // Reused from one test to the next, so a batch allocates as much for the
    // ten-thousandth test as for the first.
    std::string content_;
    std::string prefix_;
};

bool Batch::WriteOutput(ExportDirectory& directory, const std::string& stem) {
    if (const FileStatus status = directory.Write(stem, prefix_, content_); !status) {
        if (bar_) {
            bar_->Clear();
        }
        err_ << "zx840-cli: cannot write " << directory.Directory() << "/" << stem << ": "
             << status.Describe() << "\n";
        failed_ = true;
        return false;
    }
    return true;
}

bool Batch::WriteStream(std::string_view text) {
    if (!out_.write(text.data(), static_cast<std::streamsize>(text.size()))) {
        if (bar_) {
            bar_->Clear();
        }
        err_ << "zx840-cli: cannot write to standard output\n";
        failed_ = true;
        return false;
    }
    return true;
}

bool Batch::ExportOne(const std::string& path) {
    ++seen_;
    const TestFileRead read = ReadTestFile(path);
    if (!read.contents) {
        Unreadable(path, UnreadableReason(read));
        return true;
    }
    const auto& test = read.contents;
    // As the panel shows an opened test: spectra from the file, angles anew.
    const WorkingRecord working = DisplayedRecord(test->Record);
    const std::string source = SourceName(path);
    const std::string stem = std::filesystem::path(path).stem().string();
    if (options_.csv || options_.csvToOut) {
        content_.clear();
        AppendTestCsv(content_, source, test->Mark, working);
        if (options_.csvToOut) {
            // One header for the whole stream: each later test without its own.
            const std::size_t body = headerWritten_ ? content_.find("\r\n") + 2 : 0;
            if (!WriteStream(std::string_view(content_).substr(body))) {
                return false;
            }
            headerWritten_ = true;
        } else {
            prefix_.clear();
            AppendTestCsvPrefix(prefix_, source);
            if (!WriteOutput(*options_.csv, stem)) {
                return false;
            }
        }
    }
    if (options_.json || options_.jsonToOut) {
        // The record's keys as `show` prints them, after the source, which
        // names the file an export of the same test replaces.
        content_.clear();
        JsonWriter json(content_);
        json.BeginObject().Key("Source").String(source);
        prefix_ = content_;
        WriteRecordMembers(json, working);
        WriteDerivedMembers(json, working.Record);
        WriteMark(json.Key("ProductMark"), test->Mark);
        json.EndObject();
        content_ += '\n';
        if (options_.jsonToOut ? !WriteStream(content_) : !WriteOutput(*options_.json, stem)) {
            return false;
        }
    }
    ++exported_;
    return true;
}

int Batch::Execute() {
    for (auto* directory : {&options_.csv, &options_.json}) {
        if (*directory) {
            if (const FileStatus status = (*directory)->Prepare(); !status) {
                err_ << "zx840-cli: cannot create the directory " << (*directory)->Directory()
                     << ": " << status.Describe() << "\n";
                return kCliFileError;
            }
        }
    }
    const auto unreadable = [this](const std::string& path, const std::string& reason) {
        ++seen_;  // counted like a file that cannot be read
        Unreadable(path, reason);
    };
    const InterruptScope interrupt;
    ForEachInputShown(
        options_.inputs, terminal_, err_, bar_, interrupt,
        [this](const std::string& path) { return ExportOne(path); }, unreadable,
        [this] { return seen_; });
    for (auto* directory : {&options_.csv, &options_.json}) {
        if (*directory) {
            if (const FileStatus status = (*directory)->Sync(); !status) {
                err_ << "zx840-cli: cannot put " << (*directory)->Directory()
                     << " on the disk: " << status.Describe() << "\n";
                failed_ = true;
            }
        }
    }
    if (options_.csvToOut && !headerWritten_ && !failed_) {
        // Nothing exported: the stream still names its columns.
        prefix_.clear();
        AppendTestCsvPrefix(prefix_, {});
        WriteStream(std::string_view(prefix_).substr(0, prefix_.find("\r\n") + 2));
    }
    if ((options_.csvToOut || options_.jsonToOut) && !failed_ && !out_.flush()) {
        err_ << "zx840-cli: cannot write to standard output\n";
        failed_ = true;
    }
    // The summary stays off a standard output that carries the export.
    std::ostream& summary = options_.csvToOut || options_.jsonToOut ? err_ : out_;
    summary << "Exported " << std::to_string(exported_) << " of "
            << Counted(seen_, "test file", "test files") << ", " << std::to_string(skipped_)
            << " skipped" << (failed_ ? ", stopped: an output could not be written" : "")
            << (interrupt.Requested() ? ", interrupted" : "") << "\n";
    if (failed_ || skipped_ > 0) {
        return kCliFileError;
    }
    return interrupt.Requested() ? kCliInterrupted : kCliOk;
}

}  // namespace

int ExportCommand(const CommandCall& call) {
    std::optional<ExportOptions> options = ReadExportOptions(call);
    if (!options) {
        return kCliUsage;
    }
    Batch batch(*options, call.out, call.err, call.context.errIsTerminal);
    return batch.Execute();
}

}  // namespace zx840
