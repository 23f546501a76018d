// Runs GUI tests inside one QApplication, on the offscreen platform unless
// another is asked for.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Per-user settings of the tests go to a folder of their own.
    char config[] = "/tmp/zx840-gui-tests-XXXXXX";
    if (mkdtemp(config) != nullptr) {
        setenv("XDG_CONFIG_HOME", config, 1);
    }
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
