// zx840-cli acquire: one acquisition or a run of them, each logged, saved
// and reported as the options ask.
#include <time.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <system_error>

#include "analysis/power_quality.h"
#include "meter/port_map.h"
#include "plan/plan_file.h"
#include "plan/verdict.h"
#include "record/file_io.h"
#include "record/file_names.h"
#include "record/mark_number.h"
#include "record/measurement_file.h"
#include "record/record_json.h"
#include "session/measurement.h"
#include "session/run_trend.h"
#include "store/result_keeper.h"
#include "tools/acquire_options.h"
#include "tools/acquisition_log.h"
#include "tools/cli_commands.h"
#include "tools/cli_failure.h"
#include "tools/cli_files.h"
#include "tools/cli_text.h"
#include "tools/interrupt.h"
#include "tools/report_pdf.h"

namespace zx840 {
namespace {

// After a failed exchange the next one waits this long, so that a meter
// switched off does not fill the log with thousands of rows a second.
constexpr timespec kPauseAfterFailure{1, 0};

// Anything of that name counts, a link that leads nowhere too.
bool Exists(const std::string& directory, const std::string& name) {
    std::error_code ignored;
    return !directory.empty() &&
           std::filesystem::symlink_status(std::filesystem::path(directory) / name, ignored)
                   .type() != std::filesystem::file_type::not_found;
}

bool MakeDirectory(const std::string& directory, std::ostream& err) {
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) {
        err << "zx840-cli: cannot create the directory " << directory << ": " << error.message()
            << "\n";
        return false;
    }
    return true;
}

class Run {
  public:
    Run(const AcquireOptions& options, std::ostream& out, std::ostream& err)
        : options_(options), mark_(options.mark), out_(out), err_(err) {}

    int Execute();

  private:
    bool Prepare();
    bool OpenStore();
    bool OpenLog();
    // One exchange and all that follows from it; false ends the run.
    bool Step(bool last);
    // A failed exchange said, printed and logged; false ends the run.
    bool Failed(const ExchangeResult& exchange, LogEntry& entry, bool last);
    // A good measurement on standard output, as the options ask.
    void Print(const std::optional<Verdict>& verdict);
    bool SaveFiles(const WorkingRecord& working, const Verdict* verdict);
    void KeepResult(const std::optional<Verdict>& verdict);
    bool WriteLog(const std::string& row);
    // The run's summary: on stderr, and as JSON where --summary-json asks.
    void Summarise(bool interrupted);
    double Elapsed() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }
    void Problem(int status) {
        if (status_ == kCliOk) {
            status_ = status;
        }
    }

    const AcquireOptions& options_;
    ProductMark mark_;
    std::ostream& out_;
    std::ostream& err_;
    std::string device_;
    std::optional<AcquisitionLog> log_;
    bool logToOut_ = false;  // --log -: the log is the standard output
    std::optional<ReportPdfWriter> pdf_;
    std::optional<TestPlan> plan_;
    std::unique_ptr<ResultKeeper> keeper_;  // when results are stored
    std::int64_t lastResultMs_ = 0;         // the time of the last result kept
    bool storeWarned_ = false;              // one warning per run
    bool refusalWarned_ = false;            // one for results the store refuses
    bool quarantineWarned_ = false;         // one for what waits in the quarantine
    bool lossReported_ = false;             // and one error when a result is lost
    const HarmonicTable table_;
    WorkingRecord working_;
    std::chrono::steady_clock::time_point start_;  // of the run
    RunSummary summary_;
    const char* ended_ = "count";  // what ended the run, as the JSON summary says it
    int status_ = kCliOk;          // the first problem met
};

// The store of --db or ZX840_DB, when one is named; false after a mistake
// or a refused login.
bool Run::OpenStore() {
    if (const auto storeText = ChosenStoreText(options_.db)) {
        const StoreUrlParse parsed = ParseStoreUrl(*storeText);
        if (!parsed.url) {
            err_ << "zx840-cli: " << (options_.db.empty() ? "ZX840_DB" : "--db") << ": "
                 << parsed.error << "\n";
            status_ = kCliUsage;
            return false;
        }
        keeper_ = std::make_unique<ResultKeeper>(*parsed.url, SpoolFolder());
        // A server that answers and refuses the login is no outage: said
        // before the first exchange, since every result would only spool.
        if (const StoreStatus probe = keeper_->Probe();
            !probe && probe.kind == StoreStatus::Kind::Configuration) {
            err_ << "zx840-cli: " << probe.message << "\n";
            status_ = kCliFileError;
            return false;
        }
    }
    return true;
}

