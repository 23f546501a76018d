// Who may read the store: the data folder and the store's files are their
// user's alone from the moment they exist, whatever the umask; a store
// opened only to read is neither created nor changed; a PostgreSQL URL
// reaches the server through a socket folder and with libpq's own options.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "record/file_io.h"
#include "store/result_keeper.h"
#include "store/schema.h"
#include "tests/store_test_support.h"

namespace zx840 {
namespace {

using testing::OddResult;
using testing::RawConnection;
using testing::ScratchStore;
namespace fs = std::filesystem;

unsigned Mode(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

TEST(StoreFiles, TheDataFolderAndTheStoreFilesAreTheirUsersAlone) {
    ScratchStore scratch(false);
    const fs::path base = scratch.Folder() / "xdg";
    ::setenv("XDG_DATA_HOME", base.c_str(), 1);
    const mode_t umask = ::umask(0);  // a umask that leaves everything open
    StoreUrl own;
    own.path = DefaultStorePath();
    StoreStatus status;
    {
        auto store = ResultsStore::Open(own, &status);
        ASSERT_TRUE(store) << status.message;
        ASSERT_TRUE(store->Write(OddResult(1)));
        EXPECT_EQ(Mode(DataFolder()), 0700u);
        EXPECT_EQ(Mode(base), 0700u);
        for (const char* suffix : {"", "-wal", "-shm"}) {
            EXPECT_EQ(Mode(own.path + suffix), 0600u) << suffix;
        }
    }
    // The spool and the quarantine beside it.
    StoreUrl away;
    away.path = (scratch.Folder() / "away" / "results.sqlite").string();
    fs::create_directories(away.path);  // a folder where the file should be
    ResultKeeper keeper(away, SpoolFolder(), std::chrono::milliseconds(0));
    EXPECT_EQ(keeper.Keep(OddResult(2)).outcome, KeepOutcome::Spooled);
    EXPECT_EQ(Mode(keeper.SpoolPath()), 0600u);

    // Left open by an earlier version: closed when the program opens them.
    fs::permissions(DataFolder(), fs::perms::all);
    fs::permissions(own.path, fs::perms::owner_read | fs::perms::owner_write |
                                  fs::perms::group_read | fs::perms::others_read);
    EXPECT_TRUE(ResultsStore::Open(own, &status)) << status.message;
    EXPECT_EQ(Mode(DataFolder()), 0700u);
    EXPECT_EQ(Mode(own.path), 0600u);
    // A file the user named elsewhere: made private when new, else left as
    // its owner has it.
    StoreUrl named;
    named.path = (scratch.Folder() / "shared" / "line.sqlite").string();
    EXPECT_TRUE(ResultsStore::Open(named, &status)) << status.message;
    EXPECT_EQ(Mode(named.path), 0600u);
    EXPECT_EQ(Mode(scratch.Folder() / "shared"), 0700u);
    fs::permissions(named.path, fs::perms::group_read | fs::perms::others_read,
                    fs::perm_options::add);
    EXPECT_TRUE(ResultsStore::Open(named, &status)) << status.message;
    EXPECT_EQ(Mode(named.path), 0644u);
    ::umask(umask);
    ::unsetenv("XDG_DATA_HOME");
}

class StoreAccess : public testing::BackendTest {};

TEST_P(StoreAccess, AStoreOpenedToReadIsNeitherCreatedNorChanged) {
    const StoreUrl url = scratch_->Url();
    const bool sqlite = url.kind == StoreKind::Sqlite;
    const auto readOnly = [&](StoreStatus* status) {
        return ResultsStore::Open(url, status, ResultsStore::Journal::Wal,
                                  ResultsStore::Access::ReadOnly);
    };
    StoreStatus status;
    EXPECT_FALSE(readOnly(&status));
    EXPECT_NE(status.message.find(sqlite ? "there is no such file" : "holds no results store"),
              std::string::npos)
        << status.message;
    if (sqlite) {
        EXPECT_FALSE(fs::exists(url.path));
    }
    {
        auto store = ResultsStore::Open(url, &status);
        ASSERT_TRUE(store) << status.message;
        ASSERT_TRUE(store->WriteAll(std::vector<Result>{OddResult(1), OddResult(2)}));
    }
    std::vector<std::uint8_t> before;
    if (sqlite) {
        RawConnection(url).Exec("PRAGMA wal_checkpoint(TRUNCATE)");
        ASSERT_TRUE(ReadWholeFile(url.path, &before));
    }
    {
        auto store = readOnly(&status);
        ASSERT_TRUE(store) << status.message;
        std::vector<Result> found;
        ASSERT_TRUE(store->Find({}, 0, -1, Detail::Full, found));
        EXPECT_EQ(found.size(), 2u);
        ResultStats stats;
        EXPECT_TRUE(store->Stats({}, &stats));
        EXPECT_EQ(stats.count, 2);
        EXPECT_FALSE(store->Write(OddResult(3)));
    }
    if (sqlite) {
        std::vector<std::uint8_t> after;
        ASSERT_TRUE(ReadWholeFile(url.path, &after));
        EXPECT_EQ(after, before);
    }
    // A store older than the one the reads need is refused, not changed.
    RawConnection(url).Exec("UPDATE schema_version SET version = 1");
    EXPECT_FALSE(readOnly(&status));
    EXPECT_NE(status.message.find("older program (schema version 1)"), std::string::npos)
        << status.message;
    EXPECT_EQ(RawConnection(url).Value("SELECT version FROM schema_version").toInt(), 1);
}

INSTANTIATE_TEST_SUITE_P(Backends, StoreAccess, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? "PostgreSQL" : "SQLite";
                         });

// The test server listens on a socket in its data folder too: a URL that
// names that folder and libpq options reaches it with them.
TEST(StorePostgresql, ASocketFolderAndLibpqOptionsReachTheServer) {
    const char* dir = std::getenv("ZX840_TEST_PG_DIR");
    const auto server = testing::TestServerUrl();
    if (!server || dir == nullptr) {
        GTEST_SKIP() << testing::kNoServer;
    }
    const StoreUrl tcp = *ParseStoreUrl(*server).url;
    std::string socketFolder;
    std::getline(std::ifstream(std::string(dir) + "/datadir"), socketFolder);
    const std::string text = "postgresql://" + tcp.user + "@/" + tcp.database +
                             "?host=" + socketFolder + "&port=" + std::to_string(tcp.port) +
                             "&application_name=zx840-socket-probe&connect_timeout=7";
    const StoreUrlParse parse = ParseStoreUrl(text);
    ASSERT_TRUE(parse.url) << parse.error;
    StoreStatus status;
    const auto store = ResultsStore::Open(*parse.url, &status);
    ASSERT_TRUE(store) << status.message;
    // Seen by the server: a socket (no client address) with the name given.
    EXPECT_EQ(RawConnection(tcp)
                  .Value("SELECT count(*) FROM pg_stat_activity WHERE application_name = "
                         "'zx840-socket-probe' AND client_addr IS NULL")
                  .toInt(),
              1);
}

}  // namespace
}  // namespace zx840
