// Files written and read where they must be, and nowhere else: special
// files, read-only targets, long names, file-size limits, FIFOs that would
// hang a reader, and where the settings file lies.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "meter/sim/meter_simulator.h"
#include "record/file_io.h"
#include "record/measurement_file.h"
#include "record/settings_file.h"
#include "tests/test_cli_support.h"
#include "tools/cli.h"
#include "tools/export_output.h"
#include "tools/report_pdf.h"

namespace zx840 {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr uid_t kNobody = 65534;

Bytes Read(const fs::path& path) {
    Bytes bytes;
    EXPECT_TRUE(ReadWholeFile(path.string(), &bytes)) << path;
    return bytes;
}

// Runs `body` in a child process and gives its exit status, or -1 when it
// did not end normally within a generous limit (a hang, a signal).
int InChild(const std::function<int()>& body, int limitSeconds = 60) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        return -2;
    }
    if (child == 0) {
        _exit(body());
    }
    int status = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(limitSeconds);
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > until) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Drops root in a child, where root would pass every permission check.
bool BecomeNobody() {
    return geteuid() != 0 ||
           (setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0);
}

class FileSafetyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("zx840-file-safety-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        for (const auto& entry : fs::recursive_directory_iterator(dir_)) {
            if (entry.is_directory() && !entry.is_symlink()) {
                fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
            }
        }
        fs::remove_all(dir_);
    }
    std::vector<std::string> Entries(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path dir_;
};

TEST_F(FileSafetyTest, OnlyWritableRegularFilesAreReplacedAndLongNamesWork) {
    // A legal name of 250 characters: the temporary name must not grow it.
    const fs::path longName = dir_ / std::string(246, 'n').append(".ZX8");
    EXPECT_TRUE(WriteFileAtomically(longName.string(), Bytes{1, 2}));
    EXPECT_EQ(Read(longName), (Bytes{1, 2}));

    // Read-only: refused with a reason, not silently replaced.
    const fs::path locked = dir_ / "locked.ZX8";
    ASSERT_TRUE(WriteFileAtomically(locked.string(), Bytes{9}));
    fs::permissions(locked, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const FileStatus refused = WriteFileAtomically(locked.string(), Bytes{1});
    EXPECT_EQ(refused.sysErrno, EACCES);
    EXPECT_NE(refused.Describe().find("read-only"), std::string::npos) << refused.Describe();
    EXPECT_EQ(Read(locked), (Bytes{9}));

    // Special files, and links to them, stay what they are.
    const fs::path fifo = dir_ / "fifo.pdf";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink(fifo, dir_ / "to-fifo.pdf");
    // A device of the test's own (never a system one, which a faulty
    // writer could replace): a copy of the null device where allowed.
    const fs::path null = dir_ / "null";
    const bool device = mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    fs::create_symlink(device ? null : fifo, dir_ / "to-null.ZX8");
    fs::create_directory(dir_ / "folder.ZX8");
    const auto before = Entries(dir_);
    for (const char* name : {"fifo.pdf", "to-fifo.pdf"}) {
        const FileStatus status = WriteFileAtomically((dir_ / name).string(), Bytes{1});
        EXPECT_EQ(status.sysErrno, EINVAL) << name;
        EXPECT_NE(status.Describe().find("FIFO"), std::string::npos) << status.Describe();
    }
    const FileStatus toNull = WriteFileAtomically((dir_ / "to-null.ZX8").string(), Bytes{1});
    EXPECT_NE(toNull.Describe().find(device ? "device" : "FIFO"), std::string::npos)
        << toNull.Describe();
    EXPECT_EQ(WriteFileAtomically((dir_ / "folder.ZX8").string(), Bytes{1}).sysErrno, EISDIR);
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_symlink(dir_ / "to-fifo.pdf"));
    EXPECT_TRUE(!device || fs::is_character_file(null));
    EXPECT_EQ(Entries(dir_), before);  // nothing left behind

    // A link to a regular file: the file it names takes the new bytes.
    fs::create_symlink(longName, dir_ / "to-long.ZX8");
    EXPECT_TRUE(WriteFileAtomically((dir_ / "to-long.ZX8").string(), "abc",
                                    AtomicWriteOptions{.flush = false, .mode = {}}));
    EXPECT_EQ(Read(longName), (Bytes{'a', 'b', 'c'}));
    EXPECT_TRUE(fs::is_symlink(dir_ / "to-long.ZX8"));
}

