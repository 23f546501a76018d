// The results store, the same tests on SQLite and on a real PostgreSQL
// server: schema and migration, bit-exact round trips, filters, statistics,
// duplicates, a newer store refused, a wrong password, the spool.
#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <set>
#include <span>
#include <tuple>

#include "record/file_io.h"
#include "store/history_export.h"
#include "store/history_pages.h"
#include "store/result_keeper.h"
#include "store/result_rows.h"
#include "store/results_store.h"
#include "store/schema.h"
#include "tests/store_test_support.h"

namespace zx840 {
namespace {

using testing::ExpectSameResult;
using testing::OddResult;
using testing::RawConnection;
using testing::ScratchStore;

template <typename Set>
ResultFilter Filter(Set set) {
    ResultFilter filter;
    set(filter);
    return filter;
}

std::set<std::string> Names(std::span<const ResultColumn> columns) {
    std::set<std::string> names;
    for (const ResultColumn& column : columns) {
        names.emplace(column.name);
    }
    return names;
}

std::unique_ptr<ResultsStore> OpenStore(const ScratchStore& scratch) {
    StoreStatus status;
    auto store = ResultsStore::Open(scratch.Url(), &status);
    EXPECT_TRUE(store) << status.message;
    return store;
}

class StoreTest : public testing::BackendTest {};

TEST_P(StoreTest, CreatesTheSchemaAndMigratesAVersion1Store) {
    const StoreUrl url = scratch_->Url();
    {
        RawConnection raw(url);
        QSqlDatabase db = raw.Db();
        const MigrationResult first = MigrateStore(db, url.kind, 1);
        ASSERT_TRUE(first.ok) << first.error;
        EXPECT_EQ(first.foundVersion, 0);
        // A result as version 1 kept it, without any verdict columns.
        const Result old = OddResult(1);
        QSqlQuery insert(db);
        ASSERT_TRUE(insert.prepare(
            "INSERT INTO results (id, time_ms, station, program_version, source, manufacturer, "
            "product_type, product_number, temperature, humidity, operator_name, inspector, "
            "testday, data_valid, readings) VALUES "
            "(?, ?, 's1', '1.04', 'acquisition', 'M', 'T1', 5, '25', '65', 'O', 'I', "
            "'26-01-01', 1, ?)"));
        const auto& m = old.working.Record;
        const float kept[14] = {50.0f, 1.4f, 1.41f, 0.9f, 100.0f, 0.5f,       230.0f,
                                0,     0,    0,     0,    0,      m.USpec[0], m.ISpec[0]};
        insert.addBindValue(QString::fromStdString(old.id));
        insert.addBindValue(static_cast<qlonglong>(old.timeMs));
        insert.addBindValue(QByteArray::fromStdString(FloatBytes(kept, 14)));
        ASSERT_TRUE(insert.exec()) << insert.lastError().text().toStdString();
        QSqlQuery arrays(db);
        ASSERT_TRUE(arrays.prepare(
            "INSERT INTO result_arrays (id, uspec, ispec, uwave, iwave) VALUES (?, ?, ?, ?, ?)"));
        arrays.addBindValue(QString::fromStdString(old.id));
        arrays.addBindValue(QByteArray::fromStdString(FloatBytes(m.USpec.data(), 50)));
        arrays.addBindValue(QByteArray::fromStdString(FloatBytes(m.ISpec.data(), 50)));
        arrays.addBindValue(QByteArray::fromStdString(IntBytes(m.UWave.data(), 256)));
        arrays.addBindValue(QByteArray::fromStdString(IntBytes(m.IWave.data(), 256)));
        ASSERT_TRUE(arrays.exec());
        EXPECT_EQ(raw.Value("SELECT version FROM schema_version").toInt(), 1);
    }
    auto store = OpenStore(*scratch_);
    ASSERT_TRUE(store);
    {
        RawConnection raw(url);
        EXPECT_EQ(raw.Value("SELECT version FROM schema_version").toInt(), kStoreSchemaVersion);
        EXPECT_EQ(raw.Value("SELECT count(*) FROM schema_version").toInt(), 1);
    }
    std::vector<Result> found;
    ASSERT_TRUE(store->Find({}, 0, -1, Detail::Full, found));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].station, "s1");
    EXPECT_EQ(found[0].working.Record.Urms, 230.0f);
    EXPECT_FALSE(found[0].verdict);
    EXPECT_EQ(found[0].working.Record.UWave, OddResult(1).working.Record.UWave);
    // The migrated store takes verdicts; opening it again changes nothing.
    ASSERT_TRUE(store->Write(OddResult(2)));
    store.reset();
    store = OpenStore(*scratch_);
    ASSERT_TRUE(store);
    found.clear();
    ASSERT_TRUE(store->Find({}, 0, -1, Detail::Summary, found));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_TRUE(found[0].verdict);  // newest first
}