bool Run::Prepare() {
    device_ = PortMap().Resolve(options_.port);
    if (!OpenStore()) {
        return false;
    }
    if (!options_.plan.empty()) {
        PlanRead read = ReadPlanFile(options_.plan);
        if (!read.plan) {
            err_ << "zx840-cli: " << read.error << "\n";
            status_ = kCliFileError;
            return false;
        }
        plan_ = std::move(read.plan);
    }
    if (!options_.pdfDir.empty()) {
        if (!ReportPdfWriter::Available()) {
            err_ << "zx840-cli: --pdf-dir: this build writes no PDF reports (built without the "
                    "GUI)\n";
            status_ = kCliUsage;
            return false;
        }
        pdf_.emplace();
    }
    for (const std::string* directory : {&options_.saveDir, &options_.pdfDir}) {
        if (!directory->empty() && !MakeDirectory(*directory, err_)) {
            status_ = kCliFileError;
            return false;
        }
    }
    return OpenLog();
}

// The log of --log: standard output, a file, or none.
bool Run::OpenLog() {
    if (IsStandardOutput(options_.log)) {
        // The log is the output: its header, then one row per acquisition.
        logToOut_ = true;
        return WriteLog(LogHeaderRow(plan_.has_value()));
    }
    if (!options_.log.empty()) {
        std::string error;
        log_ = AcquisitionLog::Open(options_.log, &error, plan_.has_value());
        if (!log_) {
            err_ << "zx840-cli: " << error << "\n";
            status_ = kCliFileError;
            return false;
        }
    }
    return true;
}

bool Run::WriteLog(const std::string& row) {
    if (logToOut_) {
        // Each row as soon as it is known, for a reader at the other end of a pipe.
        if (!out_.write(row.data(), static_cast<std::streamsize>(row.size())).flush()) {
            err_ << "zx840-cli: cannot write the log to standard output\n";
            Problem(kCliFileError);
            return false;
        }
        return true;
    }
    if (!log_) {
        return true;
    }
    if (const FileStatus status = log_->Append(row); !status) {
        err_ << "zx840-cli: cannot write the log " << options_.log << ": " << status.Describe()
             << "\n";
        Problem(kCliFileError);
        return false;
    }
    return true;
}

bool Run::SaveFiles(const WorkingRecord& working, const Verdict* verdict) {
    bool saved = true;
    const auto save = [&](const std::string& path) {
        if (const FileStatus status =
                WriteFileAtomically(path, SerializeTest(mark_, working.Record));
            !status) {
            err_ << "zx840-cli: cannot save the test to " << path << ": " << status.Describe()
                 << "\n";
            saved = false;
        }
    };
    if (!options_.save.empty()) {
        save(options_.save);
    }
    if (options_.saveDir.empty() && !pdf_) {
        return saved;
    }
    // A number met again never replaces an earlier test: the first name
    // free in both directories, so a test file and its report share it.
    const std::optional<std::string> stem =
        FirstFreeStem(ProductFileStem(mark_), [this](const std::string& candidate) {
            return Exists(options_.saveDir, candidate + "." + kTestFileExtension) ||
                   Exists(options_.pdfDir, candidate + ".pdf");
        });
    if (!stem) {
        err_ << "zx840-cli: cannot save the test: every name from " << ProductFileStem(mark_)
             << " to " << ProductFileStem(mark_) << "-" << std::to_string(kMostSameNames)
             << " is taken\n";
        return false;
    }
    if (!options_.saveDir.empty()) {
        save((std::filesystem::path(options_.saveDir) / (*stem + "." + kTestFileExtension))
                 .string());
    }
    if (pdf_) {
        const std::string path =
            (std::filesystem::path(options_.pdfDir) / (*stem + ".pdf")).string();
        if (std::string error; !pdf_->Write(path, working, mark_, &error, verdict)) {
            err_ << "zx840-cli: " << error << "\n";
            saved = false;
        }
    }
    return saved;
}

void Run::KeepResult(const std::optional<Verdict>& verdict) {
    if (!keeper_) {
        return;
    }
    Result result =
        NewResult(ResultSource::Acquisition, mark_, working_, verdict, lastResultMs_ + 1);
    lastResultMs_ = result.timeMs;
    if (!options_.station.empty()) {
        result.station = options_.station;
    }
    const KeepStatus kept = keeper_->Keep(result);
    if (kept.outcome == KeepOutcome::Lost) {
        Problem(kCliFileError);  // a result that is nowhere is no success
        if (!lossReported_) {
            err_ << "zx840-cli: " << kept.message << "\n";
            lossReported_ = true;
            storeWarned_ = true;
        }
        return;
    }
    // An outage, a refusal and what waits in the quarantine are each said
    // once per run, apart: one never hides the other.
    bool* said = kept.outcome == KeepOutcome::Spooled   ? &storeWarned_
                 : kept.outcome == KeepOutcome::Refused ? &refusalWarned_
                 : kept.outcome == KeepOutcome::Noted   ? &quarantineWarned_
                                                        : nullptr;
    if (said != nullptr && !*said) {
        err_ << "zx840-cli: warning: " << kept.message << "\n";
        *said = true;
    }
}