TEST_F(FileSafetyTest, FileSizeLimitFailsCleanlyEvenWithTheSignalAtItsDefault) {
    const fs::path target = dir_ / "keep.ZX8";
    const Bytes old(2515, 0x5A);
    ASSERT_TRUE(WriteFileAtomically(target.string(), old));
    for (const bool flush : {true, false}) {
        // SIGXFSZ left as it is by default, which would end the process.
        const int status = InChild([&] {
            signal(SIGXFSZ, SIG_DFL);
            rlimit small{1000, RLIM_INFINITY};
            if (setrlimit(RLIMIT_FSIZE, &small) != 0) {
                return 3;
            }
            const FileStatus full = WriteFileAtomically(
                target.string(), Bytes(5000, 1), AtomicWriteOptions{.flush = flush, .mode = {}});
            return full.sysErrno == EFBIG ? 0 : 1;
        });
        EXPECT_EQ(status, 0) << "flush " << flush;
        EXPECT_EQ(Read(target), old);
        EXPECT_EQ(Entries(dir_), std::vector<std::string>{"keep.ZX8"});
    }
}

TEST_F(FileSafetyTest, FifosAndDevicesNamedLikeInputsOrOutputsNeverHang) {
    const fs::path fifo = dir_ / "PSU_1.ZX8";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const fs::path test = dir_ / "in" / "PSU_2.ZX8";
    fs::create_directories(test.parent_path());
    ASSERT_TRUE(WriteFileAtomically(test.string(), SerializeTest({}, {})));
    fs::create_directories(dir_ / "csv");
    ASSERT_EQ(mkfifo((dir_ / "csv" / "PSU_2.csv").c_str(), 0600), 0);

    // Each reader in a child that must end by itself: a blocking open of
    // a FIFO without a writer would hang there.
    const auto ends = [](const std::function<bool()>& check) {
        return InChild([&] { return check() ? 0 : 1; }, 20);
    };
    EXPECT_EQ(ends([&] {
                  Bytes bytes;
                  const FileStatus status = ReadWholeFile(fifo.string(), &bytes);
                  return status.sysErrno == EINVAL &&
                         status.Describe().find("FIFO") != std::string::npos;
              }),
              0);
    EXPECT_EQ(ends([&] {
                  Settings settings;
                  settings.ComPort = "COM7";
                  return !ReadSettingsFile(fifo.string(), &settings) && settings == Settings{};
              }),
              0);
    EXPECT_EQ(ends([] {
                  Bytes bytes;
                  return ReadWholeFile("/dev/zero", &bytes).sysErrno == EINVAL;
              }),
              0);
    // The tool's readers and the export's outputs, with their messages.
    const auto tool = [](const std::vector<std::string>& args, const char* expected) {
        return [args, expected] {
            std::ostringstream out;
            std::ostringstream err;
            const int status = RunCli(args, out, err, {});
            return status != 0 && err.str().find(expected) != std::string::npos;
        };
    };
    EXPECT_EQ(ends(tool({"show", fifo.string()}, "FIFO")), 0);
    EXPECT_EQ(ends(tool({"export", fifo.string(), "--csv", (dir_ / "out").string()}, "FIFO")), 0);
    EXPECT_EQ(ends(tool({"export", test.string(), "--csv", (dir_ / "csv").string()}, "FIFO")), 0);
    EXPECT_EQ(ends(tool({"acquire", "--mark", fifo.string(), "--port", "COM8"}, "FIFO")), 0);
    EXPECT_TRUE(fs::is_fifo(dir_ / "csv" / "PSU_2.csv"));
}

// The tool's command in a child process (the PDF writer starts Qt there,
// never in this process), optionally under a file-size limit with SIGXFSZ
// at its default; 0 when it ended with a non-zero status and `expected` in
// its messages, or with status 0 when `expected` is empty.
int ToolInChild(const std::vector<std::string>& args, const std::string& expected,
                rlim_t sizeLimit = RLIM_INFINITY) {
    return InChild([&] {
        signal(SIGXFSZ, SIG_DFL);
        rlimit limit{sizeLimit, RLIM_INFINITY};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            return 3;
        }
        std::ostringstream out;
        std::ostringstream err;
        const int status = RunCli(args, out, err, {});
        if (expected.empty()) {
            return status == 0 ? 0 : 10 + status;
        }
        if (status == 0) {
            return 4;
        }
        return err.str().find(expected) != std::string::npos ? 0 : 5;
    });
}