TEST_P(StoreTest, EveryFieldRoundTripsBitExactly) {
    auto store = OpenStore(*scratch_);
    ASSERT_TRUE(store);
    {
        RawConnection raw(scratch_->Url());
        if (scratch_->Url().kind == StoreKind::Sqlite) {
            EXPECT_EQ(raw.Value("PRAGMA journal_mode").toString(), "wal");
        }
        // The store's tables of columns and a fresh store agree.
        EXPECT_EQ(raw.Columns("results"), Names(kResultColumns));
        EXPECT_EQ(raw.Columns("result_arrays"), Names(kArrayColumns));
    }
    Result plain = OddResult(8);
    plain.verdict.reset();
    plain.unjudged = "Plan refused: \"Limits\" is not an object";
    plain.source = ResultSource::Import;
    plain.timeMs = 1765000009999;
    for (const Result& result : {OddResult(7), plain}) {
        ASSERT_TRUE(store->Write(result));
        std::vector<Result> found;
        ResultFilter filter;
        filter.sinceMs = filter.untilMs = result.timeMs;
        ASSERT_TRUE(store->Find(filter, 0, -1, Detail::Full, found));
        ASSERT_EQ(found.size(), 1u);
        ExpectSameResult(found[0], result);
        // Without the arrays: everything else, arrays left at zero.
        found.clear();
        ASSERT_TRUE(store->Find(filter, 0, -1, Detail::Summary, found));
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(found[0].working.Record.Freq),
                  std::bit_cast<std::uint32_t>(result.working.Record.Freq));
        EXPECT_EQ(found[0].working.Record.USpec[0], result.working.Record.USpec[0]);
        EXPECT_EQ(found[0].working.Record.ISpec[0], result.working.Record.ISpec[0]);
        EXPECT_EQ(found[0].working.Record.USpec[1], 0.0f);
        EXPECT_EQ(found[0].working.Record.IWave[0], 0);
    }
}

