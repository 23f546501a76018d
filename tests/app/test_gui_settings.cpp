// The window's settings file: read whole however long, a refused file said
// once, and an installed program (its folder closed to the user) keeping
// its settings in the per-user folder.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "app/zx840_app.h"
#include "app/zx840_doc.h"
#include "record/file_io.h"
#include "record/measurement_file.h"
#include "record/settings_file.h"
#include "tests/gui_helpers.h"
#include "view/zx840_view.h"

namespace zx840 {
namespace {

namespace fs = std::filesystem;
using testing::AnswerMessageBoxes;

constexpr uid_t kNobody = 65534;

// Opens `fifo` for writing once `limit` passes without Done(): a reader
// blocked on it then wakes with an empty file, and the test fails instead
// of hanging.
class FifoWatchdog {
  public:
    FifoWatchdog(std::string fifo, std::chrono::seconds limit)
        : thread_([this, fifo = std::move(fifo), limit] {
              std::unique_lock lock(mutex_);
              if (!done_.wait_for(lock, limit, [this] { return finished_; })) {
                  fired_ = true;
                  const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                  if (fd >= 0) {
                      ::close(fd);
                  }
              }
          }) {}
    ~FifoWatchdog() { Done(); }
    FifoWatchdog(const FifoWatchdog&) = delete;
    FifoWatchdog& operator=(const FifoWatchdog&) = delete;

    // Whether the reader was still blocked when the limit passed.
    bool Done() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        done_.notify_all();
        if (thread_.joinable()) {
            thread_.join();
        }
        return fired_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::atomic<bool> fired_ = false;
    std::thread thread_;
};

class SettingsWindowTest : public ::testing::Test {
  protected:
    QString SettingsFile() const { return settings_.filePath(QStringLiteral("ZX840EN.ini")); }
    QTemporaryDir settings_;
};

TEST_F(SettingsWindowTest, LongSettingsAreReadWholeAndRefusedOnesSaidOnce) {
    // Over a mebibyte, as the program writes after opening a test with a
    // long text: read back, not silently replaced by the defaults.
    Settings large;
    large.Type = std::string(3 << 20, 't');
    large.ComPort = "COM4";
    ASSERT_TRUE(WriteFileAtomically(SettingsFile().toStdString(), SerializeSettings(large)));
    int boxes = 0;
    {
        auto app = std::make_unique<CZX840ENApp>(settings_.path());
        AnswerMessageBoxes([&] { ASSERT_TRUE(app->InitInstance({})); }, &boxes);
        EXPECT_EQ(app->View()->Mark().Type.size(), large.Type.size());
        EXPECT_EQ(app->View()->PortName(), "COM4");
        AnswerMessageBoxes([&] { app.reset(); }, &boxes);
    }
    EXPECT_EQ(boxes, 0);

    // A FIFO in its place: refused at once, said once, the defaults used.
    fs::remove(SettingsFile().toStdString());
    ASSERT_EQ(mkfifo(SettingsFile().toLocal8Bit().constData(), 0600), 0);
    FifoWatchdog watchdog(SettingsFile().toStdString(), std::chrono::seconds(30));
    auto app = std::make_unique<CZX840ENApp>(settings_.path());
    const auto seen = AnswerMessageBoxes([&] { ASSERT_TRUE(app->InitInstance({})); }, &boxes);
    EXPECT_FALSE(watchdog.Done());
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(seen.caption, QStringLiteral("Warning"));
    EXPECT_TRUE(seen.text.contains(QStringLiteral("FIFO"))) << seen.text.toStdString();
    EXPECT_EQ(app->View()->PortName(), "COM1");
    // The FIFO is not replaced at exit either: the usual message.
    const auto exit = AnswerMessageBoxes([&] { app.reset(); }, &boxes);
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(exit.text, QStringLiteral("Can't create file ZX840EN.ini"));
    EXPECT_TRUE(fs::is_fifo(SettingsFile().toStdString()));
}

// Runs the program as an ordinary user from a copy in `bin`; its status,
// with its standard error in `err`.
int RunProgramAsUser(const fs::path& program, const fs::path& home, const QStringList& arguments,
                     std::string& err) {
    const fs::path errPath = home / "stderr.txt";
    std::vector<std::string> env = {
        "HOME=" + home.string(),
        "XDG_CONFIG_HOME=" + (home / "config").string(),
        "XDG_DATA_HOME=" + (home / "data").string(),
        "XDG_RUNTIME_DIR=" + (home / "run").string(),
        "QT_QPA_PLATFORM=offscreen",
        "PATH=/usr/bin:/bin",
    };
    std::vector<std::string> args = {program.string()};
    for (const QString& argument : arguments) {
        args.push_back(argument.toStdString());
    }
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int fd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || dup2(fd, STDERR_FILENO) < 0 || setgroups(0, nullptr) != 0 ||
            setgid(kNobody) != 0 || setuid(kNobody) != 0) {
            _exit(120);
        }
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& variable : env) {
            envp.push_back(variable.data());
        }
        envp.push_back(nullptr);
        execve(argv[0], argv.data(), envp.data());
        _exit(121);
    }
    int status = 0;
    waitpid(child, &status, 0);
    std::ifstream file(errPath);
    err.assign(std::istreambuf_iterator<char>(file), {});
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SettingsProgram, InstalledProgramKeepsSettingsPerUserPortableOneBesideItself) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as an ordinary user";
    }
    QTemporaryDir temporary;
    const fs::path root = temporary.path().toStdString();
    const fs::path bin = root / "bin";
    const fs::path home = root / "home";
    fs::create_directories(bin);
    fs::create_directories(home / "run");
    fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(home / "run", fs::perms::owner_all);
    for (const fs::path& folder : {home, home / "run"}) {
        ASSERT_EQ(chown(folder.c_str(), kNobody, kNobody), 0);
    }
    const fs::path program = bin / "zx840";
    fs::copy_file(ZX840_PROGRAM, program);
    ProductMark mark;
    mark.Type = "PSU-7";
    mark.Number = 41;
    const fs::path test = home / "PSU_41.ZX8";
    ASSERT_TRUE(WriteFileAtomically(test.string(), SerializeTest(mark, {})));
    // Printing to a printer that does not exist: the program opens the
    // test (its product information goes to the settings), fails to print
    // and ends, writing its settings.
    const QStringList print = {QStringLiteral("/pt"), QString::fromStdString(test.string()),
                               QStringLiteral("no-such-printer-zx840")};

    std::string err;
    EXPECT_EQ(RunProgramAsUser(program, home, print, err), 2) << err;
    EXPECT_EQ(err.find("Can't create"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(bin / "ZX840EN.ini"));
    const fs::path perUser = home / "config" / "Orvalisto" / "ZX840EN.ini";
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(ReadWholeFile(perUser.string(), &bytes)) << err;
    EXPECT_EQ(ParseSettings(bytes).Type, "PSU-7");
    EXPECT_EQ(ParseSettings(bytes).Number, 41);

    // The same copy in a folder of the user's own: beside the program.
    ASSERT_EQ(chown(bin.c_str(), kNobody, kNobody), 0);
    mark.Number = 42;
    ASSERT_TRUE(WriteFileAtomically(test.string(), SerializeTest(mark, {})));
    EXPECT_EQ(RunProgramAsUser(program, home, print, err), 2) << err;
    EXPECT_EQ(err.find("Can't create"), std::string::npos) << err;
    ASSERT_TRUE(ReadWholeFile((bin / "ZX840EN.ini").string(), &bytes)) << err;
    EXPECT_EQ(ParseSettings(bytes).Number, 42);
}

}  // namespace
}  // namespace zx840
