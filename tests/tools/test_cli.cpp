#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "meter/acquisition.h"
#include "meter/sim/meter_simulator.h"
#include "record/product_mark.h"
#include "tests/test_cli_support.h"
#include "tools/acquire_options.h"
#include "tools/cli.h"
#include "tools/sim_options.h"

namespace zx840 {
namespace {

using testing::CliRun;
using testing::RunTool;

std::filesystem::path WriteFile(const std::string& name, const std::uint8_t* data,
                                std::size_t size) {
    const auto path = std::filesystem::temp_directory_path() / name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data), size);
    return path;
}

TEST(Cli, AcquireThroughTheComNameAndDecodeOfTheSameReplyAgree) {
    SimulatorOptions options;
    options.load.kind = LoadKind::Dimmer;
    std::string error;
    auto sim = MeterSimulator::CreatePty(options, &error);
    ASSERT_TRUE(sim) << error;
    sim->Start();
    ASSERT_EQ(setenv("ZX840_COM5", sim->DevicePath().c_str(), 1), 0);
    const CliRun acquired = RunTool({"acquire", "--port", "COM5", "--baud", "2400"});
    unsetenv("ZX840_COM5");
    EXPECT_EQ(acquired.status, kCliOk) << acquired.err;
    EXPECT_EQ(sim->Requests(), (std::vector<Request>{{0x11, 0x11}}));
    EXPECT_NE(acquired.out.find("\"DataValid\":1,\"DisplacementPF\":"), std::string::npos);

    const auto reply = *EncodeReply(SimulateMeasurement(options.load));
    const auto path = WriteFile("zx840-reply.bin", reply.data(), reply.size());
    const CliRun decoded = RunTool({"decode", path.string()});
    EXPECT_EQ(decoded.status, kCliOk) << decoded.err;
    EXPECT_EQ(decoded.out, acquired.out);

    const CliRun text = RunTool({"acquire", "--port", sim->DevicePath(), "--text"});
    EXPECT_EQ(text.status, kCliOk);
    EXPECT_NE(text.out.find("Voltage          230.00 V"), std::string::npos) << text.out;
    std::filesystem::remove(path);
}

TEST(Cli, SavedAcquisitionShowsAsTheSameRecordWithItsProductInformation) {
    std::string error;
    auto sim = MeterSimulator::CreatePty(SimulatorOptions{}, &error);
    ASSERT_TRUE(sim) << error;
    sim->Start();
    const auto path = std::filesystem::temp_directory_path() / "zx840-cli-save.ZX8";
    const CliRun acquired =
        RunTool({"acquire", "--port", sim->DevicePath(), "--save", path.string()});
    ASSERT_EQ(acquired.status, kCliOk) << acquired.err;
    const CliRun shown = RunTool({"show", path.string()});
    ASSERT_EQ(shown.status, kCliOk) << shown.err;
    // The same record, then the product information of a new test.
    const std::string record = acquired.out.substr(0, acquired.out.size() - 2);  // without "}\n"
    EXPECT_EQ(shown.out.rfind(record +
                                  ",\"ProductMark\":{\"Manufacturer\":\"\",\"Type\":\"\","
                                  "\"Number\":1,\"Temperature\":\"25\",\"Humidity\":\"65\","
                                  "\"Operator\":\"\",\"Inspector\":\"\",\"Testday\":\"" +
                                  TodayTestday() + "\"}}\n",
                              0),
              0u)
        << shown.out.substr(shown.out.size() - 200);

    // The report of the saved test as a PDF, without any printer.
    const auto pdf = std::filesystem::temp_directory_path() / "zx840-cli-report.pdf";
    const CliRun report = RunTool({"report", path.string(), "--pdf", pdf.string()});
    EXPECT_EQ(report.status, kCliOk) << report.err;
    std::string head(5, '\0');
    std::ifstream(pdf, std::ios::binary).read(head.data(), 5);
    EXPECT_EQ(head, "%PDF-");
    std::filesystem::remove(pdf);
    EXPECT_EQ(RunTool({"report", path.string()}).status, kCliUsage);

    // A damaged file says so and gives no output.
    std::filesystem::resize_file(path, 2000);
    const CliRun damaged = RunTool({"show", path.string()});
    EXPECT_EQ(damaged.status, kCliFileError);
    EXPECT_EQ(damaged.err, "zx840-cli: " + path.string() + ": Unexpected file format.\n");
    EXPECT_EQ(damaged.out, "");
    std::filesystem::remove(path);
    EXPECT_EQ(RunTool({"show", path.string()}).status, kCliFileError);
    EXPECT_EQ(
        RunTool({"acquire", "--port", sim->DevicePath(), "--save", "/nonexistent/x.ZX8"}).status,
        kCliFileError);
}

