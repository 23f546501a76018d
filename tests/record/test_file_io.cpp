#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "record/file_io.h"

namespace zx840 {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class FileIoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("zx840-file-io-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        fs::permissions(dir_, fs::perms::owner_all);
        fs::remove_all(dir_);
    }
    Bytes Read(const fs::path& path) {
        Bytes bytes;
        EXPECT_TRUE(ReadWholeFile(path.string(), &bytes));
        return bytes;
    }
    // Only the target is left in the folder: no temporary files.
    std::size_t Entries() {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), {}));
    }
    fs::path dir_;
};

TEST_F(FileIoTest, ReplacesWholeAndKeepsPermissionsAndLinks) {
    const fs::path target = dir_ / "test.ZX8";
    ASSERT_TRUE(WriteFileAtomically(target.string(), Bytes{1, 2, 3}));
    EXPECT_EQ(Read(target), (Bytes{1, 2, 3}));
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(WriteFileAtomically(target.string(), Bytes{4, 5}));
    EXPECT_EQ(Read(target), (Bytes{4, 5}));
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(Entries(), 1u);

    const fs::path link = dir_ / "link.ZX8";
    fs::create_symlink(target, link);
    ASSERT_TRUE(WriteFileAtomically(link.string(), Bytes{6}));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Read(target), (Bytes{6}));
}

TEST_F(FileIoTest, FailedWritesLeaveTheOldFileAsItWas) {
    const fs::path target = dir_ / "keep.ZX8";
    const Bytes old(2515, 0x5A);
    ASSERT_TRUE(WriteFileAtomically(target.string(), old));

    // No room: the file size limit stands in for a full disk.
    signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const FileStatus full = WriteFileAtomically(target.string(), Bytes(5000, 1));
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(full);
    EXPECT_EQ(full.sysErrno, EFBIG);
    EXPECT_EQ(Read(target), old);
    EXPECT_EQ(Entries(), 1u);

    // A file made a piece at a time fails the same ways, and a maker that
    // gives up half way replaces nothing either.
    const auto pieces = [](int count) {
        return [count](const ByteSink& sink) {
            for (int i = 0; i < count; ++i) {
                if (!sink(std::string(40000, 'x'))) {
                    return false;
                }
            }
            return true;
        };
    };
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const FileStatus streamedFull = WriteFileAtomically(target.string(), pieces(3));
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(streamedFull.sysErrno, EFBIG);
    const FileStatus givenUp = WriteFileAtomically(target.string(), [](const ByteSink& sink) {
        return sink(std::string(100000, 'y')) && false;
    });
    EXPECT_EQ(givenUp.sysErrno, ECANCELED);
    EXPECT_EQ(Read(target), old);
    EXPECT_EQ(Entries(), 1u);
    ASSERT_TRUE(WriteFileAtomically(target.string(), pieces(3)));
    EXPECT_EQ(Read(target), Bytes(120000, 'x'));
    ASSERT_TRUE(WriteFileAtomically(target.string(), old));

    EXPECT_EQ(WriteFileAtomically((dir_ / "missing" / "x.ZX8").string(), old).sysErrno, ENOENT);
    fs::create_directory(dir_ / "folder.ZX8");
    EXPECT_EQ(WriteFileAtomically((dir_ / "folder.ZX8").string(), old).sysErrno, EISDIR);
    EXPECT_EQ(Read(target), old);
}

TEST_F(FileIoTest, ReadOnlyFolderRefusesTheWriteAndKeepsTheFile) {
    const fs::path target = dir_ / "locked.ZX8";
    const Bytes old = {9, 9, 9};
    ASSERT_TRUE(WriteFileAtomically(target.string(), old));
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read |
                              fs::perms::others_exec);
    // Root writes anywhere: try as an ordinary user in a child process.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(3);
        }
        const FileStatus status = WriteFileAtomically(target.string(), Bytes{1});
        _exit(status.sysErrno == EACCES ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(Read(target), old);
}

TEST_F(FileIoTest, ReadsWholeRegularFilesOnly) {
    Bytes bytes = {7};
    EXPECT_EQ(ReadWholeFile((dir_ / "none").string(), &bytes).sysErrno, ENOENT);
    EXPECT_EQ(ReadWholeFile(dir_.string(), &bytes).sysErrno, EISDIR);
    std::ofstream(dir_ / "big") << std::string(100, 'b');
    EXPECT_EQ(ReadWholeFile((dir_ / "big").string(), &bytes, 99).sysErrno, EFBIG);
    EXPECT_EQ(bytes, (Bytes{7}));  // untouched on failure
    std::ofstream(dir_ / "empty") << "";
    EXPECT_TRUE(ReadWholeFile((dir_ / "empty").string(), &bytes));
    EXPECT_TRUE(bytes.empty());
}

}  // namespace
}  // namespace zx840
