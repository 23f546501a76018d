// zx840-cli and kept results: one back as the test file and the report the
// window makes of it, a test file's report judged against a plan, and the
// stats of a store by station and by type with one-sided limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <regex>
#include <tuple>

#include "record/file_io.h"
#include "record/measurement_file.h"
#include "record/record_json.h"
#include "tests/test_cli_support.h"
#include "tools/report_pdf.h"

namespace zx840 {
namespace {

using testing::CliRun;
using testing::ReadText;
using testing::RunTool;
using testing::TempDir;

std::string WriteText(const TempDir& dir, const std::string& name, const std::string& text) {
    std::ofstream(dir / name) << text;
    return dir / name;
}

std::string PdfText(const std::string& path) {
    std::string text;
    if (FILE* pipe = ::popen(("pdftotext -layout '" + path + "' -").c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            text.append(buffer, n);
        }
        ::pclose(pipe);
    }
    return text;
}

class CliKept : public ::testing::Test {
  protected:
    void SetUp() override { ::setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1); }
    void TearDown() override {
        ::unsetenv("XDG_DATA_HOME");
        ::unsetenv("ZX840_STATION");
    }
    TempDir dir_{"zx840-cli-kept"};
    std::string db_ = "sqlite:" + dir_ / "results.sqlite";
};

// A unit measured, judged FAIL and kept: history gives back the very file
// the window saves of the measurement (acquire --save writes the same
// bytes) and the report with the verdict it was kept with; report judges a
// file against a plan itself.
TEST_F(CliKept, AKeptResultComesBackAsItsTestFileAndItsReportWithItsVerdict) {
    SimulatorOptions options;
    options.load.kind = LoadKind::Rectifier;
    options.load.loadAmps = 6.0;
    auto sim = testing::StartSimulator(options);
    ASSERT_TRUE(sim);
    const std::string strict = WriteText(dir_, "strict.zx8plan", R"({"Power":{"max":50}})");
    const std::string saved = dir_ / "saved.ZX8";
    CliRun run = RunTool({"acquire", "--port", sim->DevicePath(), "--quiet", "--db", db_, "--plan",
                          strict, "--type", "PSU", "--number", "9", "--save", saved});
    ASSERT_EQ(run.status, kCliVerdictFail) << run.err;
    run = RunTool({"history", "--db", db_});
    std::smatch id;
    ASSERT_TRUE(std::regex_search(run.out, id, std::regex("\"Id\":\"([0-9a-f-]{36})\"")))
        << run.out;
    const std::string kept = id[1];

    ASSERT_EQ(RunTool({"history", "--db", db_, "--id", kept, "--save", dir_ / "back.ZX8"}).status,
              kCliOk);
    EXPECT_EQ(ReadText(dir_ / "back.ZX8"), ReadText(saved));
    run = RunTool({"history", "--db", db_, "--id", kept, "--save", "-"});
    EXPECT_EQ(run.out, ReadText(saved));
    run = RunTool({"history", "--db", db_, "--id", kept});
    EXPECT_NE(run.out.find("\"Number\":9"), std::string::npos) << run.out;

    // Mistakes, and an id the store does not hold.
    for (const auto& [args, status] : std::vector<std::pair<std::vector<std::string>, int>>{
             {{"--save", dir_ / "x.ZX8"}, kCliUsage},
             {{"--id", kept, "--type", "PSU", "--pdf", dir_ / "x.pdf"}, kCliUsage},
             {{"--id", kept, "--save", "-", "--pdf", "-"}, kCliUsage},
             {{"--id", "00000000-0000-4000-8000-000000000000", "--save", dir_ / "x.ZX8"},
              kCliFileError}}) {
        std::vector<std::string> all{"history", "--db", db_};
        all.insert(all.end(), args.begin(), args.end());
        run = RunTool(all);
        EXPECT_EQ(run.status, status) << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_NE(run.err.find("holds no result with the id"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "x.ZX8"));
    if (!ReportPdfWriter::Available()) {
        return;
    }

    // The verdict it was kept with; report judges against the plan given.
    ASSERT_EQ(RunTool({"history", "--db", db_, "--id", kept, "--pdf", dir_ / "kept.pdf"}).status,
              kCliOk);
    EXPECT_NE(PdfText(dir_ / "kept.pdf").find("Verdict: FAIL: Power"), std::string::npos)
        << PdfText(dir_ / "kept.pdf");
    const std::string loose = WriteText(dir_, "loose.zx8plan", R"({"Power":{"min":1}})");
    for (const auto& [plan, status, line] : {std::tuple{loose, kCliOk, "Verdict: PASS"},
                                             {strict, kCliVerdictFail, "Verdict: FAIL: Power"}}) {
        run = RunTool({"report", saved, "--pdf", dir_ / "judged.pdf", "--plan", plan});
        EXPECT_EQ(run.status, status) << run.err;
        EXPECT_NE(PdfText(dir_ / "judged.pdf").find(line), std::string::npos) << line;
    }
}

// Stations A and B measured type T1 (A: Urms 229 and 231; B: 228, 230 and
// 232), B also type T2.
TEST_F(CliKept, StatsByStationAndTypeWithCapabilityAgainstOneSidedLimits) {
    int number = 0;
    for (const auto& [station, type, urms] :
         std::vector<std::tuple<std::string, std::string, std::vector<float>>>{
             {"A", "T1", {229, 231}}, {"B", "T1", {228, 230, 232}}, {"B", "T2", {100, 102}}}) {
        const TempDir files("zx840-cli-kept-" + station + type);
        for (const float value : urms) {
            ProductMark mark;
            mark.Type = type;
            mark.Number = ++number;
            MeasurementRecord record;
            record.Urms = value;
            ASSERT_TRUE(WriteFileAtomically(files / (std::to_string(number) + ".ZX8"),
                                            SerializeTest(mark, record)));
        }
        ::setenv("ZX840_STATION", station.c_str(), 1);
        ASSERT_EQ(RunTool({"import", files.Path().string(), "--db", db_}).status, kCliOk);
    }
    // A: Urms mean 230, s = sqrt(2); 6 V from either limit.
    const std::string capability = JsonDouble(6.0 / (3.0 * std::sqrt(2.0)));
    const std::string head =
        R"({"Type":"T1","Station":"A","Count":2,"Passed":0,"Failed":0,"Readings":{"Urms":{"Count":2,"Min":229,"Mean":230,"Max":231,"StdDev":)" +
        JsonDouble(std::sqrt(2.0));
    for (const auto& [limit, want] : std::vector<std::pair<std::string, std::string>>{
             {R"({"min":224})", ",\"Cpk\":null,\"Cpl\":" + capability + "},"},
             {R"({"max":236})", ",\"Cpk\":null,\"Cpu\":" + capability + "},"},
             {R"({"min":224,"max":236})", ",\"Cpk\":" + capability + ",\"Cpl\":" + capability +
                                              ",\"Cpu\":" + capability + "},"}}) {
        const std::string plan = WriteText(dir_, "p.zx8plan", "{\"Urms\":" + limit + "}");
        const CliRun run =
            RunTool({"stats", "--db", db_, "--type", "T1", "--station", "A", "--plan", plan});
        EXPECT_EQ(run.out.rfind(head + want, 0), 0u) << limit << "\n" << run.out;
    }
    // One line per group, in the order of the names, each as the group alone.
    const CliRun byStation = RunTool({"stats", "--db", db_, "--type", "T1", "--by", "station"});
    EXPECT_EQ(byStation.out.rfind(head + "},", 0), 0u) << byStation.out;
    EXPECT_NE(byStation.out.find("\n{\"Type\":\"T1\",\"Station\":\"B\",\"Count\":3,"),
              std::string::npos);
    const CliRun byType = RunTool({"stats", "--db", db_, "--by", "type", "--station", "B"});
    EXPECT_EQ(byType.out.rfind("{\"Type\":\"T1\",\"Station\":\"B\",\"Count\":3,", 0), 0u);
    EXPECT_NE(byType.out.find("}}\n{\"Type\":\"T2\",\"Station\":\"B\",\"Count\":2,"),
              std::string::npos);
    EXPECT_EQ(std::count(byType.out.begin(), byType.out.end(), '\n'), 2) << byType.out;
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--by", "station"}, {"--type", "T1", "--by", "operator"}, {"--station", "A"}}) {
        std::vector<std::string> all{"stats", "--db", db_};
        all.insert(all.end(), bad.begin(), bad.end());
        EXPECT_EQ(RunTool(all).status, kCliUsage) << bad.back();
    }
}

}  // namespace
}  // namespace zx840
