// zx840-cli against hostile input: product files that are not product
// files, names built from odd product data, bytes that are not UTF-8, a
// log that meets the file-size limit, empty option values, and standard
// output closed or full.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "record/archive.h"
#include "record/file_io.h"
#include "record/measurement_file.h"
#include "record/settings_file.h"
#include "tests/test_cli_support.h"
#include "tools/acquisition_log.h"
#include "tools/cli.h"

namespace zx840 {
namespace {

// The shared helpers of the command-line tests.
using namespace testing;

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// Only a whole test file or a settings file read to its last byte gives
// product information; anything else ends the run before any exchange, with
// the file named and status 5.
TEST(MarkFile, OnlyAWholeTestFileOrSettingsFileIsTaken) {
    const TempDir dir("zx840-markfile");
    // A port that cannot be opened: a mark taken by mistake shows as status 2.
    const std::string port = dir / "no-such-port";

    Settings settings;
    settings.Type = "Lamp";
    const std::vector<std::uint8_t> whole = SerializeSettings(settings);
    WriteBytes(dir / "ZX840EN.ini", whole);
    EXPECT_EQ(RunTool({"acquire", "--port", port, "--mark", dir / "ZX840EN.ini"}).status,
              kCliOpenFailed);

    std::vector<std::uint8_t> longer = whole;
    longer.push_back(0);
    WriteBytes(dir / "longer.ini", longer);
    WriteBytes(dir / "shorter.ini", {whole.begin(), whole.end() - 1});
    std::ofstream(dir / "log.csv", std::ios::binary) << LogHeaderRow();
    std::ofstream(dir / "report.pdf", std::ios::binary)
        << "%PDF-1.4\n1 0 obj\n<< /Type /Catalog >>\nendobj\ntrailer\n%%EOF\n";
    std::ofstream(dir / "empty.ini").flush();
    std::ofstream(dir / "hostname") << "workstation-7\n";
    std::vector<std::uint8_t> test = SerializeTest(ProductMark{}, MeasurementRecord{});
    test.resize(test.size() / 2);
    WriteBytes(dir / "cut.ZX8", test);

    for (const char* name : {"longer.ini", "shorter.ini", "log.csv", "report.pdf", "empty.ini",
                             "hostname", "cut.ZX8"}) {
        const CliRun run = RunTool({"acquire", "--port", port, "--mark", dir / name});
        EXPECT_EQ(run.status, kCliFileError) << name << ": " << run.err;
        EXPECT_NE(run.err.find(dir / name), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("Usage:"), std::string::npos) << run.err;
        if (std::string(name) != "cut.ZX8") {
            EXPECT_NE(run.err.find("neither a test file nor a settings file"), std::string::npos)
                << run.err;
        }
    }
}

// TYPE_NUMBER never begins with "-" or a space, so that no file name made
// from product data reads as an option or hides its start; ordinary types
// keep their names.
TEST(FileNames, TypesBeginningWithADashOrASpaceGiveSafeNames) {
    auto sim = StartSimulator();
    ASSERT_TRUE(sim);
    const TempDir dir("zx840-names");
    const std::string tests = dir / "tests";
    for (const char* type : {"-rf", " x", "PSU 12"}) {
        const CliRun run = RunTool({"acquire", "--port", sim->DevicePath(), "--quiet", "--save-dir",
                                    tests, "--type", type, "--number", "5"});
        ASSERT_EQ(run.status, kCliOk) << run.err;
    }
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(tests)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"PSU 12_5.ZX8", "_rf_5.ZX8", "_x_5.ZX8"}));
}

// Bytes of an argument that are not UTF-8 reach the log and the test file as
// U+FFFD, never raw.
TEST(AcquireLog, InvalidUtf8FromTheCommandLineBecomesReplacementCharacters) {
    auto sim = StartSimulator();
    ASSERT_TRUE(sim);
    const TempDir dir("zx840-utf8");
    const std::string log = dir / "line.csv";
    CliRun run =
        RunTool({"acquire", "--port", sim->DevicePath(), "--quiet", "--log", log, "--operator",
                 "Bob\xff\xfe", "--type", "M\xc3\xbcller\xc3", "--save", dir / "t.ZX8"});
    ASSERT_EQ(run.status, kCliOk) << run.err;
    run = RunTool({"acquire", "--port", dir / "port\xff", "--log", log});
    EXPECT_EQ(run.status, kCliOpenFailed);

    const std::string text = ReadText(log);
    EXPECT_TRUE(IsValidUtf8(text));
    const CsvRecords rows = ParseCsv(text);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1][Column(rows[0], "Operator")], "Bob\xef\xbf\xbd\xef\xbf\xbd");
    EXPECT_EQ(rows[1][Column(rows[0], "Type")], "M\xc3\xbcller\xef\xbf\xbd");
    EXPECT_EQ(rows[2][Column(rows[0], "Port")], dir / "port\xef\xbf\xbd");
    EXPECT_TRUE(IsValidUtf8(rows[2][Column(rows[0], "Detail")]));

    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(ReadWholeFile(dir / "t.ZX8", &bytes));
    const auto saved = ParseTest(bytes);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->Mark.Operator, "Bob\xef\xbf\xbd\xef\xbf\xbd");
}

