// zx840-cli sync, history, stats and import: the results store from the
// command line.
#include <sys/stat.h>

#include <charconv>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>

#include "analysis/displayed_record.h"
#include "record/derived_values.h"
#include "record/file_io.h"
#include "record/record_json.h"
#include "store/result_keeper.h"
#include "store/result_text.h"
#include "tools/cli_commands.h"
#include "tools/cli_files.h"
#include "tools/cli_inputs.h"
#include "tools/cli_store.h"
#include "tools/cli_text.h"
#include "tools/interrupt.h"
#include "tools/progress_bar.h"

namespace zx840 {
namespace {

constexpr std::size_t kImportBatch = 500;  // results written in one transaction

// The options of a store command: --db, and the others in the order given.
struct StoreArgs {
    std::string db;
    std::vector<std::pair<std::string, std::string>> options;  // name, value ("" for a switch)
};

StoreArgs ReadStoreArgs(const CommandCall& call) {
    StoreArgs read;
    for (const auto& [name, value] : call.options) {
        if (name == "--db") {
            read.db = value;
        } else {
            read.options.emplace_back(name, value);
        }
    }
    return read;
}

// The store named by --db, else ZX840_DB, else the per-user default.
std::optional<StoreUrl> StoreFor(const std::string& db, std::ostream& err) {
    const std::string text = ChosenStoreText(db).value_or("sqlite:" + DefaultStorePath());
    const StoreUrlParse parsed = ParseStoreUrl(text);
    if (!parsed.url) {
        err << "zx840-cli: " << (db.empty() ? "ZX840_DB" : "--db") << ": " << parsed.error << "\n";
    }
    return parsed.url;
}

// The store, or nothing with `failure` set: a text that is no store URL is
// a usage error (status 1, as in acquire and sync), a store that cannot be
// opened status 5.
std::unique_ptr<ResultsStore> OpenFor(const std::string& db, std::ostream& err,
                                      ResultsStore::Access access, int* failure) {
    const auto url = StoreFor(db, err);
    if (!url) {
        *failure = kCliUsage;
        return nullptr;
    }
    StoreStatus status;
    auto store = ResultsStore::Open(*url, &status, ResultsStore::Journal::Wal, access);
    if (!store) {
        err << "zx840-cli: " << status.message << "\n";
        *failure = kCliFileError;
    }
    return store;
}

bool ParseInt(const std::string& text, std::int64_t& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc{} && end == text.data() + text.size();
}

// The filter options shared by history and stats; false after a usage error.
bool ApplyFilterOption(const CommandCall& call, const std::string& name, const std::string& value,
                       ResultFilter& filter) {
    if (name == "--type") {
        filter.type = value;
    } else if (name == "--id") {
        filter.id = value;
    } else if (name == "--station") {
        filter.station = value;
    } else if (name == "--number") {
        const std::optional<NumberRange> range = ParseNumberRange(value);
        if (!range) {
            call.Mistake("--number takes N or N-M, not \"" + value + "\"");
            return false;
        }
        filter.numberFrom = range->from;
        filter.numberTo = range->to;
    } else if (name == "--verdict") {
        if (value != "PASS" && value != "FAIL") {
            call.Mistake("--verdict takes PASS or FAIL, not \"" + value + "\"");
            return false;
        }
        filter.pass = value == "PASS";
    } else if (name == "--since" || name == "--until") {
        const auto time = ParseIsoTime(value);
        if (!time) {
            call.Mistake(name + " takes an ISO 8601 time such as 2026-12-08T14:30:00Z, not \"" +
                         value + "\"");
            return false;
        }
        (name == "--since" ? filter.sinceMs : filter.untilMs) = *time;
    }
    return true;
}

// What the history is asked to list.
struct HistoryQuery {
    ResultFilter filter;
    std::int64_t limit = -1;
    bool full = false;
    bool csv = false;
};

// Nothing after a mistake was said.
std::optional<HistoryQuery> ReadHistoryQuery(const CommandCall& call, const StoreArgs& read) {
    HistoryQuery query;
    for (const auto& [name, value] : read.options) {
        if (name == "--full") {
            query.full = true;
        } else if (name == "--csv") {
            query.csv = true;
        } else if (name == "--limit") {
            if (!ParseInt(value, query.limit) || query.limit < 1) {
                call.Mistake("--limit takes a whole number from 1, not \"" + value + "\"");
                return std::nullopt;
            }
        } else if (!ApplyFilterOption(call, name, value, query.filter)) {
            return std::nullopt;
        }
    }
    return query;
}

// Row by row from the store to the output: a million results take the
// memory of one page of them. A store that fails half way leaves what was
// written.
StoreStatus ListHistory(ResultsStore& store, const HistoryQuery& query, std::ostream& out) {
    std::string text;
    JsonWriter json(text);
    if (query.csv) {
        AppendResultCsvHeader(text);
    } else {
        json.BeginArray(JsonWriter::Layout::OneLineEach);
    }
    const Detail detail = query.full ? Detail::Full : Detail::Summary;
    const StoreStatus status = store.Scan(
        query.filter, query.limit, query.csv ? Detail::Summary : detail, [&](const Result& result) {
            if (query.csv) {
                AppendResultCsv(text, result);
            } else {
                WriteResult(json, result, detail);
            }
            if (text.size() >= 64 * 1024) {
                out << text;
                text.clear();
            }
            return static_cast<bool>(out);
        });
    if (!query.csv) {
        json.EndArray();
        text += '\n';
    }
    out << text;
    return status;
}

}  // namespace

int HistoryCommand(const CommandCall& call) {
    const StoreArgs read = ReadStoreArgs(call);
    if (const auto written = KeptResultFiles(call, read.db, read.options)) {
        return *written;
    }
    const std::optional<HistoryQuery> query = ReadHistoryQuery(call, read);
    if (!query) {
        return kCliUsage;
    }
    // Read only: a store the user may only read is listed all the same.
    int failure = kCliFileError;
    const auto store = OpenFor(read.db, call.err, ResultsStore::Access::ReadOnly, &failure);
    if (!store) {
        return failure;
    }
    if (const StoreStatus status = ListHistory(*store, *query, call.out); !status) {
        call.err << "zx840-cli: " << status.message << "\n";
        return kCliFileError;
    }
    return kCliOk;
}

namespace {

// What stats are asked for.
struct StatsQuery {
    ResultFilter filter;
    std::optional<TestPlan> plan;
    std::optional<StatsGroup> by;
};

// Nothing, with `status` set, after a mistake or a plan that cannot be used.
std::optional<StatsQuery> ReadStatsQuery(const CommandCall& call, const StoreArgs& read,
                                         int* status) {
    StatsQuery query;
    *status = kCliUsage;
    for (const auto& [name, value] : read.options) {
        if (name == "--plan") {
            query.plan = LoadPlan(value, call.err);
            if (!query.plan) {
                *status = kCliFileError;
                return std::nullopt;
            }
        } else if (name == "--by") {
            if (value != "station" && value != "type") {
                call.Mistake("--by takes station or type, not \"" + value + "\"");
                return std::nullopt;
            }
            query.by = value == "station" ? StatsGroup::Station : StatsGroup::Type;
        } else if (!ApplyFilterOption(call, name, value, query.filter)) {
            return std::nullopt;
        }
    }
    if (!query.filter.type && query.by != StatsGroup::Type) {
        call.Mistake("stats needs --type, or --by type");
        return std::nullopt;
    }
    return query;
}

}  // namespace

int StatsCommand(const CommandCall& call) {
    std::ostream& err = call.err;
    const StoreArgs read = ReadStoreArgs(call);
    int failure = kCliFileError;
    const std::optional<StatsQuery> query = ReadStatsQuery(call, read, &failure);
    if (!query) {
        return failure;
    }
    const auto& [filter, plan, by] = *query;
    const auto store = OpenFor(read.db, err, ResultsStore::Access::ReadOnly, &failure);
    if (!store) {
        return failure;
    }
    std::vector<GroupStats> groups;
    StoreStatus status;
    if (by) {
        status = store->Stats(filter, *by, &groups);
    } else {
        groups.push_back({});
        status = store->Stats(filter, &groups.front().stats);
    }
    if (!status) {
        err << "zx840-cli: " << status.message << "\n";
        return kCliFileError;
    }
    std::string text;
    for (const GroupStats& group : groups) {
        const bool byStation = by == StatsGroup::Station;
        JsonWriter json(text);
        WriteResultStats(json, byStation || !by ? filter.type.value_or("") : group.name,
                         byStation ? std::optional<std::string>(group.name) : filter.station,
                         group.stats, plan);
        text += '\n';
    }
    call.out << text;
    return kCliOk;
}

int SyncCommand(const CommandCall& call) {
    std::ostream& out = call.out;
    std::ostream& err = call.err;
    const auto url = StoreFor(ReadStoreArgs(call).db, err);
    if (!url) {
        return kCliUsage;
    }
    ResultKeeper keeper(*url, SpoolFolder(), std::chrono::milliseconds(0));
    const SyncReport report = keeper.Sync();
    out << "Pushed " << Counted(static_cast<std::size_t>(report.pushed), "result", "results")
        << " to " << url->Display();
    if (report.left) {
        out << ", " << std::to_string(*report.left) << " left in the spool";
    } else {
        out << "; the spool could not be read";
    }
    if (report.quarantined > 0) {
        out << ", " << std::to_string(report.quarantined) << " moved to the quarantine";
    }
    out << "\n";
    if (!report.status) {
        err << "zx840-cli: " << report.status.message << "\n";
    }
    // Until someone has looked at them, results that go to no store make
    // every sync a failure.
    if (!report.quarantine.empty()) {
        err << "zx840-cli: " << report.quarantine << "\n";
    }
    return report.status && report.quarantine.empty() ? kCliOk : kCliFileError;
}

namespace {

// Test files into the store; the id follows each file's content, so a file
// imported again is kept once.
class Import {
  public:
    Import(ResultsStore& store, std::ostream& err, bool terminal)
        : store_(store), err_(err), terminal_(terminal) {}