TEST_F(FileSafetyTest, FailedPdfWritesSayWhyAndKeepTheOldReport) {
    if (!ReportPdfWriter::Available()) {
        GTEST_SKIP() << "built without PDF reports";
    }
    const fs::path test = dir_ / "PSU_1.ZX8";
    ProductMark mark;
    mark.Type = "PSU";
    ASSERT_TRUE(WriteFileAtomically(test.string(), SerializeTest(mark, {})));
    const fs::path pdf = dir_ / "PSU_1.pdf";
    ASSERT_EQ(ToolInChild({"report", test.string(), "--pdf", pdf.string()}, ""), 0);
    const Bytes good = Read(pdf);
    ASSERT_GT(good.size(), 8000u);
    const auto before = Entries(dir_);

    // No room for the new report: a clear failure, the old one intact.
    EXPECT_EQ(ToolInChild({"report", test.string(), "--pdf", pdf.string()}, "File too large", 4000),
              0);
    EXPECT_EQ(Read(pdf), good);
    EXPECT_EQ(Entries(dir_), before);

    // A link planted at the name the writer once used for its partial file.
    const fs::path victim = dir_ / "victim";
    std::ofstream(victim) << "private";
    fs::permissions(victim, fs::perms::owner_read | fs::perms::owner_write);
    fs::remove(dir_ / "PSU_1.pdf.part");
    fs::create_symlink(victim, dir_ / "PSU_1.pdf.part");
    EXPECT_EQ(ToolInChild({"report", test.string(), "--pdf", pdf.string()}, ""), 0);
    std::ifstream file(victim);
    const std::string kept(std::istreambuf_iterator<char>(file), {});
    EXPECT_TRUE(kept == "private") << "the victim now begins " << kept.substr(0, 8);
    EXPECT_TRUE(fs::is_symlink(dir_ / "PSU_1.pdf.part"));

    // The reports of an acquisition run: the run fails and says why.
    std::string error;
    const auto sim = MeterSimulator::CreatePty(SimulatorOptions{}, &error);
    ASSERT_TRUE(sim) << error;
    sim->Start();
    const fs::path reports = dir_ / "reports";
    const fs::path err = dir_ / "err.txt";
    EXPECT_EQ(testing::RunCliWithFileSizeLimit({"acquire", "--port", sim->DevicePath(), "--count",
                                                "1", "--quiet", "--pdf-dir", reports.string()},
                                               4000, err.string()),
              kCliFileError);
    std::ifstream errFile(err);
    const std::string said(std::istreambuf_iterator<char>(errFile), {});
    EXPECT_NE(said.find("File too large"), std::string::npos) << said;
    EXPECT_EQ(Entries(reports), std::vector<std::string>{});
}

TEST(SettingsLocation, BesideTheProgramWhenItCanBeWrittenThereElsePerUser) {
    const std::string program = "/usr/bin";
    const std::string user = "/home/op/.config/Orvalisto";
    const std::string beside = "/usr/bin/ZX840EN.ini";
    const std::string perUser = user + "/ZX840EN.ini";
    using F = SettingsPlaceFacts;
    struct Case {
        F facts;
        std::string read;
        std::string write;
    };
    const Case cases[] = {
        // Portable: a writable folder, with or without a file.
        {F{false, false, true, false}, beside, beside},
        {F{true, true, true, true}, beside, beside},
        // The file there may be written although the folder may not.
        {F{true, true, false, true}, beside, beside},
        // Installed: the per-user file, seeded from one beside the program.
        {F{false, false, false, false}, perUser, perUser},
        {F{true, false, false, false}, beside, perUser},
        {F{true, false, false, true}, perUser, perUser},
        {F{false, false, false, true}, perUser, perUser},
        // Installed (a system folder, or another user's): per user, even
        // where this user (root) could write beside the program.
        {F{false, false, true, false, true}, perUser, perUser},
        {F{true, true, true, false, true}, beside, perUser},
    };
    for (const Case& c : cases) {
        const SettingsLocation location = ChooseSettingsLocation(program, user, c.facts);
        EXPECT_EQ(location.readPath, c.read);
        EXPECT_EQ(location.writePath, c.write);
        EXPECT_EQ(location.perUser, c.write == perUser);
    }
    // No home at all: read beside the program, nowhere to write.
    const SettingsLocation homeless = ChooseSettingsLocation(program, "", F{});
    EXPECT_EQ(homeless.readPath, beside);
    EXPECT_TRUE(homeless.writePath.empty());
    EXPECT_FALSE(WriteSettingsFile(homeless, Settings{}));

    EXPECT_EQ(PerUserSettingsFolder("/x/cfg/", "/home/op"), "/x/cfg/Orvalisto");
    EXPECT_EQ(PerUserSettingsFolder(nullptr, "/home/op"), "/home/op/.config/Orvalisto");
    EXPECT_EQ(PerUserSettingsFolder("", "/home/op"), "/home/op/.config/Orvalisto");
    EXPECT_EQ(PerUserSettingsFolder("relative", "/home/op"), "/home/op/.config/Orvalisto");
    EXPECT_EQ(PerUserSettingsFolder(nullptr, nullptr), "");

    for (const char* folder :
         {"/usr/bin", "/usr/local/bin", "/opt/zx840/bin", "/bin", "/srv/zx/bin"}) {
        EXPECT_TRUE(IsSystemProgramFolder(folder, "/srv/zx")) << folder;
    }
    for (const char* folder : {"/home/op/zx840/build/app", "/usrx/bin", "/srv/zxy/bin", "/"}) {
        EXPECT_FALSE(IsSystemProgramFolder(folder, "/srv/zx")) << folder;
    }
    EXPECT_FALSE(IsSystemProgramFolder("/srv/bin", "/"));
}