// Thirty results over types, numbers, stations, times and verdicts; every
// filter against the same selection made in the test.
TEST_P(StoreTest, FiltersSelectExactlyTheMatchingResultsNewestFirst) {
    auto store = OpenStore(*scratch_);
    ASSERT_TRUE(store);
    std::vector<Result> all;
    for (std::uint32_t i = 0; i < 30; ++i) {
        Result r = OddResult(100 + i);
        r.mark.Type = i % 3 == 0 ? "A100" : "B200";
        r.mark.Number = static_cast<std::int32_t>(i % 10);
        r.station = i % 2 == 0 ? "st-1" : "st-2";
        r.timeMs = 1765000000000 + static_cast<std::int64_t>((i * 7) % 30) * 60000;
        if (i % 4 == 0) {
            r.verdict.reset();
        } else {
            r.verdict->pass = i % 4 == 1;
        }
        all.push_back(r);
    }
    std::int64_t inserted = 0;
    ASSERT_TRUE(store->WriteAll(all, &inserted));
    EXPECT_EQ(inserted, 30);
    const auto check = [&](const ResultFilter& filter, auto keep, std::int64_t limit = -1) {
        std::vector<Result> want;
        std::copy_if(all.begin(), all.end(), std::back_inserter(want), keep);
        std::sort(want.begin(), want.end(),
                  [](const Result& a, const Result& b) { return a.timeMs > b.timeMs; });
        if (limit >= 0 && want.size() > static_cast<std::size_t>(limit)) {
            want.resize(static_cast<std::size_t>(limit));
        }
        std::vector<Result> got;
        ASSERT_TRUE(store->Find(filter, 0, limit, Detail::Summary, got));
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].id, want[i].id) << i;
        }
        std::int64_t count = -1;
        ASSERT_TRUE(store->Count(filter, &count));
        if (limit < 0) {
            EXPECT_EQ(count, static_cast<std::int64_t>(want.size()));
        }
    };
    check({}, [](const Result&) { return true; });
    check(Filter([](ResultFilter& f) { f.type = "A100"; }),
          [](const Result& r) { return r.mark.Type == "A100"; });
    check(Filter([](ResultFilter& f) { f.numberFrom = f.numberTo = 3; }),
          [](const Result& r) { return r.mark.Number == 3; });
    check(Filter([](ResultFilter& f) {
              f.type = "B200";
              f.numberFrom = 2;
              f.numberTo = 5;
          }),
          [](const Result& r) {
              return r.mark.Type == "B200" && r.mark.Number >= 2 && r.mark.Number <= 5;
          });
    check(Filter([](ResultFilter& f) { f.pass = true; }),
          [](const Result& r) { return r.verdict && r.verdict->pass; });
    check(Filter([](ResultFilter& f) { f.pass = false; }),
          [](const Result& r) { return r.verdict && !r.verdict->pass; });
    check(Filter([](ResultFilter& f) { f.station = "st-2"; }),
          [](const Result& r) { return r.station == "st-2"; });
    const std::int64_t since = 1765000000000 + 10 * 60000;
    const std::int64_t until = 1765000000000 + 20 * 60000;
    check(Filter([&](ResultFilter& f) {
              f.sinceMs = since;
              f.untilMs = until;
          }),
          [&](const Result& r) { return r.timeMs >= since && r.timeMs <= until; });
    check(
        Filter([](ResultFilter& f) { f.station = "st-1"; }),
        [](const Result& r) { return r.station == "st-1"; }, 4);
    // Paging: the pages together are the whole list, in order.
    std::vector<Result> whole;
    ASSERT_TRUE(store->Find({}, 0, -1, Detail::Summary, whole));
    std::vector<Result> paged;
    for (std::int64_t offset = 0; offset < 30; offset += 7) {
        ASSERT_TRUE(store->Find({}, offset, 7, Detail::Summary, paged));
    }
    ASSERT_EQ(paged.size(), whole.size());
    for (std::size_t i = 0; i < paged.size(); ++i) {
        EXPECT_EQ(paged[i].id, whole[i].id);
    }
}

