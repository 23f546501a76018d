// Runs GUI tests inside one QApplication, on the offscreen platform unless
// another is asked for.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// The per-user settings of the tests go to a folder of their own in the
// temporary folder ($TMPDIR, else /tmp). It is removed when the tests end,
// whether they passed or not.
class ConfigFolder {
  public:
    ConfigFolder() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = (tmp != nullptr && *tmp == '/') ? tmp : "/tmp";
        pattern += "/zx840-gui-tests-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
            setenv("XDG_CONFIG_HOME", path_.c_str(), 1);
        }
    }
    ~ConfigFolder() {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
        }
    }
    ConfigFolder(const ConfigFolder&) = delete;
    ConfigFolder& operator=(const ConfigFolder&) = delete;

  private:
    std::string path_;
};

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const ConfigFolder config;
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
