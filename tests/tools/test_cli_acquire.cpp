// zx840-cli acquire in runs, against the simulated meter on a pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <tuple>

#include "record/file_io.h"
#include "record/json_reader.h"
#include "record/mark_number.h"
#include "record/measurement_file.h"
#include "record/record_json.h"
#include "record/settings_file.h"
#include "tests/test_cli_support.h"
#include "tools/report_pdf.h"
#include "tools/sim_options.h"

namespace zx840 {
namespace {

// The shared helpers of the command-line tests.
using namespace testing;

std::string Field(const CsvRecords& log, std::size_t row, const std::string& name) {
    return log.at(row).at(Column(log[0], name));
}

std::string OneLineMessage(AcquireFailure failure) {
    std::string text = FailureMessage(failure).text;
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

TestFileContents ReadTest(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(ReadWholeFile(path, &bytes)) << path;
    const auto test = ParseTest(bytes);
    EXPECT_TRUE(test) << path;
    return test.value_or(TestFileContents{});
}

TEST(AcquireRun, RunOfNLogsNRowsOfTheMeasurementsAndLaterRunsAppend) {
    SimulatorOptions options;
    options.load.kind = LoadKind::Dimmer;
    auto sim = StartSimulator(options);
    ASSERT_TRUE(sim);
    const TempDir dir("zx840-run");
    const std::string log = dir / "line.csv";
    const CliRun run = RunTool({"acquire", "--port", sim->DevicePath(), "--count", "5", "--quiet",
                                "--log", log, "--type", "PSU 12"});
    EXPECT_EQ(run.status, kCliOk) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("5 acquisitions, 5 good, 0 failed"), std::string::npos) << run.err;
    EXPECT_EQ(sim->Requests().size(), 5u);

    CsvRecords rows = ParseCsv(ReadText(log));
    ASSERT_EQ(rows.size(), 6u);
    const WorkingRecord expected = testing::ExpectedWorking(options.load);
    const std::regex timestamp(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)");
    for (std::size_t row = 1; row < rows.size(); ++row) {
        ASSERT_EQ(rows[row].size(), rows[0].size());
        EXPECT_TRUE(std::regex_match(Field(rows, row, "Timestamp"), timestamp));
        EXPECT_EQ(Field(rows, row, "Port"), sim->DevicePath());
        EXPECT_EQ(Field(rows, row, "Baud"), "9600");
        EXPECT_EQ(Field(rows, row, "Type"), "PSU 12");
        EXPECT_EQ(Field(rows, row, "Testday"), TodayTestday());
        EXPECT_EQ(Field(rows, row, "Result"), "OK");
        EXPECT_EQ(ParseFloat(Field(rows, row, "Urms")), expected.Record.Urms);
        EXPECT_EQ(ParseFloat(Field(rows, row, "PF")), expected.Record.PF);
        EXPECT_EQ(ParseFloat(Field(rows, row, "Icf")), expected.Record.Icf);
        EXPECT_EQ(ParseFloat(Field(rows, row, "IthdPercent")),
                  static_cast<float>(static_cast<double>(expected.Record.Ithd) * 100.0 /
                                     expected.Record.ISpec[0]));
        EXPECT_EQ(ParseFloat(Field(rows, row, "StartAngle")), expected.Angles.StartAngle);
        EXPECT_EQ(ParseFloat(Field(rows, row, "EndAngle")), expected.Angles.EndAngle);
    }

    // A later run adds its rows under the same header; stdout has one JSON
    // record per acquisition.
    const CliRun more =
        RunTool({"acquire", "--port", sim->DevicePath(), "--count", "2", "--log", log});
    EXPECT_EQ(more.status, kCliOk) << more.err;
    EXPECT_EQ(std::count(more.out.begin(), more.out.end(), '\n'), 2);
    EXPECT_EQ(more.out.rfind("{\"Urms\":", 0), 0u);
    rows = ParseCsv(ReadText(log));
    EXPECT_EQ(rows.size(), 8u);

    // A row cut short by a crash stays as it is; the next row starts on a line
    // of its own.
    std::ofstream(log, std::ios::app) << "2026-12-08T14:03:05+01:00,COM1";
    EXPECT_EQ(RunTool({"acquire", "--port", sim->DevicePath(), "--log", log}).status, kCliOk);
    rows = ParseCsv(ReadText(log));
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_EQ(rows[8].size(), 2u);
    EXPECT_EQ(rows[9].size(), rows[0].size());
    EXPECT_EQ(Field(rows, 9, "Result"), "OK");

    // Any other file is no log to append to: refused before any exchange.
    const std::string other = dir / "other.csv";
    std::ofstream(other) << "a,b\r\n1,2\r\n";
    const std::size_t requests = sim->Requests().size();
    const CliRun refused = RunTool({"acquire", "--port", sim->DevicePath(), "--log", other});
    EXPECT_EQ(refused.status, kCliFileError);
    EXPECT_EQ(sim->Requests().size(), requests);
    EXPECT_EQ(ReadText(other), "a,b\r\n1,2\r\n");
    EXPECT_EQ(
        RunTool({"acquire", "--port", sim->DevicePath(), "--log", dir / "no/such/dir.csv"}).status,
        kCliFileError);
}

TEST(AcquireRun, AFaultInMidRunGivesAnErrorRowAndStopOnErrorEndsTheRunThere) {
    auto sim = StartSimulator(SimulatorOptions{});
    ASSERT_TRUE(sim);
    const TempDir dir("zx840-fault");
    const std::string log = dir / "line.csv";
    sim->SetFault({FaultMode::WrongMark, 2, 1});
    const CliRun run =
        RunTool({"acquire", "--port", sim->DevicePath(), "--count", "4", "--quiet", "--log", log});
    // The run goes on; its status is that of the failure.
    EXPECT_EQ(run.status, kCliBadReply);
    EXPECT_NE(run.err.find(FailureMessage(AcquireFailure::BadReply).text), std::string::npos);
    EXPECT_NE(run.err.find("4 acquisitions, 3 good, 1 failed"), std::string::npos) << run.err;
    CsvRecords rows = ParseCsv(ReadText(log));
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(Field(rows, 1, "Result"), "OK");
    EXPECT_EQ(Field(rows, 2, "Result"), "OK");
    EXPECT_EQ(Field(rows, 3, "Result"), "FAILED");
    EXPECT_EQ(Field(rows, 3, "Message"), OneLineMessage(AcquireFailure::BadReply));
    EXPECT_EQ(Field(rows, 3, "Detail")
                  .rfind(sim->DevicePath() + ": 1053 bytes received, first byte 0x", 0),
              0u)
        << Field(rows, 3, "Detail");
    EXPECT_EQ(Field(rows, 3, "Urms"), "");
    EXPECT_EQ(rows[3].size(), rows[0].size());
    EXPECT_EQ(Field(rows, 4, "Result"), "OK");
    EXPECT_EQ(sim->Requests().size(), 4u);

    sim->SetFault({FaultMode::WrongMark, 2, 1});
    const CliRun stopped = RunTool({"acquire", "--port", sim->DevicePath(), "--count", "4",
                                    "--quiet", "--stop-on-error", "--log", log});
    EXPECT_EQ(stopped.status, kCliBadReply);
    EXPECT_NE(stopped.err.find("3 acquisitions, 2 good, 1 failed"), std::string::npos);
    EXPECT_EQ(sim->Requests().size(), 7u);
    rows = ParseCsv(ReadText(log));
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(Field(rows, 7, "Result"), "FAILED");

    // No meter at all: every exchange fails to open the port, each logged.
    const CliRun missing = RunTool(
        {"acquire", "--port", dir / "no-meter", "--count", "2", "--stop-on-error", "--log", log});
    EXPECT_EQ(missing.status, kCliOpenFailed);
    rows = ParseCsv(ReadText(log));
    ASSERT_EQ(rows.size(), 9u);
    EXPECT_EQ(Field(rows, 8, "Message"), OneLineMessage(AcquireFailure::OpenFailed));
}

// Each exchange is a line of the JSON stream, a failed one too; with a plan
// the closing summary counts the verdicts.
TEST(AcquireRun, AFailedExchangeIsALineOfTheStreamAndTheSummaryCountsVerdicts) {
    auto sim = StartSimulator(SimulatorOptions{});
    ASSERT_TRUE(sim);
    const TempDir dir("zx840-stream");
    std::ofstream(dir / "pass.zx8plan") << R"({"Urms":{"min":200}})";
    std::ofstream(dir / "fail.zx8plan") << R"({"Urms":{"max":200}})";
    const std::regex failure(
        R"re(\{"Time":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d","Failure":"(F\d)","Message":(.*)\})re");
    const auto lines = [&](const std::vector<std::string>& extra) {
        std::vector<std::string> args{"acquire", "--count", "3"};
        args.insert(args.end(), extra.begin(), extra.end());
        const CliRun run = RunTool(args);
        std::vector<std::string> found;
        std::istringstream out(run.out);
        for (std::string line; std::getline(out, line);) {
            std::smatch m;
            found.push_back(std::regex_match(line, m, failure) ? m[1].str() + " " + m[2].str()
                                                               : line.substr(0, line.find(':')));
        }
        found.push_back(run.err.substr(run.err.rfind("zx840-cli: ")));
        return found;
    };
    const std::string badReply = JsonString(FailureMessage(AcquireFailure::BadReply).text);
    for (const auto& [plan, summary] : {std::pair{"pass", "2 good, 1 failed, 2 PASS, 0 FAIL"},
                                        {"fail", "2 good, 1 failed, 0 PASS, 2 FAIL"}}) {
        sim->SetFault({FaultMode::WrongMark, 1, 1});  // the second exchange fails
        EXPECT_EQ(
            lines({"--port", sim->DevicePath(), "--plan", dir / (plan + std::string(".zx8plan"))}),
            (std::vector<std::string>{
                "{\"Urms\"", "F3 " + badReply, "{\"Urms\"",
                "zx840-cli: 3 acquisitions, " + std::string(summary) + "\n"}));
    }
    const std::string cannotOpen = JsonString(FailureMessage(AcquireFailure::OpenFailed).text);
    EXPECT_EQ(lines({"--port", dir / "no-meter", "--stop-on-error"}),
              (std::vector<std::string>{"F1 " + cannotOpen,
                                        "zx840-cli: 1 acquisition, 0 good, 1 failed\n"}));
}

// zx840-meter-sim --fault mismatched: three replies with the readings of the
// rectifier and the waveforms of another load, then good ones.
TEST(AcquireRun, AMeterWhoseReadingsDisagreeWithItsSamplesIsFlaggedAndFailsTheMeterCheck) {
    SimCommandLine command;
    std::string error;
    ASSERT_TRUE(ParseSimCommandLine(
        {"--load", "rectifier", "--fault", "mismatched", "--fault-count", "3"}, &command, &error))
        << error;
    auto sim = StartSimulator(command.options);
    ASSERT_TRUE(sim);
    const TempDir dir("zx840-meter-check");
    std::ofstream(dir / "meter.zx8plan") << R"({"MeterCheck": true})";
    const std::string plan = dir / "meter.zx8plan";
    CliRun run = RunTool({"acquire", "--port", sim->DevicePath(), "--text"});
    EXPECT_EQ(run.status, kCliOk) << run.err;
    EXPECT_NE(run.out.find("\nMeter check  the readings disagree with the samples: PF 0.6"),
              std::string::npos)
        << run.out;
    run = RunTool({"acquire", "--port", sim->DevicePath()});
    const std::optional<JsonValue> flagged = ParseJson(run.out, nullptr);
    ASSERT_TRUE(flagged) << run.out;
    const JsonValue* pf =
        flagged->Find("Consistency") ? flagged->Find("Consistency")->Find("PF") : nullptr;
    ASSERT_NE(pf, nullptr) << run.out;
    EXPECT_EQ(pf->Find("Meter")->number, flagged->Find("PF")->number);
    EXPECT_GT(pf->Find("Difference")->number, 0.3);
    EXPECT_EQ(pf->Find("Tolerance")->number, 0.03);
    run = RunTool({"acquire", "--port", sim->DevicePath(), "--plan", plan, "--text"});
    EXPECT_EQ(run.status, kCliVerdictFail) << run.err;
    EXPECT_NE(run.out.find("  FAIL MeterCheck PF = "), std::string::npos) << run.out;
    // The meter sends one load again: nothing flagged, the plan passes.
    run = RunTool({"acquire", "--port", sim->DevicePath(), "--plan", plan});
    EXPECT_EQ(run.status, kCliOk) << run.err;
    EXPECT_EQ(run.out.find("Consistency"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(R"({"Item":"MeterCheck Ucf","Value":)"), std::string::npos);
}

// A burn-in ends at its count, its time or the first FAIL (status 7); its
// summary, on stderr and as JSON, agrees with its log.
TEST(AcquireRun, BurnInEndsAtItsCountTimeOrFirstFailAndItsSummaryAgreesWithTheLog) {
    auto sim = StartSimulator(SimulatorOptions{});
    ASSERT_TRUE(sim);
    const TempDir dir("zx840-burn-in");
    std::ofstream(dir / "pass.zx8plan") << R"({"Urms":{"min":200}})";
    std::ofstream(dir / "fail.zx8plan") << R"({"Urms":{"max":200}})";
    const auto burnIn = [&](const std::string& plan, std::vector<std::string> extra) {
        std::filesystem::remove(dir / "log.csv");
        std::vector<std::string> args{"acquire",       "--port",        sim->DevicePath(),
                                      "--quiet",       "--plan",        dir / (plan + ".zx8plan"),
                                      "--log",         dir / "log.csv", "--summary-json",
                                      dir / "run.json"};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunTool(args);
    };
    const auto summary = [&] {
        JsonError error;
        std::optional<JsonValue> json = ParseJson(ReadText(dir / "run.json"), &error);
        EXPECT_TRUE(json) << error.Describe();
        return json.value_or(JsonValue{});
    };
    const auto number = [](const JsonValue& json, const char* key) {
        const JsonValue* value = json.Find(key);
        return value != nullptr ? value->number : -1.0;
    };

    const CliRun counted = burnIn("pass", {"--count", "3", "--until-fail"});
    EXPECT_EQ(counted.status, kCliOk) << counted.err;
    JsonValue json = summary();
    EXPECT_EQ(json.Find("Ended")->text, "count");
    EXPECT_EQ(number(json, "Good"), 3);
    EXPECT_EQ(number(json, "Pass"), 3);
    EXPECT_EQ(json.Find("FirstFailSeconds")->kind, JsonValue::Kind::Null);
    const CsvRecords rows = ParseCsv(ReadText(dir / "log.csv"));
    ASSERT_EQ(rows.size(), 4u);
    const JsonValue& power = *json.Find("Readings")->Find("Power");
    const float logged = ParseFloat(Field(rows, 1, "Power"));
    for (const char* key : {"Min", "Mean", "Max"}) {
        EXPECT_EQ(static_cast<float>(number(power, key)), logged) << key;
    }
    EXPECT_EQ(number(power, "Sigma"), 0.0);
    EXPECT_GT(number(json, "EnergyWh"), 0.0);
    EXPECT_LE(number(json, "EnergyWh"), logged * number(json, "Seconds") / 3600 * (1 + 1e-9));
    EXPECT_NE(counted.err.find("zx840-cli: run of "), std::string::npos) << counted.err;
    EXPECT_NE(counted.err.find("\nzx840-cli:   Power (W): min "), std::string::npos);
    EXPECT_EQ(counted.err.substr(counted.err.rfind("zx840-cli: ")),
              "zx840-cli: 3 acquisitions, 3 good, 0 failed, 3 PASS, 0 FAIL\n");

    // Until the first FAIL, however long that takes: here the first.
    const CliRun failed = burnIn("fail", {"--until-fail"});
    EXPECT_EQ(failed.status, kCliVerdictFail) << failed.err;
    json = summary();
    EXPECT_EQ(json.Find("Ended")->text, "fail");
    EXPECT_EQ(number(json, "Acquisitions"), 1);
    EXPECT_EQ(number(json, "FirstFailNumber"), 1);
    EXPECT_EQ(number(json, "FirstFailSeconds"), number(json, "Seconds"));
    EXPECT_EQ(ParseCsv(ReadText(dir / "log.csv")).size(), 2u);
    EXPECT_NE(failed.err.find(", first FAIL after "), std::string::npos) << failed.err;

    // For a time: as many acquisitions as the log has rows.
    const CliRun timed = burnIn("pass", {"--duration", "1s"});
    EXPECT_EQ(timed.status, kCliOk) << timed.err;
    json = summary();
    EXPECT_EQ(json.Find("Ended")->text, "duration");
    EXPECT_GE(number(json, "Acquisitions"), 1);
    EXPECT_EQ(number(json, "Acquisitions") + 1,
              static_cast<double>(ParseCsv(ReadText(dir / "log.csv")).size()));
}

TEST(AcquireRun, NumberStepsAfterGoodAcquisitionsAcrossTheLargestIntoOneFileEach) {
    auto sim = StartSimulator(SimulatorOptions{});
    ASSERT_TRUE(sim);
    const TempDir dir("zx840-step");
    const std::string log = dir / "line.csv";
    const std::string tests = dir / "tests";
    sim->SetFault({FaultMode::WrongMark, 1, 1});  // the second exchange fails
    const CliRun run = RunTool({"acquire", "--port", sim->DevicePath(), "--count", "4", "--quiet",
                                "--log", log, "--save-dir", tests, "--type", "PSU/12", "--number",
                                "2147483646", "--step-number"});
    EXPECT_EQ(run.status, kCliBadReply);
    const std::string warning = "Number overflow! Number will be changed to one!";
    const std::size_t first = run.err.find(warning);
    EXPECT_NE(first, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(warning, first + 1), std::string::npos);

    const CsvRecords rows = ParseCsv(ReadText(log));
    ASSERT_EQ(rows.size(), 5u);
    const std::vector<std::pair<std::string, std::string>> expected{
        {"2147483646", "OK"}, {"2147483647", "FAILED"}, {"2147483647", "OK"}, {"1", "OK"}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(Field(rows, i + 1, "Number"), expected[i].first) << i;
        EXPECT_EQ(Field(rows, i + 1, "Result"), expected[i].second) << i;
    }
    for (const std::int32_t number : {2147483646, 2147483647, 1}) {
        const TestFileContents test =
            ReadTest(tests + "/PSU_12_" + std::to_string(number) + ".ZX8");
        EXPECT_EQ(test.Mark.Number, number);
        EXPECT_EQ(test.Mark.Type, "PSU/12");
        EXPECT_EQ(test.Mark.Testday, TodayTestday());
        EXPECT_NE(test.Record.Urms, 0.0f);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tests), {}), 3);

