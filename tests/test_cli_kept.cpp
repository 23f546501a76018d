// zx840-cli and kept results: the stats of a store by station and by type
// with one-sided limits.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <regex>
#include <tuple>

#include "record/file_io.h"
#include "record/record_json.h"
#include "record/test_file.h"
#include "tests/test_cli_support.h"

namespace zx840 {
namespace {

using testing::CliRun;
using testing::RunTool;
using testing::TempDir;

std::string WriteText(const TempDir& dir, const std::string& name, const std::string& text) {
    std::ofstream(dir / name) << text;
    return dir / name;
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
    const std::string a = JsonDouble(std::sqrt(2.0));  // the spread of A's T1
    const std::string capability = JsonDouble(6.0 / (3.0 * std::sqrt(2.0)));
    const std::string atLeast = WriteText(dir_, "min.zx8plan", R"({"Urms":{"min":224}})");
    const std::string atMost = WriteText(dir_, "max.zx8plan", R"({"Urms":{"max":236}})");
    const std::string both = WriteText(dir_, "both.zx8plan", R"({"Urms":{"min":224,"max":236}})");
    const std::string urmsOfA = "\"Urms\":{\"Count\":2,\"Min\":229,\"Mean\":230,\"Max\":231,";
    for (const auto& [args, want] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--type", "T1", "--station", "A", "--plan", atLeast},
              "{\"Type\":\"T1\",\"Station\":\"A\",\"Count\":2,\"Passed\":0,\"Failed\":0,"
              "\"Readings\":{" +
                  urmsOfA + "\"StdDev\":" + a + ",\"Cpk\":null,\"Cpl\":" + capability + "},"},
             {{"--type", "T1", "--station", "A", "--plan", atMost},
              urmsOfA + "\"StdDev\":" + a + ",\"Cpk\":null,\"Cpu\":" + capability + "},"},
             {{"--type", "T1", "--station", "A", "--plan", both},
              urmsOfA + "\"StdDev\":" + a + ",\"Cpk\":" + capability + ",\"Cpl\":" + capability +
                  ",\"Cpu\":" + capability + "},"}}) {
        std::vector<std::string> all{"stats", "--db", db_};
        all.insert(all.end(), args.begin(), args.end());
        const CliRun run = RunTool(all);
        EXPECT_EQ(run.status, kCliOk) << run.err;
        EXPECT_NE(run.out.find(want), std::string::npos) << want << "\n" << run.out;
    }
    // One line per group, in the order of the names.
    const std::regex group(R"re(^\{"Type":"(\w+)",(?:"Station":"(\w+)",)?"Count":(\d+),)re");
    for (const auto& [args, want] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--type", "T1", "--by", "station"}, "T1 A 2|T1 B 3|"},
             {{"--by", "type"}, "T1  5|T2  2|"},
             {{"--by", "type", "--station", "B"}, "T1 B 3|T2 B 2|"},
             {{"--by", "type", "--type", "T9"}, ""}}) {
        std::vector<std::string> all{"stats", "--db", db_};
        all.insert(all.end(), args.begin(), args.end());
        const CliRun run = RunTool(all);
        EXPECT_EQ(run.status, kCliOk) << run.err;
        std::istringstream lines(run.out);
        std::string got;
        for (std::string line; std::getline(lines, line);) {
            std::smatch m;
            ASSERT_TRUE(std::regex_search(line, m, group)) << line;
            got += m[1].str() + " " + m[2].str() + " " + m[3].str() + "|";
        }
        EXPECT_EQ(got, want) << args[1];
    }
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--by", "station"}, {"--type", "T1", "--by", "operator"}, {"--station", "A"}}) {
        std::vector<std::string> all{"stats", "--db", db_};
        all.insert(all.end(), bad.begin(), bad.end());
        EXPECT_EQ(RunTool(all).status, kCliUsage) << bad.back();
    }
}

}  // namespace
}  // namespace zx840
