// zx840-cli export: test files into CSV and JSON, one output per test.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>

#include "record/file_io.h"
#include "record/measurement_file.h"
#include "record/record_json.h"
#include "tests/test_cli_support.h"

namespace zx840 {
namespace {

// The shared helpers of the command-line tests.
using namespace testing;

std::string RealPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
    return real ? real.get() : path;
}

struct Sample {
    ProductMark mark;
    WorkingRecord working;
};

Sample WriteTest(const std::string& path, LoadKind kind, std::int32_t number) {
    LoadSettings load;
    load.kind = kind;
    Sample sample{{}, testing::ExpectedWorking(load)};
    sample.mark.Type = "Lamp, \"warm\"";
    sample.mark.Number = number;
    sample.mark.Testday = "26-12-08";
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    EXPECT_TRUE(WriteFileAtomically(path, SerializeTest(sample.mark, sample.working.Record)));
    return sample;
}

// Checks an exported table against the test it came from, value for value.
void ExpectTable(const std::string& csvPath, const std::string& source, const Sample& sample) {
    const CsvRecords rows = ParseCsv(ReadText(csvPath));
    ASSERT_EQ(rows.size(), 257u) << csvPath;
    const auto& names = rows[0];
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), names.size());
    }
    const auto at = [&](std::size_t row, const char* name) {
        return rows[row][Column(names, name)];
    };
    const MeasurementRecord& r = sample.working.Record;
    EXPECT_EQ(at(1, "Source"), source);
    EXPECT_EQ(at(1, "Type"), sample.mark.Type);
    EXPECT_EQ(at(1, "Number"), std::to_string(sample.mark.Number));
    EXPECT_EQ(at(1, "Testday"), "26-12-08");
    EXPECT_EQ(ParseFloat(at(1, "Urms")), r.Urms);
    EXPECT_EQ(ParseFloat(at(1, "Irms")), r.Irms);
    EXPECT_EQ(ParseFloat(at(1, "Power")), r.Power);
    EXPECT_EQ(ParseFloat(at(1, "Freq")), r.Freq);
    EXPECT_EQ(ParseFloat(at(1, "Upeak")),
              static_cast<float>(static_cast<double>(r.Urms) * static_cast<double>(r.Ucf)));
    EXPECT_EQ(ParseFloat(at(1, "PeakAngle")), sample.working.Angles.PeakAngle);
    EXPECT_EQ(at(2, "Urms"), "");
    for (std::size_t n = 0; n < 256; ++n) {
        const std::size_t row = n + 1;
        EXPECT_EQ(at(row, "Sample"), std::to_string(n));
        EXPECT_EQ(at(row, "UWave"), std::to_string(r.UWave[n]));
        EXPECT_EQ(at(row, "IWave"), std::to_string(r.IWave[n]));
        if (n >= 50) {
            EXPECT_EQ(at(row, "Order"), "");
            continue;
        }
        EXPECT_EQ(at(row, "Order"), std::to_string(n + 1));
        EXPECT_EQ(ParseFloat(at(row, "USpec")), r.USpec[n]);
        EXPECT_EQ(ParseFloat(at(row, "ISpec")), r.ISpec[n]);
        EXPECT_EQ(ParseFloat(at(row, "ISpecPercent")),
                  static_cast<float>(static_cast<double>(r.ISpec[n]) * 100.0 / r.ISpec[0]));
    }
}

TEST(Export, EachTestBecomesOneTableAndDamagedFilesAreSkippedWithoutStopping) {
    const TempDir dir("zx840-export");
    const Sample a = WriteTest(dir / "in/a.ZX8", LoadKind::Dimmer, 1);
    const Sample b = WriteTest(dir / "in/b.zx8", LoadKind::Rectifier, 2);
    const Sample d = WriteTest(dir / "more/d.ZX8", LoadKind::Resistive, 3);
    WriteTest(dir / "in/c.ZX8", LoadKind::Resistive, 4);
    std::filesystem::resize_file(dir / "in/c.ZX8", 1000);
    std::ofstream(dir / "in/notes.txt") << "not a test";

    const CliRun run = RunTool({"export", dir / "in", dir / "more/d.ZX8", dir / "missing.ZX8",
                                "--csv", dir / "csv", "--json", dir / "json"});
    EXPECT_EQ(run.status, kCliFileError);
    EXPECT_EQ(run.out, "Exported 3 of 5 test files, 2 skipped\n");
    EXPECT_NE(run.err.find("zx840-cli: " + (dir / "in/c.ZX8") + ": " + kUnexpectedFileFormat),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("zx840-cli: " + (dir / "missing.ZX8") + ": "), std::string::npos);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "csv"), {}), 3);
    ExpectTable(dir / "csv/a.csv", RealPath(dir / "in/a.ZX8"), a);
    ExpectTable(dir / "csv/b.csv", RealPath(dir / "in/b.zx8"), b);
    ExpectTable(dir / "csv/d.csv", RealPath(dir / "more/d.ZX8"), d);

    // The JSON is what `show` prints, after the source.
    const CliRun shown = RunTool({"show", dir / "in/a.ZX8"});
    ASSERT_EQ(shown.status, kCliOk);
    EXPECT_EQ(ReadText(dir / "json/a.json"),
              "{\"Source\":" + JsonString(RealPath(dir / "in/a.ZX8")) + "," + shown.out.substr(1));

    EXPECT_EQ(RunTool({"export", dir / "in"}).status, kCliUsage);
    EXPECT_EQ(RunTool({"export", "--csv", dir / "csv"}).status, kCliUsage);
    EXPECT_EQ(RunTool({"export", dir / "in", "--xml", dir / "x"}).status, kCliUsage);
}