TEST(Cli, FailuresGiveTheOperatorMessageAndTheirOwnStatus) {
    const CliRun missing = RunTool({"acquire", "--port", "/dev/zx840-missing"});
    EXPECT_EQ(missing.status, kCliOpenFailed);
    // The stream has the failure's line.
    EXPECT_NE(missing.out.find("\"Failure\":\"F1\""), std::string::npos) << missing.out;
    EXPECT_EQ(missing.err.rfind(FailureMessage(AcquireFailure::OpenFailed).text + "\n", 0), 0u)
        << missing.err;

    Reply reply{};
    reply[0] = kReplyMark;
    auto path = WriteFile("zx840-short.bin", reply.data(), 1051);
    const CliRun shortReply = RunTool({"decode", path.string()});
    EXPECT_EQ(shortReply.status, kCliBadReply);
    EXPECT_NE(shortReply.err.find("1051 bytes received"), std::string::npos);
    std::filesystem::remove(path);

    // One byte short is still a reply.
    path = WriteFile("zx840-1052.bin", reply.data(), 1052);
    EXPECT_EQ(RunTool({"decode", path.string()}).status, kCliOk);
    std::filesystem::remove(path);

    EXPECT_EQ(RunTool({"decode", "/nonexistent/zx840.bin"}).status, kCliFileError);
    EXPECT_EQ(RunTool({}).status, kCliUsage);
    EXPECT_EQ(RunTool({"acquire", "--baud", "4800"}).status, kCliUsage);
    EXPECT_EQ(RunTool({"acquire", "--port"}).status, kCliUsage);
    EXPECT_EQ(RunTool({"frobnicate"}).status, kCliUsage);
    EXPECT_EQ(RunTool({"--help"}).status, kCliOk);
}

// The manual page's ACQUIRE OPTIONS section describes exactly the options
// the tool knows: each one in a tag line of its own with the value the help
// names, and no other option mentioned anywhere in the section.
TEST(CliManual, DocumentsEveryAcquireOptionAndNoOther) {
    std::ifstream page(ZX840_MAN_PAGE);
    ASSERT_TRUE(page) << ZX840_MAN_PAGE;
    // Options as roff writes them: \-\-step\-number, a value after them in
    // quotes up to the next font change or quote: " FILE.csv" or " TEXT\fR.
    const std::regex option(R"(\\-\\-((?:[a-z]|\\-)+)(?: " ([^"\\]+))?)");
    std::map<std::string, std::string> tagged;  // option -> value in its tag line
    std::set<std::string> mentioned;
    bool inSection = false;
    bool tagLine = false;
    for (std::string line; std::getline(page, line);) {
        if (line.rfind(".SH", 0) == 0) {
            inSection = line == ".SH ACQUIRE OPTIONS";
            continue;
        }
        if (!inSection) {
            continue;
        }
        const bool isTag = tagLine;
        tagLine = line == ".TP" || line == ".TQ";
        for (auto match = std::sregex_iterator(line.begin(), line.end(), option);
             match != std::sregex_iterator(); ++match) {
            const std::string name =
                "--" + std::regex_replace((*match)[1].str(), std::regex(R"(\\-)"), "-");
            mentioned.insert(name);
            if (isTag) {
                EXPECT_FALSE(tagged.count(name)) << name << " has two entries";
                tagged[name] = (*match)[2].str();
            }
        }
    }
    std::set<std::string> known;
    for (const AcquireOption& entry : AcquireOptionTable()) {
        const std::string name(entry.name);
        known.insert(name);
        ASSERT_TRUE(tagged.count(name)) << name << " is not documented";
        EXPECT_EQ(tagged[name], entry.value) << name;
    }
    for (const std::string& name : mentioned) {
        EXPECT_TRUE(known.count(name)) << name << " is documented but not an option";
    }
    EXPECT_EQ(tagged.size(), known.size());
}

TEST(SimCommandLine, ParsesLoadsFaultsAndRejectsNonsense) {
    SimCommandLine command;
    std::string error;
    ASSERT_TRUE(ParseSimCommandLine(
        {"--load",      "dimmer", "--firing",      "120",      "--mains-rms",   "110",
         "--frequency", "60",     "--harmonic",    "5:4.5:30", "--harmonic",    "3:10",
         "--fault",     "stall",  "--fault-after", "3",        "--fault-count", "2",
         "--paced",     "--link", "/tmp/x"},
        &command, &error))
        << error;
    const SimulatorOptions& o = command.options;
    EXPECT_EQ(o.load.kind, LoadKind::Dimmer);
    EXPECT_EQ(o.load.firingAngleDeg, 120.0);
    EXPECT_EQ(o.load.mainsRms, 110.0);
    EXPECT_EQ(o.load.frequency, 60.0);
    ASSERT_EQ(o.load.voltageHarmonics.size(), 2u);
    EXPECT_EQ(o.load.voltageHarmonics[0].order, 5);
    EXPECT_EQ(o.load.voltageHarmonics[0].percent, 4.5);
    EXPECT_EQ(o.load.voltageHarmonics[0].phaseDeg, 30.0);
    EXPECT_EQ(o.load.voltageHarmonics[1].phaseDeg, 0.0);
    EXPECT_EQ(o.fault.mode, FaultMode::Stall);
    EXPECT_EQ(o.fault.afterGood, 3);
    EXPECT_EQ(o.fault.count, 2);
    EXPECT_TRUE(o.paced);
    EXPECT_EQ(command.link, "/tmp/x");

    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"--load", "motor"},
                                               {"--harmonic", "1:5"},
                                               {"--harmonic", "51:5"},
                                               {"--fault", "fire"},
                                               {"--frequency", "0"},
                                               {"--amps", "-1"},
                                               {"--firing", "200"},
                                               {"--mains-rms", "abc"},
                                               {"--stall-ms"},
                                               {"extra"}}) {
        SimCommandLine ignored;
        EXPECT_FALSE(ParseSimCommandLine(bad, &ignored, &error)) << bad[0];
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace zx840