bool Run::Step(bool last) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    mark_.Testday = FormatTestday(local);

    const Measurement result =
        Measure(device_, options_.baud, table_, plan_ ? &*plan_ : nullptr, working_);
    LogEntry entry{now, options_.port, options_.baud, mark_, result.exchange.failure, {}, nullptr};
    entry.judged = plan_.has_value();
    if (!result.ok) {
        return Failed(result.exchange, entry, last);
    }
    const std::optional<Verdict>& verdict = result.verdict;
    summary_.Add(TrendPointOf(Elapsed(), working_, verdict));
    // Kept durably first (store or spool): a log row or a test file says the
    // unit was measured, and a run killed after them must not have lost it.
    KeepResult(verdict);
    const bool saved = SaveFiles(working_, verdict ? &*verdict : nullptr);
    entry.working = &working_;
    if (verdict) {
        entry.verdict = &*verdict;
    }
    // The measurement is logged even when a file could not be written.
    const bool logged = WriteLog(LogRow(entry));
    Print(verdict);
    if (options_.stepNumber) {
        bool wrapped = false;
        mark_.Number = NextNumber(mark_.Number, &wrapped);
        if (wrapped) {
            err_ << "zx840-cli: warning: Number overflow! Number will be changed to one!\n";
        }
    }
    if (!saved) {
        Problem(kCliFileError);
    }
    if (options_.untilFail && verdict && !verdict->pass) {
        ended_ = "fail";
        return false;
    }
    if (!saved || !logged) {
        ended_ = "error";
    }
    return saved && logged;
}

bool Run::Failed(const ExchangeResult& exchange, LogEntry& entry, bool last) {
    summary_.AddFailedExchange();
    Problem(ReportFailure(err_, exchange, options_.port, device_));
    entry.detail = FailureDetail(exchange, options_.port, device_);
    if (!options_.quiet && !logToOut_ && !options_.text) {
        // The stream has a line for every exchange, a failed one too.
        std::string line;
        JsonWriter json(line);
        json.BeginObject().Key("Time").String(LocalTimestamp(entry.time));
        json.Key("Failure").String(FailureCode(exchange.failure));
        json.Key("Message").String(FailureMessage(exchange.failure).text).EndObject();
        out_ << line << "\n";
        out_.flush();
    }
    if (!WriteLog(LogRow(entry)) || options_.stopOnError) {
        ended_ = "error";
        return false;
    }
    if (!last) {
        nanosleep(&kPauseAfterFailure, nullptr);  // ends early on Ctrl+C
    }
    return true;
}

void Run::Print(const std::optional<Verdict>& verdict) {
    if (options_.quiet || logToOut_) {
        return;
    }
    if (options_.text) {
        PrintText(out_, working_);
        if (verdict) {
            PrintVerdictText(out_, *verdict);
        }
    } else {
        // The record, with the verdict when there is one.
        std::string line;
        JsonWriter json(line);
        json.BeginObject();
        WriteRecordMembers(json, working_);
        WriteDerivedMembers(json, working_.Record);
        if (verdict) {
            WriteVerdict(json.Key("Verdict"), *verdict);
        }
        json.EndObject();
        out_ << line << "\n";
    }
    out_.flush();
}

void Run::Summarise(bool interrupted) {
    if (options_.continuous || options_.count > 1) {
        PrintRunSummary(err_, summary_, interrupted);
    }
    if (options_.summaryJson.empty()) {
        return;
    }
    std::string text;
    JsonWriter json(text);
    json.BeginObject().Key("Ended").String(ended_);
    WriteRunSummaryMembers(json, summary_);
    json.EndObject();
    text += "\n";
    if (const FileStatus status = WriteFileAtomically(options_.summaryJson, text); !status) {
        err_ << "zx840-cli: cannot write the summary " << options_.summaryJson << ": "
             << status.Describe() << "\n";
        Problem(kCliFileError);
    }
}

int Run::Execute() {
    if (!Prepare()) {
        return status_;
    }
    const InterruptScope interrupt;
    std::int64_t done = 0;
    bool interrupted = false;
    summary_.judged = plan_.has_value();
    start_ = std::chrono::steady_clock::now();
    while (options_.continuous || done < options_.count) {
        if (interrupt.Requested()) {
            interrupted = true;
            ended_ = "interrupted";
            if (!options_.Endless()) {
                Problem(kCliInterrupted);
            }
            break;
        }
        if (options_.duration && Elapsed() >= *options_.duration) {
            ended_ = "duration";
            break;
        }
        ++done;
        if (!Step(!options_.Endless() && done == options_.count)) {
            break;
        }
    }
    Summarise(interrupted);
    if (status_ == kCliOk && summary_.judgedFail > 0) {
        status_ = kCliVerdictFail;
    }
    return status_;
}

}  // namespace

int AcquireCommand(const CommandCall& call) {
    int status = kCliOk;
    const std::optional<AcquireOptions> options = ReadAcquireOptions(call, &status);
    if (!options) {
        return status;
    }
    Run run(*options, call.out, call.err);
    return run.Execute();
}

}  // namespace zx840
