// A results store on SQLite or PostgreSQL, through Qt SQL: writing results,
// each in one transaction and never twice, and finding them again.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "plan/plan_file.h"
#include "store/result.h"
#include "store/store_url.h"

class QSqlError;
class QSqlQuery;

namespace zx840 {

// Success, or what went wrong in words for the operator (never a password)
// and what it means for what to do next.
struct StoreStatus {
    enum class Kind {
        None,           // success
        Unavailable,    // the store cannot be reached or written now; later it may
        Refused,        // the store answered and refused what was written for its
                        // content: writing it again will never help
        Damaged,        // an SQLite file that is no database or is corrupt
        Configuration,  // the server answered and refused the login: a wrong
                        // password, an unknown role or database, a refused TLS
                        // requirement; no retry helps, the URL must change
    };
    bool ok = true;
    std::string message;
    Kind kind = Kind::None;
    explicit operator bool() const { return ok; }
    static StoreStatus Failed(std::string text, Kind kind = Kind::Unavailable) {
        return {false, std::move(text), kind};
    }
};

// Where a result stands in the history's order: newest first, and of two
// results of one millisecond the greater id first.
struct ResultKey {
    std::int64_t timeMs = 0;
    std::string id;
    bool operator==(const ResultKey&) const = default;
};

// Which results a query takes; every filter given must hold.
struct ResultFilter {
    std::optional<std::string> id;  // one result
    std::optional<std::string> type;
    std::optional<std::int32_t> numberFrom;  // a single number: both ends the same
    std::optional<std::int32_t> numberTo;
    std::optional<bool> pass;  // verdict PASS or FAIL; results without a verdict match neither
    std::optional<std::string> station;
    std::optional<std::int64_t> sinceMs;  // inclusive
    std::optional<std::int64_t> untilMs;  // inclusive
    // Only the results that come after this one in the history's order:
    // where the page after a page begins, found on the index of time and
    // id however deep in the list it lies.
    std::optional<ResultKey> after;
};

// Minimum, mean, maximum and sample standard deviation of one reading over
// the results that have it.
struct ReadingStats {
    std::int64_t count = 0;
    double min = 0.0;
    double mean = 0.0;
    double max = 0.0;
    std::optional<double> stdDev;  // needs two values
};

struct ResultStats {
    std::int64_t count = 0;
    std::int64_t passed = 0;
    std::int64_t failed = 0;
    std::array<ReadingStats, kPlanReadings> readings{};  // by PlanReading
};

// The stats of one station or one product type.
struct GroupStats {
    std::string name;
    ResultStats stats;
};
// What the stats are given for one by one.
enum class StatsGroup { Station, Type };

// Results, PASS and FAIL of one station and type, or of one hour, and when
// the newest of them was made.
struct TallyRow {
    std::string station;      // by station and type
    std::string type;         // by station and type
    std::int64_t hourMs = 0;  // by hour: where the hour begins (UTC)
    std::int64_t count = 0;
    std::int64_t passed = 0;
    std::int64_t failed = 0;
    std::int64_t lastMs = 0;
    friend bool operator==(const TallyRow&, const TallyRow&) = default;
};
enum class TallyBy { StationAndType, Hour };

// How many failing results of a filter failed one check.
struct CheckCount {
    std::string item;
    std::int64_t count = 0;
    friend bool operator==(const CheckCount&, const CheckCount&) = default;
};

// Process capability of a reading against one end of a limit: Cpl =
// (mean - min) / 3s for its minimum, Cpu = (max - mean) / 3s for its
// maximum; against both ends, Cpk = min(Cpl, Cpu). Nothing without the
// ends each needs or without a spread.
std::optional<double> Cpl(const ReadingStats& stats, const Limit& limit);
std::optional<double> Cpu(const ReadingStats& stats, const Limit& limit);
std::optional<double> Cpk(const ReadingStats& stats, const Limit& limit);

// The stats of two sets of results together, from the stats of each
// (counts added, extremes compared, means and spreads merged as Chan et
// al. do, without the values).
ResultStats CombinedStats(const ResultStats& a, const ResultStats& b);

class ResultsStore {
  public:
    enum class Journal { Wal, Rollback };
    enum class Access { ReadWrite, ReadOnly };

    // Opens the store, creating it or bringing an older one up to date.
    // Nothing, with `status` saying why, when it cannot be used. A new
    // SQLite file is made 0600 (see private_files.h).
    // ReadOnly neither creates nor changes anything: a store the user may
    // only read can be listed. It takes a store of this schema or one
    // without the newest indices; an older one is refused until a program
    // that may write it brings it up to date. Only Find, Count and Stats
    // work on it.
    static std::unique_ptr<ResultsStore> Open(const StoreUrl& url, StoreStatus* status,
                                              Journal journal = Journal::Wal,
                                              Access access = Access::ReadWrite);
    ~ResultsStore();
    ResultsStore(const ResultsStore&) = delete;
    ResultsStore& operator=(const ResultsStore&) = delete;