TEST(Export, SameNamesFromTwoDirectoriesBothStayAndAnotherExportReplacesItsOwn) {
    const TempDir dir("zx840-export-names");
    const Sample first = WriteTest(dir / "day1/t.ZX8", LoadKind::Dimmer, 10);
    const Sample second = WriteTest(dir / "day2/t.ZX8", LoadKind::Rectifier, 20);
    const std::string out = dir / "csv";
    ASSERT_EQ(RunTool({"export", dir / "day1/t.ZX8", dir / "day2/t.ZX8", "--csv", out}).status,
              kCliOk);
    // Again, in the other order, from another working directory's view.
    ASSERT_EQ(RunTool({"export", dir / "day2/../day2/t.ZX8", dir / "day1", "--csv", out}).status,
              kCliOk);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), {}), 2);
    ExpectTable(out + "/t.csv", RealPath(dir / "day1/t.ZX8"), first);
    ExpectTable(out + "/t-2.csv", RealPath(dir / "day2/t.ZX8"), second);

    // An output that cannot be written stops the batch.
    std::ofstream(dir / "file") << "x";
    const CliRun blocked = RunTool({"export", dir / "day1", "--csv", dir / "file/csv"});
    EXPECT_EQ(blocked.status, kCliFileError);
}

TEST(Export, ProgressBarOnlyOnATerminalAndOnlyForMoreThanOneFile) {
    const TempDir dir("zx840-export-bar");
    for (int n = 1; n <= 3; ++n) {
        WriteTest(dir / ("in/" + std::to_string(n) + ".ZX8"), LoadKind::Resistive, n);
    }
    CliContext terminal;
    terminal.errIsTerminal = true;
    const CliRun shown = RunTool({"export", dir / "in", "--csv", dir / "csv"}, terminal);
    EXPECT_EQ(shown.status, kCliOk);
    EXPECT_NE(shown.err.find("\r[" + std::string(40, '#') + "] 3/3"), std::string::npos)
        << shown.err;
    EXPECT_EQ(shown.err.back(), '\r');  // the bar is wiped before the summary
    EXPECT_EQ(shown.out, "Exported 3 of 3 test files, 0 skipped\n");
    EXPECT_EQ(RunTool({"export", dir / "in", "--csv", dir / "csv"}).err, "");
    EXPECT_EQ(RunTool({"export", dir / "in/1.ZX8", "--csv", dir / "csv"}, terminal).err, "");
}

using GermanLocale = testing::GermanLocale;

// The whole way from the meter to the files under a decimal-comma locale.
TEST_F(GermanLocale, LoggedAndExportedValuesKeepTheDecimalPointAndReadBackExactly) {
    SimulatorOptions options;
    options.load.kind = LoadKind::Rectifier;
    std::string error;
    auto sim = MeterSimulator::CreatePty(options, &error);
    ASSERT_TRUE(sim) << error;
    sim->Start();
    const TempDir dir("zx840-german");
    const CliRun run =
        RunTool({"acquire", "--port", sim->DevicePath(), "--quiet", "--log", dir / "log.csv",
                 "--save-dir", dir / "tests", "--number", "1234567"});
    ASSERT_EQ(run.status, kCliOk) << run.err;
    const WorkingRecord expected = testing::ExpectedWorking(options.load);
    const CsvRecords log = ParseCsv(ReadText(dir / "log.csv"));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1][Column(log[0], "Number")], "1234567");
    EXPECT_EQ(ParseFloat(log[1][Column(log[0], "PF")]), expected.Record.PF);
    EXPECT_EQ(ParseFloat(log[1][Column(log[0], "Irms")]), expected.Record.Irms);

    ASSERT_EQ(RunTool({"export", dir / "tests", "--csv", dir / "csv"}).status, kCliOk);
    const CsvRecords table = ParseCsv(ReadText(dir / "csv/ZX840_1234567.csv"));
    ASSERT_EQ(table.size(), 257u);
    EXPECT_EQ(ParseFloat(table[1][Column(table[0], "Icf")]), expected.Record.Icf);
    EXPECT_EQ(ParseFloat(table[5][Column(table[0], "ISpec")]), expected.Record.ISpec[4]);
    EXPECT_EQ(ParseFloat(table[5][Column(table[0], "ISpecPercent")]),
              static_cast<float>(static_cast<double>(expected.Record.ISpec[4]) * 100.0 /
                                 expected.Record.ISpec[0]));

    // The text readout keeps the point too.
    const CliRun text = RunTool({"acquire", "--port", sim->DevicePath(), "--text"});
    EXPECT_NE(text.out.find("Voltage          230.00 V"), std::string::npos) << text.out;
}

}  // namespace
}  // namespace zx840
