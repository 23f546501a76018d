#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>

#include "meter/sim/meter_simulator.h"
#include "tests/test_cli_support.h"
#include "tools/cli.h"
#include "tools/cli_common.h"
#include "tools/sim_options.h"

namespace zx840 {
namespace {

using testing::CliRun;
using testing::ReadText;
using testing::RunTool;
using testing::TempDir;

TEST(CliConventions, VersionSwitchesAndCountsThatAgreeWithTheirNouns) {
    for (const char* option : {"--version", "-V"}) {
        const CliRun run = RunTool({option});
        EXPECT_EQ(run.status, kCliOk) << option;
        EXPECT_EQ(run.out, "zx840-cli 1.05\n") << option;
        EXPECT_EQ(run.err, "");
        SimCommandLine command;
        std::string error;
        ASSERT_TRUE(ParseSimCommandLine({option}, command, error)) << option << ": " << error;
        EXPECT_TRUE(command.version);
    }

    EXPECT_EQ(Counted(0, "test", "tests"), "0 tests");
    EXPECT_EQ(Counted(1, "test", "tests"), "1 test");
    EXPECT_EQ(Counted(2, "acquisition", "acquisitions"), "2 acquisitions");

    // One test exported: "1 test file", not "1 test files".
    std::string error;
    auto sim = MeterSimulator::CreatePty(SimulatorOptions{}, &error);
    ASSERT_TRUE(sim) << error;
    sim->Start();
    const TempDir dir("zx840-cli-conventions");
    ASSERT_EQ(RunTool({"acquire", "--port", sim->DevicePath(), "--save", dir / "t.ZX8"}).status,
              kCliOk);
    const CliRun exported = RunTool({"export", dir / "t.ZX8", "--csv", dir / "csv"});
    EXPECT_EQ(exported.status, kCliOk) << exported.err;
    EXPECT_EQ(exported.out, "Exported 1 of 1 test file, 0 skipped\n");
}

// Under cron or `env -i` nothing names a runtime folder; the PDF report is
// still written, and nothing but real problems reaches stderr.
TEST(CliConventions, ReportPdfInABareEnvironmentKeepsStderrClean) {
    std::string error;
    auto sim = MeterSimulator::CreatePty(SimulatorOptions{}, &error);
    ASSERT_TRUE(sim) << error;
    sim->Start();
    const TempDir dir("zx840-cli-bare");
    ASSERT_EQ(RunTool({"acquire", "--port", sim->DevicePath(), "--save", dir / "t.ZX8"}).status,
              kCliOk);

    testing::CliArgv argv({"report", dir / "t.ZX8", "--pdf", dir / "t.pdf"});
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string errPath = dir / "err.txt";
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    char* const emptyEnvironment[] = {nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, ZX840_CLI_PATH, &actions, nullptr, argv.Get(), emptyEnvironment),
              0);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), kCliOk);
    EXPECT_EQ(ReadText(errPath), "");
    EXPECT_GT(std::filesystem::file_size(dir / "t.pdf"), 1000u);
}

}  // namespace
}  // namespace zx840