    const StoreUrl& Url() const { return url_; }

    // Writes one result in one transaction. A result whose id is already
    // there is left as it was; `inserted` says which happened.
    StoreStatus Write(const Result& result, bool* inserted = nullptr);
    // Writes many results in one transaction: all or none. `inserted` counts
    // those that were not there yet.
    StoreStatus WriteAll(std::span<const Result> results, std::int64_t* inserted = nullptr);
    StoreStatus Remove(const std::vector<std::string>& ids);

    // Moves the results `ids` of this SQLite store, as they are stored
    // (readable or not), into the SQLite store at `path`, which has this
    // schema: in one transaction, so each is in exactly one of them.
    StoreStatus MoveTo(const std::string& path, const std::vector<std::string>& ids);

    // Results newest first, from the `offset`-th match, at most `limit` of
    // them (no limit when negative). With Detail::Summary the spectra (but
    // their fundamentals) and the waveforms are left empty (zeros). A result that
    // cannot be read fails the query, unless `damaged` is given: then its
    // id goes there and the others are found.
    StoreStatus Find(const ResultFilter& filter, std::int64_t offset, std::int64_t limit,
                     Detail detail, std::vector<Result>& found,
                     std::vector<std::string>* damaged = nullptr);
    // Every result of the filter in the order of Find, at most `limit` (no
    // limit when negative), handed to `visit` one at a time until it says
    // stop. Read a page at a time, each page after the last one's key: a
    // million results take the memory of one page, and results kept
    // meanwhile (newer than the first) are not taken in.
    StoreStatus Scan(const ResultFilter& filter, std::int64_t limit, Detail detail,
                     const std::function<bool(const Result&)>& visit, std::int64_t pageRows = 500);
    // The keys of every `every`-th result of the filter in the order of
    // Find (the `every`-th, the 2·`every`-th, ...) among its first `limit`
    // (all when negative): the last row of each full page, so that page
    // p + 1 is the page after keys[p]. Appended to `keys`.
    StoreStatus PageKeys(const ResultFilter& filter, std::int64_t every, std::int64_t limit,
                         std::vector<ResultKey>& keys);
    StoreStatus Count(const ResultFilter& filter, std::int64_t* count);
    StoreStatus Stats(const ResultFilter& filter, ResultStats* stats);
    // The stats of each station or product type among the results `filter`
    // takes, in the byte order of their names; none without results.
    StoreStatus Stats(const ResultFilter& filter, StatsGroup by, std::vector<GroupStats>* groups);
    // The results the filter takes counted by station and type (in the byte
    // order of station, then type) or by hour (oldest first), in the engine.
    StoreStatus Tally(const ResultFilter& filter, TallyBy by, std::vector<TallyRow>* rows);
    // How often each check failed among the failing results the filter
    // takes: most often first, then by item.
    StoreStatus FailingChecks(const ResultFilter& filter, std::vector<CheckCount>* counts);

  private:
    ResultsStore(const StoreUrl& url, QString connection);
    StoreStatus Fail(const std::string& what, const QSqlError& error) const;
    StoreStatus Insert(const Result& result, bool* inserted);
    StoreStatus OpenConnection(Access access);
    StoreStatus OpenPostgresql(bool readOnly);
    // Makes a new file 0600 in a private folder first, unless only to read.
    StoreStatus OpenSqlite(bool readOnly);
    // Runs each statement for each id (bound to its one parameter), all in
    // one transaction.
    StoreStatus ForEachId(const QStringList& statements, const std::vector<std::string>& ids);
    StoreStatus PrepareWriting(Journal journal);
    // The stats of the results of each value of `groupColumn`; of all of
    // them as one group named "" when it is null.
    StoreStatus StatsBy(const ResultFilter& filter, const char* groupColumn,
                        std::vector<GroupStats>& groups);
    // Whether the period of `filter` holds so few results that SQLite
    // should look them up by time; never for PostgreSQL, which plans by its
    // statistics.
    bool FewInTime(const ResultFilter& filter);

    StoreUrl url_;
    QString connection_;
    std::unique_ptr<QSqlQuery> insert_;  // prepared once, used for every write
    std::unique_ptr<QSqlQuery> insertArrays_;
    bool derivedColumns_ = true;  // false for an older store open only to read
};

}  // namespace zx840
