// zx840-cli with a test plan: acquisitions judged as they come, saved tests
// judged without a meter, the verdict in the JSON, the text and the log,
// and exit status 7 for a FAIL.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "meter/sim/meter_simulator.h"
#include "record/file_io.h"
#include "record/measurement_file.h"
#include "tests/test_cli_support.h"

namespace zx840 {
namespace {

// The shared helpers of the command-line tests.
using namespace testing;

std::unique_ptr<MeterSimulator> Simulator(LoadKind kind, double amps) {
    SimulatorOptions options;
    options.load.kind = kind;
    options.load.loadAmps = amps;
    return StartSimulator(options);
}

std::string WritePlan(const TempDir& dir, const std::string& name, const std::string& json) {
    const std::string path = dir / name;
    std::ofstream(path) << json;
    return path;
}

TEST(CliPlan, AcquisitionsAreJudgedInTheJsonTheTextAndTheLog) {
    auto sim = Simulator(LoadKind::Rectifier, 6.0);
    ASSERT_TRUE(sim);
    const TempDir dir("zx840-cli-plan");
    const std::string plan =
        WritePlan(dir, "psu.zx8plan",
                  R"({"Type": "PSU", "Urms": {"min": 200, "max": 260}, "Iec61000_3_2": "A"})");
    const std::string log = dir / "line.csv";

    const CliRun json =
        RunTool({"acquire", "--port", sim->DevicePath(), "--plan", plan, "--log", log});
    EXPECT_EQ(json.status, kCliVerdictFail) << json.err;
    EXPECT_NE(json.out.find(R"("Verdict":{"Pass":false,"Plan":"psu","Checks":[{"Item":"Urms",)"),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find(R"({"Item":"IEC I3",)"), std::string::npos);
    EXPECT_EQ(json.out.back(), '\n');
    EXPECT_EQ(json.out.find('\n'), json.out.size() - 1);  // one line

    const CliRun text =
        RunTool({"acquire", "--port", sim->DevicePath(), "--plan", plan, "--text", "--log", log});
    EXPECT_EQ(text.status, kCliVerdictFail);
    EXPECT_NE(text.out.find("Verdict: FAIL ("), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("  FAIL IEC I3 = "), std::string::npos) << text.out;
    EXPECT_EQ(text.out.find("FAIL Urms"), std::string::npos);
    EXPECT_NE(text.out.find("IEC 61000-3-2 Class A pre-compliance indication (one period)"),
              std::string::npos);

    const CsvRecords rows = ParseCsv(ReadText(log));
    ASSERT_EQ(rows.size(), 3u);
    for (std::size_t row = 1; row < rows.size(); ++row) {
        EXPECT_EQ(rows[row][Column(rows[0], "Verdict")], "FAIL");
        EXPECT_EQ(rows[row][Column(rows[0], "FailedChecks")].rfind("IEC I3", 0), 0u);
    }
    // A log of judged rows takes no unjudged ones, and the other way round.
    const CliRun plain = RunTool({"acquire", "--port", sim->DevicePath(), "--log", log});
    EXPECT_EQ(plain.status, kCliFileError);

    // The same load passes a plan it meets, and the run ends with 0.
    const std::string loose = WritePlan(dir, "loose.zx8plan", R"({"Urms": {"min": 200}})");
    const CliRun pass = RunTool({"acquire", "--port", sim->DevicePath(), "--plan", loose});
    EXPECT_EQ(pass.status, kCliOk) << pass.err;
    EXPECT_NE(pass.out.find(R"("Verdict":{"Pass":true,"Plan":"loose")"), std::string::npos);

    // A plan that cannot be used stops the run before any exchange.
    const std::string broken =
        WritePlan(dir, "broken.zx8plan", R"({"Urms": {"min": 9, "max": 1}})");
    const std::size_t requests = sim->Requests().size();
    const CliRun refused = RunTool({"acquire", "--port", sim->DevicePath(), "--plan", broken});
    EXPECT_EQ(refused.status, kCliFileError);
    EXPECT_EQ(refused.err,
              "zx840-cli: " + broken + ": key \"Urms\": min 9 is greater than max 1\n");
    EXPECT_EQ(sim->Requests().size(), requests);
}

TEST(CliPlan, SavedTestsAreJudgedWithoutAMeter) {
    auto good = Simulator(LoadKind::Resistive, 1.0);
    auto bad = Simulator(LoadKind::Rectifier, 6.0);
    ASSERT_TRUE(good && bad);
    const TempDir dir("zx840-cli-check");
    const std::string tests = dir / "tests";
    ASSERT_EQ(RunTool({"acquire", "--port", good->DevicePath(), "--quiet", "--type", "R",
                       "--save-dir", tests})
                  .status,
              kCliOk);
    ASSERT_EQ(RunTool({"acquire", "--port", bad->DevicePath(), "--quiet", "--type", "S",
                       "--save-dir", tests})
                  .status,
              kCliOk);
    std::ofstream(dir / "damaged.ZX8") << "ZX840EN";
    const std::string plan = WritePlan(dir, "a.zx8plan", R"({"Iec61000_3_2": "A"})");

    const CliRun one = RunTool({"check", tests + "/R_1.ZX8", "--plan", plan});
    EXPECT_EQ(one.status, kCliOk) << one.err;
    EXPECT_EQ(one.out.rfind("{\"File\":\"" + tests + "/R_1.ZX8\",\"Mark\":{\"Manufacturer\"", 0),
              0u)
        << one.out;
    EXPECT_NE(one.out.find("\"Verdict\":{\"Pass\":true,\"Plan\":\"a\""), std::string::npos);
    EXPECT_EQ(one.err, "zx840-cli: 1 test judged, 1 passed, 0 failed\n");

    const CliRun all = RunTool({"check", tests, "--plan", plan, "--text"});
    EXPECT_EQ(all.status, kCliVerdictFail) << all.err;
    EXPECT_NE(all.out.find("Verdict: PASS   plan a"), std::string::npos) << all.out;
    EXPECT_NE(all.out.find("Verdict: FAIL ("), std::string::npos);
    EXPECT_EQ(all.err, "zx840-cli: 2 tests judged, 1 passed, 1 failed\n");

    const CliRun damaged = RunTool({"check", dir / "damaged.ZX8", tests, "--plan", plan});
    EXPECT_EQ(damaged.status, kCliFileError);
    EXPECT_NE(damaged.err.find("damaged.ZX8: Unexpected file format."), std::string::npos);

    EXPECT_EQ(RunTool({"check", tests}).status, kCliUsage);
    EXPECT_EQ(RunTool({"check", "--plan", plan}).status, kCliUsage);

    // Nothing judged is no pass.
    std::filesystem::create_directory(dir / "empty");
    const CliRun none = RunTool({"check", dir / "empty", "--plan", plan});
    EXPECT_EQ(none.status, kCliFileError);
    EXPECT_NE(none.err.find("no test file found"), std::string::npos) << none.err;

    // The good unit with the sign bit of its current flipped (the reply has
    // no checksum): its emission checks are made from a negative current and
    // fail, and its JSON says why.
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(ReadWholeFile(tests + "/R_1.ZX8", &bytes));
    auto flipped = ParseTest(bytes);
    ASSERT_TRUE(flipped);
    flipped->Record.Irms = -flipped->Record.Irms;
    ASSERT_TRUE(
        WriteFileAtomically(dir / "flipped.ZX8", SerializeTest(flipped->Mark, flipped->Record)));
    const CliRun negative = RunTool({"check", dir / "flipped.ZX8", "--plan", plan, "--text"});
    EXPECT_EQ(negative.status, kCliVerdictFail) << negative.out;
    EXPECT_NE(negative.out.find("FAIL IEC I3 = -"), std::string::npos) << negative.out;
    EXPECT_NE(negative.out.find("(out of range: Irms -"), std::string::npos);
    const CliRun shown = RunTool({"show", dir / "flipped.ZX8"});
    EXPECT_NE(shown.out.find("\"OutOfRange\":[\"Irms -"), std::string::npos) << shown.out;
}

}  // namespace
}  // namespace zx840