// A row that does not fit under the limit is not written at all: the run
// ends with status 5 (not killed by SIGXFSZ) and the log holds whole rows.
TEST(AcquireLog, AFileSizeLimitLeavesWholeRowsOnly) {
    auto sim = StartSimulator();
    ASSERT_TRUE(sim);
    const TempDir dir("zx840-fsize");
    const std::string log = dir / "line.csv";
    ASSERT_EQ(RunTool({"acquire", "--port", sim->DevicePath(), "--quiet", "--log", log}).status,
              kCliOk);
    const auto size = std::filesystem::file_size(log);
    const auto row = size - LogHeaderRow().size();
    // Room for one more row and half of the next.
    const int status = testing::RunCliWithFileSizeLimit(
        {"acquire", "--port", sim->DevicePath(), "--quiet", "--count", "3", "--log", log},
        size + row + row / 2, dir / "err.txt");
    EXPECT_EQ(status, kCliFileError);
    const std::string text = ReadText(log);
    EXPECT_EQ(text.size(), size + row);
    const CsvRecords rows = ParseCsv(text);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2].size(), rows[0].size());
    EXPECT_EQ(rows[2][Column(rows[0], "Result")], "OK");
}

// An empty value never turns a feature off without a word, and what could
// not be written (standard output full, or closed at the start) is never
// reported as done.
TEST(CliSafety, EmptyValuesAreMistakesAndUnwritableOutputIsNoSuccess) {
    auto sim = StartSimulator();
    ASSERT_TRUE(sim);
    const TempDir dir("zx840-outputs");
    const std::string test = dir / "a.ZX8";
    const std::string store = "sqlite:" + (dir / "results.sqlite");
    const std::string plan = dir / "p.zx8plan";
    std::ofstream(plan) << R"({"Urms": {"min": 1}})";
    ASSERT_EQ(RunTool({"acquire", "--port", sim->DevicePath(), "--quiet", "--save", test, "--db",
                       store, "--type", "PSU"})
                  .status,
              kCliOk);

    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"acquire", "--port", sim->DevicePath(), "--plan", ""},
             {"acquire", "--port", sim->DevicePath(), "--plan="},
             {"acquire", "--port", sim->DevicePath(), "--db="},
             {"acquire", "--port", sim->DevicePath(), "--log", ""},
             {"acquire", "--port", "", "--quiet"},
             {"check", "--plan", "", test},
             {"export", test, "--csv="},
             {"history", "--db", ""},
             {"report", test, "--pdf", ""}}) {
        const CliRun run = RunTool(args);
        EXPECT_EQ(run.status, kCliUsage) << args[0] << " " << args[args.size() - 1];
        EXPECT_NE(run.err.find("needs a value: an empty one names nothing"), std::string::npos)
            << run.err;
    }

    // A text that is no store URL is a usage error for every command.
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"acquire", "--port", sim->DevicePath(), "--db", "mysql://x/y"},
             {"history", "--db", "mysql://x/y"},
             {"stats", "--db", "mysql://x/y", "--type", "PSU"},
             {"sync", "--db", "mysql://x/y"},
             {"import", "--db", "mysql://x/y", test}}) {
        EXPECT_EQ(RunTool(args).status, kCliUsage) << args[0];
    }

    // Standard output closed: the log opens on another descriptor and holds
    // its rows alone, not the JSON.
    const std::string log = dir / "line.csv";
    CliProcess closed({"acquire", "--port", sim->DevicePath(), "--log", log}, "", dir / "err");
    EXPECT_EQ(closed.Wait(std::chrono::minutes(2)), kCliOk) << ReadText(dir / "err");
    const CsvRecords rows = ParseCsv(ReadText(log));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1][Column(rows[0], "Result")], "OK");

    // Standard output full: exit status 5 and the reason, whatever the command.
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--help"},
                                               {"check", "--plan", plan, test},
                                               {"show", test},
                                               {"history", "--db", store},
                                               {"history", "--db", store, "--csv"},
                                               {"stats", "--db", store, "--type", "PSU"},
                                               {"sync", "--db", store},
                                               {"import", "--db", store, test},
                                               {"ports"}}) {
        CliProcess full(args, "/dev/full", dir / "err");
        EXPECT_EQ(full.Wait(std::chrono::minutes(2)), kCliFileError) << args[0];
        EXPECT_NE(ReadText(dir / "err").find("cannot write to standard output"), std::string::npos)
            << args[0] << ": " << ReadText(dir / "err");
    }
}

}  // namespace
}  // namespace zx840
