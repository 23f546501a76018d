// What the store can never take stalls nothing: text with a NUL is kept,
// and a result the store refuses for its content, met when it is kept or in
// the spool, waits in the quarantine while the results behind it are stored;
// a batch with such a result is written not at all.
// (Damaged spools: CliStore.ADamagedSpoolStallsNothingAndIsToldUntilRemoved.)
#include <gtest/gtest.h>

#include <filesystem>

#include "store/result_keeper.h"
#include "tests/store_test_support.h"

namespace zx840 {
namespace {

using testing::OddResult;
using testing::RawConnection;
using testing::ScratchStore;
namespace fs = std::filesystem;

constexpr std::chrono::milliseconds kNoWait(0);

StoreUrl SqliteUrl(const std::string& path) {
    StoreUrl url;
    url.path = path;
    return url;
}

std::int64_t Count(const StoreUrl& url) {
    StoreStatus status;
    const auto store = ResultsStore::Open(url, &status);
    std::int64_t count = -1;
    EXPECT_TRUE(store && store->Count({}, &count)) << status.message;
    return count;
}

void WriteToSpool(const StoreUrl& store, const fs::path& folder, const std::vector<Result>& all) {
    fs::create_directories(folder);
    StoreStatus status;
    const auto spool = ResultsStore::Open(SqliteUrl(ResultKeeper::SpoolPath(store, folder)),
                                          &status, ResultsStore::Journal::Rollback);
    ASSERT_TRUE(spool) << status.message;
    ASSERT_TRUE(spool->WriteAll(all));
}

// The store refuses results of the type REFUSE-ME for their content.
void RefuseType(const StoreUrl& url) {
    RawConnection(url).Exec(
        url.kind == StoreKind::Sqlite
            ? "CREATE TRIGGER refuse_me BEFORE INSERT ON results WHEN "
              "NEW.product_type = 'REFUSE-ME' BEGIN SELECT RAISE(ABORT, 'refused'); END"
            : "ALTER TABLE results ADD CONSTRAINT refuse_me CHECK (product_type <> 'REFUSE-ME')");
}

class QuarantineTest : public testing::BackendTest {};

// A batch is written whole or not at all: the refusal of one result takes
// back the others, and leaves the store free for the next write.
TEST_P(QuarantineTest, ABatchWithARefusedResultLeavesNothingBehind) {
    const StoreUrl url = scratch_->Url();
    StoreStatus status;
    const auto store = ResultsStore::Open(url, &status);
    ASSERT_TRUE(store) << status.message;
    RefuseType(url);
    Result refused = OddResult(2);
    refused.mark.Type = "REFUSE-ME";
    const std::vector<Result> batch = {OddResult(1), refused, OddResult(3)};
    EXPECT_EQ(store->WriteAll(batch).kind, StoreStatus::Kind::Refused);
    std::int64_t count = -1;
    ASSERT_TRUE(store->Count({}, &count));
    EXPECT_EQ(count, 0);
    std::int64_t inserted = 0;
    ASSERT_TRUE(store->WriteAll(std::vector<Result>{batch[0], batch[2]}, &inserted));
    EXPECT_EQ(inserted, 2);
    EXPECT_EQ(Count(url), 2);
}

TEST_P(QuarantineTest, AResultTheStoreRefusesStallsNothingBehindIt) {
    const StoreUrl url = scratch_->Url();
    const fs::path folder = scratch_->Folder() / "spool";
    ResultKeeper keeper(url, folder.string(), kNoWait);
    // A NUL, which PostgreSQL refuses in text, is kept as U+FFFD.
    Result nul = OddResult(1);
    nul.mark.Type = std::string("A\0B", 3);
    EXPECT_EQ(keeper.Keep(nul).outcome, KeepOutcome::Stored);

    RefuseType(url);
    Result refused = OddResult(2);
    refused.mark.Type = "REFUSE-ME";
    const KeepStatus kept = keeper.Keep(refused);
    EXPECT_EQ(kept.outcome, KeepOutcome::Refused) << kept.message;
    EXPECT_NE(kept.message.find("quarantine " + keeper.QuarantinePath()), std::string::npos);
    for (std::uint32_t seed : {3u, 4u, 5u}) {
        const KeepStatus next = keeper.Keep(OddResult(seed));
        EXPECT_EQ(next.outcome, KeepOutcome::Stored) << next.message;
    }
    EXPECT_FALSE(fs::exists(keeper.SpoolPath()));

    // The same refusal met in the spool: pushed around, into the quarantine.
    Result spooled = OddResult(6);
    spooled.mark.Type = "REFUSE-ME";
    WriteToSpool(url, folder, {OddResult(7), spooled, OddResult(8)});
    const SyncReport sync = ResultKeeper(url, folder.string(), kNoWait).Sync();
    EXPECT_TRUE(sync.status) << sync.status.message;
    EXPECT_EQ(sync.pushed, 2);
    EXPECT_EQ(sync.left, std::optional<std::int64_t>(0));
    EXPECT_EQ(sync.quarantined, 1);
    EXPECT_NE(sync.quarantine.find("2 results"), std::string::npos) << sync.quarantine;
    EXPECT_NE(sync.quarantine.find(refused.id), std::string::npos) << sync.quarantine;
    EXPECT_NE(sync.quarantine.find(spooled.id), std::string::npos) << sync.quarantine;
    // Moved into the quarantine as it was stored, every column of it.
    StoreStatus opened;
    const auto quarantine = ResultsStore::Open(SqliteUrl(keeper.QuarantinePath()), &opened);
    std::vector<Result> moved;
    ResultFilter one;
    one.id = spooled.id;
    ASSERT_TRUE(quarantine && quarantine->Find(one, 0, -1, Detail::Full, moved)) << opened.message;
    ASSERT_EQ(moved.size(), 1u);
    testing::ExpectSameResult(moved[0], spooled);

    EXPECT_EQ(Count(url), 6);
    StoreStatus status;
    const auto store = ResultsStore::Open(url, &status);
    std::vector<Result> found;
    ResultFilter filter;
    filter.type =
        "A\xEF\xBF\xBD"
        "B";
    ASSERT_TRUE(store && store->Find(filter, 0, -1, Detail::Full, found));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].id, nul.id);
}

INSTANTIATE_TEST_SUITE_P(Backends, QuarantineTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? "PostgreSQL" : "SQLite";
                         });

}  // namespace
}  // namespace zx840