TEST_F(FileSafetyTest, InstalledProgramKeepsItsSettingsPerUserAcrossRuns) {
    const fs::path program = dir_ / "bin";
    const fs::path home = dir_ / "home";
    fs::create_directories(program);
    fs::create_directories(home);
    ASSERT_EQ(chown(home.c_str(), kNobody, kNobody), 0);
    fs::permissions(dir_, fs::perms::all);
    fs::permissions(program, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
    const std::string config = (home / "config").string();

    // Two runs of an ordinary user: the first writes, the second reads.
    const int status = InChild([&] {
        if (!BecomeNobody() || setenv("XDG_CONFIG_HOME", config.c_str(), 1) != 0) {
            return 3;
        }
        SettingsLocation first = LocateSettingsFile(program.string());
        Settings start;
        if (!first.perUser || !ReadSettingsFile(first.readPath, &start) || start != Settings{}) {
            return 4;
        }
        Settings chosen;
        chosen.ComPort = "COM2";
        chosen.Type = std::string(2 << 20, 't');  // more than a mebibyte
        if (!WriteSettingsFile(first, chosen)) {
            return 5;
        }
        const SettingsLocation second = LocateSettingsFile(program.string());
        Settings again;
        if (second.readPath != config + "/Orvalisto/ZX840EN.ini" ||
            !ReadSettingsFile(second.readPath, &again)) {
            return 6;
        }
        return again == chosen ? 0 : 7;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Entries(program), std::vector<std::string>{});
    for (const fs::path& folder : {fs::path(config), fs::path(config) / "Orvalisto"}) {
        struct stat info {};
        ASSERT_EQ(stat(folder.c_str(), &info), 0) << folder;
        EXPECT_EQ(info.st_mode & 07777, 0700u) << folder;
    }

    // A folder the user may write: beside the program, as always.
    ASSERT_EQ(chown(program.c_str(), kNobody, kNobody), 0);
    EXPECT_EQ(InChild([&] {
                  if (!BecomeNobody() || setenv("XDG_CONFIG_HOME", config.c_str(), 1) != 0) {
                      return 3;
                  }
                  const SettingsLocation location = LocateSettingsFile(program.string());
                  return !location.perUser && WriteSettingsFile(location, Settings{}) ? 0 : 1;
              }),
              0);
    EXPECT_EQ(Read(program / "ZX840EN.ini"), SerializeSettings(Settings{}));

    // Root running a program of another's folder writes nothing beside it,
    // and its own folder, made open by someone before, is closed to others.
    fs::remove(program / "ZX840EN.ini");
    const fs::path rootConfig = dir_ / "root-config";
    fs::create_directories(rootConfig / "Orvalisto");
    fs::permissions(rootConfig / "Orvalisto", fs::perms::owner_all | fs::perms::group_read |
                                                  fs::perms::group_exec | fs::perms::others_read |
                                                  fs::perms::others_exec);
    ASSERT_EQ(setenv("XDG_CONFIG_HOME", rootConfig.c_str(), 1), 0);
    const SettingsLocation asRoot = LocateSettingsFile(program.string());
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_TRUE(asRoot.perUser);
    ASSERT_TRUE(WriteSettingsFile(asRoot, Settings{}));
    EXPECT_EQ(Entries(program), std::vector<std::string>{});
    struct stat info {};
    ASSERT_EQ(stat((rootConfig / "Orvalisto").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    ASSERT_EQ(stat((rootConfig / "Orvalisto" / "ZX840EN.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST_F(FileSafetyTest, RefusedSettingsFileGivesTheDefaultsAndItsReason) {
    const fs::path big = dir_ / "ZX840EN.ini";
    Settings large;
    large.Operator = std::string(3 << 20, 'o');
    ASSERT_TRUE(WriteFileAtomically(big.string(), SerializeSettings(large)));
    Settings read;
    EXPECT_TRUE(ReadSettingsFile(big.string(), &read));
    EXPECT_EQ(read, large);  // what the program writes, it reads

    EXPECT_TRUE(ReadSettingsFile((dir_ / "none.ini").string(), &read));  // missing: silent
    EXPECT_EQ(read, Settings{});
    fs::create_directory(dir_ / "folder.ini");
    read.ComPort = "COM5";
    const FileStatus folder = ReadSettingsFile((dir_ / "folder.ini").string(), &read);
    EXPECT_EQ(folder.sysErrno, EISDIR);
    EXPECT_EQ(read, Settings{});
}

}  // namespace
}  // namespace zx840