    int Execute(const std::vector<std::string>& inputs, std::ostream& out);

  private:
    bool One(const std::string& path);
    bool Flush();
    // A file skipped: one that cannot be read, said as every command says
    // it, or one whose result the store refuses, with the store's reason.
    void Unreadable(const std::string& path, const std::string& reason) {
        if (bar_) {
            bar_->Clear();
        }
        ReportUnreadable(err_, path, reason);
        ++skipped_;
    }
    void Refused(const std::string& path, const std::string& reason) {
        if (bar_) {
            bar_->Clear();
        }
        err_ << "zx840-cli: skipped " << path << ": " << reason << "\n";
        ++skipped_;
    }

    ResultsStore& store_;
    std::ostream& err_;
    bool terminal_;
    std::optional<ProgressBar> bar_;
    std::vector<Result> batch_;
    std::vector<std::string> batchPaths_;  // the file of each result of the batch
    std::vector<std::uint8_t> bytes_;
    std::string station_ = LocalStation();
    std::size_t seen_ = 0;
    std::size_t added_ = 0;
    std::size_t already_ = 0;  // written, and there before
    std::size_t skipped_ = 0;
    std::size_t unwritten_ = 0;  // read, and not written when the store failed
    bool failed_ = false;
};

bool Import::One(const std::string& path) {
    ++seen_;
    if (const FileStatus status = ReadWholeFile(path, &bytes_, kMaxTestFileBytes); !status) {
        Unreadable(path, DescribeTestFileReadError(status));
        return true;
    }
    const auto test = ParseTest(bytes_);
    if (!test) {
        Unreadable(path, kUnexpectedFileFormat);
        return true;
    }
    // As the panel shows an opened test: spectra from the file, angles anew.
    Result result =
        NewResult(ResultSource::Import, test->Mark, DisplayedRecord(test->Record), std::nullopt);
    result.id = ImportedResultId(bytes_);
    result.station = station_;
    // When the test was saved is the best knowledge of when it was made.
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        result.timeMs =
            static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000;
    }
    batch_.push_back(std::move(result));
    batchPaths_.push_back(path);
    return batch_.size() < kImportBatch || Flush();
}

bool Import::Flush() {
    std::int64_t added = 0;
    StoreStatus status = store_.WriteAll(batch_, &added);
    std::size_t written = status ? batch_.size() : 0;
    if (status.kind == StoreStatus::Kind::Refused) {
        // The store refuses one of them for its content: each on its own,
        // and a file it refuses is skipped with the reason.
        added = 0;
        for (std::size_t i = 0; i < batch_.size(); ++i) {
            bool inserted = false;
            status = store_.Write(batch_[i], &inserted);
            if (status.kind == StoreStatus::Kind::Refused) {
                Refused(batchPaths_[i], status.message);
                status = {};
            } else if (!status) {
                unwritten_ += batch_.size() - i;
                break;
            } else {
                ++written;
                added += inserted ? 1 : 0;
            }
        }
    } else if (!status) {
        unwritten_ += batch_.size();
    }
    added_ += static_cast<std::size_t>(added);
    already_ += written - static_cast<std::size_t>(added);
    batch_.clear();
    batchPaths_.clear();
    if (!status) {
        if (bar_) {
            bar_->Clear();
        }
        err_ << "zx840-cli: " << status.message << "\n";
        failed_ = true;
        return false;
    }
    return true;
}

int Import::Execute(const std::vector<std::string>& inputs, std::ostream& out) {
    const auto unreadable = [this](const std::string& path, const std::string& reason) {
        ++seen_;
        Unreadable(path, reason);
    };
    const InterruptScope interrupt;
    ForEachInputShown(
        inputs, terminal_, err_, bar_, interrupt,
        [this](const std::string& path) { return One(path); }, unreadable,
        [this] { return seen_; });
    if (!failed_ && !batch_.empty()) {
        Flush();
    }
    out << "Imported " << std::to_string(added_) << " of "
        << Counted(seen_, "test file", "test files") << " into " << store_.Url().Display() << ", "
        << std::to_string(already_) << " already there, " << std::to_string(skipped_) << " skipped"
        << (failed_ ? ", " + std::to_string(unwritten_) +
                          " not written: the store could not be written, and the import stopped"
                    : "")
        << (interrupt.Requested() ? ", interrupted" : "") << "\n";
    if (failed_ || skipped_ > 0) {
        return kCliFileError;
    }
    return interrupt.Requested() ? kCliInterrupted : kCliOk;
}

}  // namespace

int ImportCommand(const CommandCall& call) {
    if (call.operands.empty()) {
        return call.Mistake("import needs test files or directories");
    }
    int failure = kCliFileError;
    const auto store =
        OpenFor(ReadStoreArgs(call).db, call.err, ResultsStore::Access::ReadWrite, &failure);
    if (!store) {
        return failure;
    }
    Import import(*store, call.err, call.context.errIsTerminal);
    return import.Execute(call.operands, call.out);
}

std::unique_ptr<ResultsStore> OpenCommandStore(const std::string& db, std::ostream& err,
                                               ResultsStore::Access access, int* failure) {
    return OpenFor(db, err, access, failure);
}

}  // namespace zx840