TEST_P(StoreTest, StatsMatchValuesComputedIndependently) {
    auto store = OpenStore(*scratch_);
    ASSERT_TRUE(store);
    std::mt19937 random(42);
    std::normal_distribution<float> urms(230.0f, 0.8f);
    std::vector<Result> all;
    for (std::uint32_t i = 0; i < 60; ++i) {
        Result r = OddResult(500 + i);
        r.mark.Type = i < 50 ? "S1" : "other";
        r.working.Record.Urms = urms(random);
        r.working.Record.Power = 100.0f + static_cast<float>(i);
        r.working.Record.Freq = 50.0f;
        r.working.Record.USpec[0] = i == 3 ? 0.0f : 325.0f;  // one without a fundamental
        if (i % 5 == 0) {
            r.verdict.reset();
        } else {
            r.verdict->pass = i % 5 != 1;
        }
        all.push_back(r);
    }
    ASSERT_TRUE(store->WriteAll(all));
    ResultStats stats;
    ASSERT_TRUE(store->Stats(Filter([](ResultFilter& f) { f.type = "S1"; }), &stats));
    EXPECT_EQ(stats.count, 50);
    EXPECT_EQ(stats.passed, 30);  // i % 5 in 2, 3, 4
    EXPECT_EQ(stats.failed, 10);
    const auto expect = [&](PlanReading reading, auto value) {
        long double sum = 0;
        double low = INFINITY;
        double high = -INFINITY;
        int n = 0;
        for (std::size_t i = 0; i < 50; ++i) {
            const double v = value(all[i]);
            if (!std::isfinite(v))
                continue;
            sum += v;
            low = std::min(low, v);
            high = std::max(high, v);
            ++n;
        }
        const long double mean = sum / n;
        long double squares = 0;
        for (std::size_t i = 0; i < 50; ++i) {
            const double v = value(all[i]);
            if (std::isfinite(v))
                squares += (v - mean) * (v - mean);
        }
        const double sd = static_cast<double>(std::sqrt(squares / (n - 1)));
        const ReadingStats& got = stats.readings[static_cast<std::size_t>(reading)];
        EXPECT_EQ(got.count, n) << PlanReadingName(reading);
        EXPECT_EQ(got.min, low);
        EXPECT_EQ(got.max, high);
        EXPECT_NEAR(got.mean, static_cast<double>(mean), 1e-9 * std::fabs(high));
        ASSERT_TRUE(got.stdDev);
        EXPECT_NEAR(*got.stdDev, sd, 1e-9 * sd + 1e-12);
        const Limit limit{static_cast<double>(mean) - 5 * sd, static_cast<double>(mean) + 4 * sd};
        const auto cpk = Cpk(got, limit);
        ASSERT_TRUE(cpk);
        EXPECT_NEAR(*cpk, 4.0 / 3.0, 1e-6);
        EXPECT_FALSE(Cpk(got, Limit{std::nullopt, 1.0}));
    };
    expect(PlanReading::Urms, [](const Result& r) { return double{r.working.Record.Urms}; });
    expect(PlanReading::Power, [](const Result& r) { return double{r.working.Record.Power}; });
    expect(PlanReading::Upeak, [](const Result& r) {
        return double{r.working.Record.Urms} * double{r.working.Record.Ucf};
    });
    // One result has no fundamental: no percentage, left out of the count.
    expect(PlanReading::Uthd, [](const Result& r) {
        return r.working.Record.USpec[0] == 0.0f
                   ? NAN
                   : double{r.working.Record.Uthd} / double{r.working.Record.USpec[0]} * 100.0;
    });
    // Freq is 50 everywhere: no spread, no Cpk.
    const ReadingStats& freq = stats.readings[static_cast<std::size_t>(PlanReading::Freq)];
    EXPECT_EQ(freq.mean, 50.0);
    EXPECT_EQ(freq.stdDev.value_or(-1.0), 0.0);
    EXPECT_FALSE(Cpk(freq, Limit{49.0, 51.0}));
}

// Grouped stats are each group's stats alone, the groups in the byte order
// of their names whatever the database's collation.
TEST_P(StoreTest, StatsByStationOrTypeAreTheStatsOfEachAlone) {
    auto store = OpenStore(*scratch_);
    ASSERT_TRUE(store);
    std::vector<Result> all;
    for (std::uint32_t i = 0; i < 12; ++i) {
        Result r = OddResult(700 + i);
        r.station = i % 3 == 0 ? "Zeta" : i % 3 == 1 ? "alpha" : "Beta";
        r.mark.Type = i < 8 ? "S1" : "S2";
        r.working.Record.Urms = 220.0f + static_cast<float>(i * i);
        r.verdict->pass = i % 2 == 0;
        all.push_back(r);
    }
    ASSERT_TRUE(store->WriteAll(all));
    using Names = std::vector<std::string>;
    for (const auto& [by, type, names] :
         {std::tuple{StatsGroup::Station, "", Names{"Beta", "Zeta", "alpha"}},
          {StatsGroup::Type, "", Names{"S1", "S2"}},
          {StatsGroup::Station, "S2", Names{"Beta", "Zeta", "alpha"}},
          {StatsGroup::Type, "none", Names{}}}) {
        ResultFilter filter;
        if (*type != '\0') {
            filter.type = type;
        }
        std::vector<GroupStats> groups;
        ASSERT_TRUE(store->Stats(filter, by, &groups));
        Names got;
        for (const GroupStats& group : groups) {
            got.push_back(group.name);
            ResultFilter alone = filter;
            (by == StatsGroup::Station ? alone.station : alone.type) = group.name;
            ResultStats want;
            ASSERT_TRUE(store->Stats(alone, &want));
            const auto urms = static_cast<std::size_t>(PlanReading::Urms);
            EXPECT_EQ(group.stats.count, want.count) << group.name;
            EXPECT_EQ(group.stats.passed, want.passed) << group.name;
            EXPECT_EQ(group.stats.readings[urms].max, want.readings[urms].max) << group.name;
            EXPECT_DOUBLE_EQ(group.stats.readings[urms].mean, want.readings[urms].mean);
        }
        EXPECT_EQ(got, names) << type;
    }
}

