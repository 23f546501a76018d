// Runs GUI tests inside one QApplication, on the offscreen platform unless
// another is asked for.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "store/history_reader.h"

namespace {

// The per-user settings and data of the tests (the results store among
// them), and the runtime folder the toolkit wants, go to a folder of their own in the temporary
// folder ($TMPDIR, else /tmp). It is removed when the tests end, whether they passed or not.
class TestFolder {
  public:
    TestFolder() {
        // A test that starts this program again as a child process has set
        // up the folders (and may have changed them on purpose): they stay.
        if (std::getenv("ZX840_GUI_TEST_FOLDER") != nullptr) {
            return;
        }
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = (tmp != nullptr && *tmp == '/') ? tmp : "/tmp";
        pattern += "/zx840-gui-tests-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            return;
        }
        setenv("ZX840_GUI_TEST_FOLDER", pattern.c_str(), 1);
        path_ = pattern;
        const std::string config = path_ + "/config";
        const std::string data = path_ + "/data";
        const std::string runtime = path_ + "/runtime";
        if (mkdir(config.c_str(), 0700) == 0) {
            setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        }
        if (mkdir(data.c_str(), 0700) == 0) {
            setenv("XDG_DATA_HOME", data.c_str(), 1);
        }
        unsetenv("ZX840_DB");
        if (mkdir(runtime.c_str(), 0700) == 0) {
            setenv("XDG_RUNTIME_DIR", runtime.c_str(), 0);
        }
    }
    ~TestFolder() {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
        }
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

  private:
    std::string path_;
};

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const TestFolder folder;
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    // History windows closed with their test leave a thread to end on its
    // own; the program waits for them as the desktop program does.
    zx840::HistoryReader::WaitForAll();
    return status;
}