    // The same number again is a file of its own; nothing is replaced.
    EXPECT_EQ(RunTool({"acquire", "--port", sim->DevicePath(), "--quiet", "--save-dir", tests,
                       "--type", "PSU/12", "--number", "1"})
                  .status,
              kCliOk);
    EXPECT_EQ(ReadTest(tests + "/PSU_12_1-2.ZX8").Mark.Number, 1);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tests), {}), 4);
}

TEST(AcquireRun, ProductInformationFromSettingsOrTestFilesWithOptionsOnTop) {
    auto sim = StartSimulator(SimulatorOptions{});
    ASSERT_TRUE(sim);
    const TempDir dir("zx840-mark");
    const std::string saved = dir / "saved.ZX8";

    Settings settings;
    settings.Number = 41;
    settings.Type = "Lamp";
    settings.Manufacturer = "ACME";
    settings.Operator = "Ann";
    settings.Temperature = "21";
    settings.Inspector = "Ivo";
    ASSERT_TRUE(WriteFileAtomically(dir / "ZX840EN.ini", SerializeSettings(settings)));
    CliRun run = RunTool({"acquire", "--operator", "Bob", "--mark", dir / "ZX840EN.ini", "--port",
                          sim->DevicePath(), "--quiet", "--save", saved});
    ASSERT_EQ(run.status, kCliOk) << run.err;
    ProductMark mark = ReadTest(saved).Mark;
    EXPECT_EQ(mark.Number, 41);
    EXPECT_EQ(mark.Type, "Lamp");
    EXPECT_EQ(mark.Manufacturer, "ACME");
    EXPECT_EQ(mark.Operator, "Bob");
    EXPECT_EQ(mark.Temperature, "21");
    EXPECT_EQ(mark.Humidity, "65");
    EXPECT_EQ(mark.Inspector, "Ivo");
    EXPECT_EQ(mark.Testday, TodayTestday());

    ProductMark old;
    old.Number = 7;
    old.Type = "Fan";
    old.Humidity = "40";
    old.Testday = "01-02-03";
    ASSERT_TRUE(WriteFileAtomically(dir / "old.ZX8", SerializeTest(old, MeasurementRecord{})));
    run = RunTool({"acquire", "--port", sim->DevicePath(), "--quiet", "--mark", dir / "old.ZX8",
                   "--humidity", "55", "--number", " +8", "--save", saved});
    ASSERT_EQ(run.status, kCliOk) << run.err;
    mark = ReadTest(saved).Mark;
    EXPECT_EQ(mark.Type, "Fan");
    EXPECT_EQ(mark.Humidity, "55");
    EXPECT_EQ(mark.Number, 8);
    EXPECT_EQ(mark.Testday, TodayTestday());

    // Mistakes are found before any exchange.
    const std::size_t requests = sim->Requests().size();
    std::filesystem::resize_file(dir / "old.ZX8", 100);
    EXPECT_EQ(RunTool({"acquire", "--port", sim->DevicePath(), "--mark", dir / "old.ZX8"}).status,
              kCliFileError);
    EXPECT_EQ(RunTool({"acquire", "--port", sim->DevicePath(), "--mark", dir / "none"}).status,
              kCliFileError);
    run = RunTool({"acquire", "--port", sim->DevicePath(), "--number", "12a"});
    EXPECT_EQ(run.status, kCliUsage);
    EXPECT_NE(run.err.find(kNotIntegerMessage), std::string::npos);
    run = RunTool({"acquire", "--port", sim->DevicePath(), "--number", "-1"});
    EXPECT_NE(run.err.find(kNumberRangeMessage), std::string::npos);
    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"--count", "0"},
                                               {"--count", "3x"},
                                               {"--count", "2", "--continuous"},
                                               {"--type"},
                                               {"--colour", "red"},
                                               {"--duration", "1h1h"},
                                               {"--duration", "8h", "--continuous"},
                                               {"--until-fail"},
                                               {"--summary-json", "-"}}) {
        std::vector<std::string> args{"acquire", "--port", sim->DevicePath()};
        args.insert(args.end(), bad.begin(), bad.end());
        EXPECT_EQ(RunTool(args).status, kCliUsage) << bad[0];
    }
    EXPECT_EQ(sim->Requests().size(), requests);
}