TEST_P(StoreTest, AResultIsNeverStoredTwice) {
    auto store = OpenStore(*scratch_);
    ASSERT_TRUE(store);
    const Result result = OddResult(9);
    bool inserted = false;
    ASSERT_TRUE(store->Write(result, &inserted));
    EXPECT_TRUE(inserted);
    Result changed = result;
    changed.station = "elsewhere";
    ASSERT_TRUE(store->Write(changed, &inserted));
    EXPECT_FALSE(inserted);
    std::int64_t added = -1;
    ASSERT_TRUE(store->WriteAll(std::vector<Result>{result, OddResult(10)}, &added));
    EXPECT_EQ(added, 1);
    std::vector<Result> found;
    ASSERT_TRUE(store->Find({}, 0, -1, Detail::Summary, found));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[1].station, result.station);  // the first kept
    // Imported files: the id follows the content.
    const std::vector<std::uint8_t> a{1, 2, 3};
    const std::vector<std::uint8_t> b{1, 2, 4};
    EXPECT_EQ(ImportedResultId(a), ImportedResultId(a));
    EXPECT_NE(ImportedResultId(a), ImportedResultId(b));
    EXPECT_EQ(ImportedResultId(a).size(), 36u);
}

TEST_P(StoreTest, AStoreOfANewerVersionIsRefusedAndLeftUntouched) {
    {
        auto store = OpenStore(*scratch_);
        ASSERT_TRUE(store);
        ASSERT_TRUE(store->Write(OddResult(11)));
    }
    const StoreUrl url = scratch_->Url();
    {
        RawConnection raw(url);
        ASSERT_TRUE(raw.Exec("UPDATE schema_version SET version = 99"));
        if (url.kind == StoreKind::Sqlite) {
            ASSERT_TRUE(raw.Exec("PRAGMA wal_checkpoint(TRUNCATE)"));
            ASSERT_TRUE(raw.Exec("PRAGMA journal_mode=DELETE"));
        }
    }
    std::vector<std::uint8_t> before;
    if (url.kind == StoreKind::Sqlite) {
        ASSERT_TRUE(ReadWholeFile(url.path, &before));
    }
    StoreStatus status;
    EXPECT_FALSE(ResultsStore::Open(url, &status));
    EXPECT_NE(status.message.find("newer program (schema version 99"), std::string::npos)
        << status.message;
    EXPECT_NE(status.message.find("left untouched"), std::string::npos);
    if (url.kind == StoreKind::Sqlite) {
        std::vector<std::uint8_t> after;
        ASSERT_TRUE(ReadWholeFile(url.path, &after));
        EXPECT_EQ(after, before);
    } else {
        RawConnection raw(url);
        EXPECT_EQ(raw.Value("SELECT version FROM schema_version").toInt(), 99);
        EXPECT_EQ(raw.Value("SELECT count(*) FROM results").toInt(), 1);
    }
}

// The store cannot be reached: the result goes to the spool, and a sync
// once the store answers moves it there, once.
TEST_P(StoreTest, AResultTheStoreCannotTakeIsSpooledAndSyncedLater) {
    const std::string spoolFolder = (scratch_->Folder() / "spool").string();
    StoreUrl url = scratch_->Url();
    StoreUrl away = url;
    if (url.kind == StoreKind::Sqlite) {
        away.path = (scratch_->Folder() / "not-yet" / "results.sqlite").string();
        std::filesystem::create_directories(scratch_->Folder() / "not-yet");
        std::filesystem::create_directories(away.path);  // a folder where the file should be
    } else {
        away.port = 1;  // nothing listens there
    }
    ResultKeeper keeper(away, spoolFolder, std::chrono::milliseconds(0));
    const KeepStatus first = keeper.Keep(OddResult(20));
    EXPECT_EQ(first.outcome, KeepOutcome::Spooled) << first.message;
    EXPECT_EQ(keeper.Keep(OddResult(21)).outcome, KeepOutcome::Spooled);
    EXPECT_EQ(keeper.Keep(OddResult(21)).outcome, KeepOutcome::Spooled);  // same id again
    SyncReport report = keeper.Sync();
    EXPECT_FALSE(report.status);
    EXPECT_EQ(report.left, 2);
    EXPECT_EQ(report.pushed, 0);
    // The store comes back: the spool of that store moves there.
    if (url.kind == StoreKind::Sqlite) {
        std::filesystem::remove(away.path);
    } else {
        std::filesystem::rename(ResultKeeper::SpoolPath(away, spoolFolder),
                                ResultKeeper::SpoolPath(url, spoolFolder));
        away = url;
    }
    {
        auto store = ResultsStore::Open(away, &report.status);
        ASSERT_TRUE(store) << report.status.message;
        ASSERT_TRUE(store->Write(OddResult(21)));  // one of them is there already
    }
    ResultKeeper back(away, spoolFolder, std::chrono::milliseconds(0));
    report = back.Sync();
    EXPECT_TRUE(report.status) << report.status.message;
    EXPECT_EQ(report.pushed, 2);
    EXPECT_EQ(report.left, 0);
    EXPECT_EQ(back.Keep(OddResult(22)).outcome, KeepOutcome::Stored);
    auto store = ResultsStore::Open(away, &report.status);
    ASSERT_TRUE(store);
    std::int64_t count = 0;
    ASSERT_TRUE(store->Count({}, &count));
    EXPECT_EQ(count, 3);
}