TEST(AcquireRun, PdfDirHoldsOneReportPerGoodAcquisition) {
    auto sim = StartSimulator(SimulatorOptions{});
    ASSERT_TRUE(sim);
    const TempDir dir("zx840-pdf");
    const CliRun run = RunTool({"acquire", "--port", sim->DevicePath(), "--count", "2", "--quiet",
                                "--pdf-dir", dir / "reports", "--number", "5", "--step-number"});
    if (!ReportPdfWriter::Available()) {
        EXPECT_EQ(run.status, kCliUsage);
        EXPECT_TRUE(sim->Requests().empty());
        return;
    }
    ASSERT_EQ(run.status, kCliOk) << run.err;
    for (const char* name : {"ZX840_5.pdf", "ZX840_6.pdf"}) {
        EXPECT_EQ(ReadText(dir / "reports/" + name).substr(0, 5), "%PDF-") << name;
    }
}

// SIGINT or SIGTERM while the meter is answering: the exchange finishes, its
// row is written whole, and the run ends.
TEST(AcquireSignals, InterruptDuringAnExchangeLeavesACompleteLog) {
    SimulatorOptions options;
    options.paced = true;  // a reply takes about 1.1 s at 9600 baud
    auto sim = StartSimulator(options);
    ASSERT_TRUE(sim);
    const TempDir dir("zx840-signal");
    const std::string log = dir / "line.csv";
    std::ofstream(dir / "pass.zx8plan") << "{}";
    // A burn-in that only a FAIL would end ends with Ctrl+C as a continuous run does.
    for (const auto& [signal, mode, status] : {std::tuple{SIGINT, "--continuous", 0},
                                               {SIGTERM, "--count", int{kCliInterrupted}},
                                               {SIGINT, "--until-fail", 0}}) {
        std::vector<std::string> args{"acquire", "--port", sim->DevicePath(), "--quiet", mode};
        if (std::string(mode) == "--count") {
            args.insert(args.end(), {"100", "--log", log});
        } else if (std::string(mode) == "--until-fail") {
            // A judged log has columns of its own.
            args.insert(args.end(), {"--plan", dir / "pass.zx8plan", "--log", dir / "judged.csv"});
        } else {
            args.insert(args.end(), {"--log", log});
        }
        const std::size_t before = sim->Requests().size();
        testing::CliProcess cli(args, dir / "out.txt", dir / "err.txt");
        // The second request has come: its reply is under way.
        ASSERT_TRUE(sim->WaitForRequests(before + 2, std::chrono::seconds(20)))
            << ReadText(dir / "err.txt");
        cli.Signal(signal);
        EXPECT_EQ(cli.Wait(std::chrono::seconds(30)), status) << ReadText(dir / "err.txt");
        EXPECT_EQ(sim->Requests().size(), before + 2);
        const std::string err = ReadText(dir / "err.txt");
        EXPECT_NE(err.find("2 acquisitions, 2 good, 0 failed"), std::string::npos) << err;
        EXPECT_NE(err.find(", interrupted\n"), std::string::npos) << err;
    }
    const std::string text = ReadText(log);
    const CsvRecords rows = ParseCsv(text);
    ASSERT_EQ(rows.size(), 5u);
    for (std::size_t row = 1; row < rows.size(); ++row) {
        EXPECT_EQ(rows[row].size(), rows[0].size());
        EXPECT_EQ(Field(rows, row, "Result"), "OK");
        EXPECT_EQ(ParseFloat(Field(rows, row, "Urms")), 230.0f);
    }
}

}  // namespace
}  // namespace zx840