// Pages of a history as a table asks for them, found by their keys and
// counted off the index alike: in order, at random, past the end, runs
// across pages, results of one millisecond, and again after the store
// changed. Scanning the list a page at a time gives the same order.
TEST_P(StoreTest, HistoryPagesGiveTheRowsOfTheWholeListInOrder) {
    auto store = OpenStore(*scratch_);
    ASSERT_TRUE(store);
    std::vector<Result> all;
    for (std::uint32_t i = 0; i < 50; ++i) {
        Result r = OddResult(900 + i);
        r.mark.Type = i % 2 == 0 ? "EVEN" : "ODD";
        r.timeMs = 1900000000000 + (i / 6) * 1000;  // three of a type to a millisecond
        all.push_back(r);
    }
    ASSERT_TRUE(store->WriteAll(all));
    ResultFilter even;
    even.type = "EVEN";
    std::vector<Result> whole;
    ASSERT_TRUE(store->Find(even, 0, -1, Detail::Summary, whole));
    ASSERT_EQ(whole.size(), 25u);
    const auto ids = [&](std::size_t first, std::size_t count) {
        std::vector<std::string> wanted;
        for (std::size_t i = first; i < first + count && i < whole.size(); ++i) {
            wanted.push_back(whole[i].id);
        }
        return wanted;
    };
    std::vector<std::string> seen;
    const auto see = [&seen](const Result& result) {
        seen.push_back(result.id);
        return true;
    };
    for (const std::int64_t limit : {-1, 9, 8}) {
        seen.clear();
        ASSERT_TRUE(store->Scan(even, limit, Detail::Summary, see, 4));
        EXPECT_EQ(seen, ids(0, limit < 0 ? 25 : static_cast<std::size_t>(limit))) << limit;
    }
    for (const bool keys : {false, true}) {
        HistoryPages pages(*store, even, 4);
        // Learnt a slice of two pages at a time, as the reader does.
        for (int slice = 0; keys && !pages.KnowsKeys(); ++slice) {
            ASSERT_LT(slice, 7);
            ASSERT_TRUE(pages.LearnKeys(8));
        }
        std::int64_t count = 0;
        ASSERT_TRUE(pages.Count(&count));
        EXPECT_EQ(count, 25);
        for (const std::int64_t page : {0, 1, 2, 5, 6, 3, 0, 7, -1}) {
            std::vector<Result> rows;
            ASSERT_TRUE(pages.Page(page, &rows));
            seen.clear();
            std::for_each(rows.begin(), rows.end(), see);
            EXPECT_EQ(seen, page < 0 ? ids(0, 0) : ids(static_cast<std::size_t>(page) * 4, 4))
                << page << (keys ? " by keys" : " counted");
        }
        seen.clear();
        ASSERT_TRUE(ReadRanges(pages, {{0, 0}, {3, 12}, {22, 24}}, Detail::Summary, see));
        std::vector<std::string> wanted = ids(0, 1);
        for (const auto& run : {ids(3, 10), ids(22, 3)}) {
            wanted.insert(wanted.end(), run.begin(), run.end());
        }
        EXPECT_EQ(seen, wanted) << (keys ? "by keys" : "counted");
        // Rows that are gone are said to be.
        EXPECT_FALSE(ReadRanges(pages, {{20, 30}}, Detail::Summary, see));
    }
    // A newer result comes first once the pages are asked again.
    HistoryPages pages(*store, even, 4);
    ASSERT_TRUE(pages.LearnKeys());
    Result newest = OddResult(999);
    newest.mark.Type = "EVEN";
    newest.timeMs = 1999000000000;
    ASSERT_TRUE(store->Write(newest));
    pages.Reset(even);
    std::int64_t count = 0;
    ASSERT_TRUE(pages.Count(&count));
    EXPECT_EQ(count, 26);
    ASSERT_TRUE(pages.LearnKeys());
    seen.clear();
    ASSERT_TRUE(pages.Rows(0, 1, Detail::Summary, see));
    ASSERT_TRUE(pages.Rows(25, 1, Detail::Summary, see));
    EXPECT_EQ(seen, (std::vector<std::string>{newest.id, whole[24].id}));
}

INSTANTIATE_TEST_SUITE_P(Backends, StoreTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? "PostgreSQL" : "SQLite";
                         });

TEST(StorePostgresql, AWrongPasswordIsNamedButNeverShown) {
    const auto server = testing::TestServerUrl();
    if (!server) {
        GTEST_SKIP() << testing::kNoServer;
    }
    StoreUrl url = *ParseStoreUrl(*server).url;
    url.password = "Wr0ng-S3cret-pw";
    StoreStatus status;
    EXPECT_FALSE(ResultsStore::Open(url, &status));
    EXPECT_NE(status.message.find("refused the user name or password"), std::string::npos)
        << status.message;
    EXPECT_EQ(status.message.find("Wr0ng-S3cret-pw"), std::string::npos) << status.message;
    EXPECT_NE(status.message.find("postgresql://zx840:***@"), std::string::npos) << status.message;
    // Without a password in the URL, the standard PGPASSWORD gives it.
    const std::string password = ParseStoreUrl(*server).url->password;
    url.password.clear();
    ::setenv("PGPASSWORD", password.c_str(), 1);
    const bool opened = ResultsStore::Open(url, &status) != nullptr;
    ::unsetenv("PGPASSWORD");
    EXPECT_TRUE(opened) << status.message;
}

}  // namespace
}  // namespace zx840
