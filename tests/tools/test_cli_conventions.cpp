// The conventions both command-line programs keep: version, help for the
// program and for each command, --opt=value, "--", "-" for standard output,
// a short usage line on a mistake, counts that agree with their nouns.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <tuple>

#include "meter/sim/meter_simulator.h"
#include "record/file_io.h"
#include "record/measurement_file.h"
#include "tests/test_cli_support.h"
#include "tools/acquire_options.h"
#include "tools/acquisition_log.h"
#include "tools/argument_parser.h"
#include "tools/cli.h"
#include "tools/cli_commands.h"
#include "tools/cli_text.h"
#include "tools/report_pdf.h"
#include "tools/sim_options.h"

namespace zx840 {
namespace {

using testing::CliRun;
using testing::CsvRecords;
using testing::ParseCsv;
using testing::ReadText;
using testing::RunTool;
using testing::TempDir;

// Runs `program` with `args`, standard output and error into files; returns
// its exit status, or -1 when it did not end by itself.
int RunProgram(const std::string& program, const std::vector<std::string>& args,
               const std::string& outPath, const std::string& errPath) {
    testing::CliProcess process(args, outPath, errPath, program);
    return process.Wait(std::chrono::minutes(2));
}

// The working directory of this process, changed for one test, so that
// file names may begin with "-" as a user would type them.
class WorkingDirectory {
  public:
    explicit WorkingDirectory(const std::filesystem::path& path)
        : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(path);
    }
    ~WorkingDirectory() { std::filesystem::current_path(previous_); }
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

  private:
    std::filesystem::path previous_;
};

// The short usage that follows a mistake: the problem, one usage line and
// where the help is.
std::string ShortUsage(const std::string& problem, const std::string& usage,
                       const std::string& command) {
    std::string text = "zx840-cli: " + problem + "\nUsage: " + usage + "\nTry 'zx840-cli ";
    if (!command.empty()) {
        text += command + " ";
    }
    return text + "--help' for more information.\n";
}

ProductMark SavedMark(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(ReadWholeFile(path, &bytes));
    const auto test = ParseTest(bytes);
    EXPECT_TRUE(test) << path;
    return test ? test->Mark : ProductMark{};
}

TEST(CliConventions, VersionSwitchesAndCountsThatAgreeWithTheirNouns) {
    for (const char* option : {"--version", "-V"}) {
        const CliRun run = RunTool({option});
        EXPECT_EQ(run.status, kCliOk) << option;
        EXPECT_EQ(run.out, "zx840-cli 1.05\n") << option;
        EXPECT_EQ(run.err, "");
        SimCommandLine command;
        std::string error;
        ASSERT_TRUE(ParseSimCommandLine({option}, &command, &error)) << option << ": " << error;
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
    const std::string db = dir / "results.sqlite";
    const CliRun imported = RunTool({"import", dir / "t.ZX8", "--db=sqlite:" + db});
    EXPECT_EQ(imported.status, kCliOk) << imported.err;
    EXPECT_EQ(imported.out.rfind("Imported 1 of 1 test file into ", 0), 0u) << imported.out;
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

// The parser reads values as getopt does: the argument after an option that
// takes one is its value whatever it looks like, "--opt=" is an empty
// value, "--" ends the options and "-" is an ordinary argument.
TEST(ArgumentParser, ValuesSwitchesPositionalsAndTheirMistakes) {
    const auto parse = [](const std::vector<std::string>& args, bool positionals = true) {
        auto parser = std::make_unique<ArgumentParser>();
        parser->Value("--type");
        parser->Value("--log");
        parser->Switch("-q,--quiet");
        parser->Path("--plan");
        if (positionals) {
            parser->TakePositionals();
        }
        const ArgumentParser::Outcome outcome = parser->Parse(args);
        return std::pair{outcome, std::move(parser)};
    };
    using Options = std::vector<std::pair<std::string, std::string>>;
    auto [outcome, parser] = parse({"a", "--type", "-rf", "--log=-", "-q", "--type=", "-", "b",
                                    "--", "--quiet", "-x", "--", "--type=x"});
    ASSERT_EQ(outcome, ArgumentParser::Outcome::Parsed) << parser->Problem();
    EXPECT_EQ(parser->Options(),
              (Options{{"--type", "-rf"}, {"--log", "-"}, {"--quiet", ""}, {"--type", ""}}));
    EXPECT_EQ(parser->Positionals(),
              (std::vector<std::string>{"a", "-", "b", "--quiet", "-x", "--", "--type=x"}));
    std::tie(outcome, parser) = parse({"--type", "--", "--log", "--quiet"});
    ASSERT_EQ(outcome, ArgumentParser::Outcome::Parsed) << parser->Problem();
    EXPECT_EQ(parser->Options(), (Options{{"--type", "--"}, {"--log", "--quiet"}}));
    // Short switches go together; "-5", "---x" and "-" are no options.
    std::tie(outcome, parser) = parse({"-qq", "-5", "---x", "--plan=p"});
    ASSERT_EQ(outcome, ArgumentParser::Outcome::Parsed) << parser->Problem();
    EXPECT_EQ(parser->Options(), (Options{{"--quiet", ""}, {"--quiet", ""}, {"--plan", "p"}}));
    EXPECT_EQ(parser->Positionals(), (std::vector<std::string>{"-5", "---x"}));

    for (const auto& [args, problem] :
         std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--type"}, "--type needs a value"},
             {{"--quiet", "--log"}, "--log needs a value"},
             {{"--quiet=no"}, "--quiet takes no value"},
             {{"--colour", "red"}, "unknown argument \"--colour\""},
             {{"--typ", "x"}, "unknown argument \"--typ\""},
             {{"--colour=red"}, "unknown argument \"--colour=red\""},
             {{"-qx"}, "unknown argument \"-x\""},
             {{"--colour", "--quiet=no"}, "--quiet takes no value"},
             {{"--plan="}, "--plan needs a value: an empty one names nothing"},
             {{"-x"}, "unknown argument \"-x\""}}) {
        std::tie(outcome, parser) = parse(args);
        EXPECT_EQ(outcome, ArgumentParser::Outcome::Mistake) << args[0];
        EXPECT_EQ(parser->Problem(), problem);
    }
    std::tie(outcome, parser) = parse({"--", "file"}, false);
    EXPECT_EQ(outcome, ArgumentParser::Outcome::Mistake);
    EXPECT_EQ(parser->Problem(), "unknown argument \"file\"");
    // Help wins over what else is wrong, but not when it is a value.
    EXPECT_EQ(parse({"--colour", "-h"}).first, ArgumentParser::Outcome::Help);
    EXPECT_EQ(parse({"--help", "--type"}).first, ArgumentParser::Outcome::Help);
    EXPECT_EQ(parse({"--quiet=no", "--help"}).first, ArgumentParser::Outcome::Help);
    EXPECT_EQ(parse({"-qh"}).first, ArgumentParser::Outcome::Help);
    std::tie(outcome, parser) = parse({"--type", "--help"});
    EXPECT_EQ(outcome, ArgumentParser::Outcome::Parsed);
    EXPECT_EQ(parser->Options(), (Options{{"--type", "--help"}}));
    EXPECT_EQ(parse({"--", "--help"}).first, ArgumentParser::Outcome::Parsed);
}

// Every command answers --help with its own help alone; a mistake gives the
// message, the command's usage line and where its help is, not the whole help.
TEST(CliConventions, HelpForEachCommandAndAShortUsageOnMistakes) {
    const std::vector<std::string> commands{"acquire", "export", "ports", "check", "history",
                                            "stats",   "import", "sync",  "serve", "web",
                                            "show",    "report", "decode"};
    std::vector<std::string> rows;
    for (const CliCommand& command : CliCommands()) {
        rows.emplace_back(command.name);
    }
    EXPECT_EQ(rows, commands);  // the table, in the order of the help
    const CliRun whole = RunTool({"--help"});
    EXPECT_EQ(whole.status, kCliOk);
    EXPECT_EQ(RunTool({"-h"}).out, whole.out);
    for (const std::string& command : commands) {
        EXPECT_NE(whole.out.find("\n  zx840-cli " + command), std::string::npos) << command;
        for (const char* help : {"--help", "-h"}) {
            const CliRun run = RunTool({command, help});
            EXPECT_EQ(run.status, kCliOk) << command;
            EXPECT_EQ(run.err, "") << command;
            const std::string head = "Usage:\n  zx840-cli " + command;
            EXPECT_EQ(run.out.rfind(head, 0), 0u) << run.out;
            EXPECT_TRUE(run.out[head.size()] == ' ' || run.out[head.size()] == '\n') << run.out;
            EXPECT_NE(run.out.find("Exit status: 0 success, 1 usage error"), std::string::npos);
            for (const std::string& other : commands) {
                if (other != command) {
                    EXPECT_EQ(run.out.find("zx840-cli " + other + " "), std::string::npos)
                        << command << " --help shows " << other;
                }
            }
        }
    }
    EXPECT_NE(RunTool({"acquire", "--help"}).out.find(AcquireOptionsHelp()), std::string::npos);
    // Help is given only by the command's options, not as a value or a file.
    EXPECT_EQ(RunTool({"show", "--", "--help"}).status, kCliFileError);

    const std::string acquireUsage = "zx840-cli acquire [OPTIONS]";
    EXPECT_EQ(
        RunTool({"acquire", "--count", "0"}).err,
        ShortUsage("the count must be a whole number from 1, not \"0\"", acquireUsage, "acquire"));
    EXPECT_EQ(RunTool({"acquire", "--count=2", "--continuous"}).err,
              ShortUsage("--count and --continuous exclude each other", acquireUsage, "acquire"));
    EXPECT_EQ(RunTool({"acquire", "--duration", "90x"}).err,
              ShortUsage("--duration \"90x\": \"x\" is no unit (d, h, m or s); write for "
                         "example 8h, 30m, 90s, 1h30m or 2d",
                         acquireUsage, "acquire"));
    EXPECT_EQ(RunTool({"acquire", "--type"}).err,
              ShortUsage("--type needs a value", acquireUsage, "acquire"));
    EXPECT_EQ(RunTool({"acquire", "--quiet=no"}).err,
              ShortUsage("--quiet takes no value", acquireUsage, "acquire"));
    EXPECT_EQ(
        RunTool({"history", "--colour"}).err,
        ShortUsage("unknown argument \"--colour\"", "zx840-cli history [OPTIONS]", "history"));
    EXPECT_EQ(
        RunTool({"export", "tests"}).err,
        ShortUsage("export needs --csv DIR or --json DIR",
                   "zx840-cli export TEST.ZX8|DIR... [--csv DIR|-] [--json DIR|-]", "export"));
    EXPECT_EQ(RunTool({"show", "a.ZX8", "b.ZX8"}).err,
              ShortUsage("show takes one test file", "zx840-cli show TEST.ZX8", "show"));
    EXPECT_EQ(RunTool({"ports", "all"}).err,
              ShortUsage("unknown argument \"all\"", "zx840-cli ports", "ports"));
    const std::string programUsage = "zx840-cli COMMAND [OPTIONS]";
    EXPECT_EQ(RunTool({}).err, ShortUsage("no command given", programUsage, ""));
    EXPECT_EQ(RunTool({"frobnicate"}).err,
              ShortUsage("unknown command \"frobnicate\"", programUsage, ""));
    EXPECT_EQ(RunTool({"--bogus"}).err,
              ShortUsage("unknown argument \"--bogus\"", programUsage, ""));
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"acquire", "--count", "0"}, {"history", "--colour"}, {}, {"--version=2"}}) {
        const CliRun run = RunTool(bad);
        EXPECT_EQ(run.status, kCliUsage);
        EXPECT_EQ(run.out, "");
        EXPECT_LT(run.err.size(), 300u) << run.err;
    }

    // The same from the programs themselves.
    const TempDir dir("zx840-cli-help");
    EXPECT_EQ(RunProgram(ZX840_CLI_PATH, {"acquire", "--help"}, dir / "out", dir / "err"), 0);
    EXPECT_EQ(ReadText(dir / "out"), CommandHelp("acquire"));
    EXPECT_EQ(ReadText(dir / "err"), "");
    EXPECT_EQ(RunProgram(ZX840_CLI_PATH, {"acquire", "--baud=4800"}, dir / "out", dir / "err"),
              kCliUsage);
    EXPECT_EQ(ReadText(dir / "err"),
              ShortUsage("the speed must be 2400 or 9600, not \"4800\"", acquireUsage, "acquire"));
    EXPECT_EQ(RunProgram(ZX840_SIM_PATH, {"--amps=x"}, dir / "out", dir / "err"), 1);
    EXPECT_EQ(ReadText(dir / "err"), SimUsage("bad value for --amps: \"x\""));
    EXPECT_EQ(ReadText(dir / "err"),
              "zx840-meter-sim: bad value for --amps: \"x\"\nUsage: zx840-meter-sim [OPTIONS]\n"
              "Try 'zx840-meter-sim --help' for more information.\n");
    for (const char* help : {"--help", "-h"}) {
        EXPECT_EQ(RunProgram(ZX840_SIM_PATH, {help}, dir / "out", dir / "err"), 0);
        EXPECT_EQ(ReadText(dir / "out"), kSimUsage);
    }
}

// Every command says an input it cannot read in the same words: the
// program, the path once, the reason.
TEST(CliConventions, AnUnreadableInputIsSaidAlikeByEveryCommand) {
    const TempDir dir("zx840-cli-unreadable");
    const std::string missing = dir / "missing.ZX8";
    const std::string damaged = dir / "damaged.ZX8";
    std::ofstream(damaged) << "ZX840EN";
    const std::string plan = dir / "p.zx8plan";
    ASSERT_TRUE(WriteFileAtomically(plan, std::string(R"({"Urms":{"min":200}})")));
    const std::string db = dir / "results.sqlite";
    const std::string gone = std::strerror(ENOENT);
    const std::string format = kUnexpectedFileFormat;
    std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"show", missing}, gone},
        {{"show", damaged}, format},
        {{"check", damaged, "--plan", plan}, format},
        {{"export", missing, "--csv", dir / "csv"}, gone},
        {{"import", damaged, "--db", "sqlite:" + db}, format},
        {{"decode", missing}, gone},
    };
    if (ReportPdfWriter::Available()) {
        cases.push_back({{"report", damaged, "--pdf", dir / "r.pdf"}, format});
    }
    for (const auto& [args, reason] : cases) {
        const CliRun run = RunTool(args);
        const std::string& path = args[1];
        EXPECT_EQ(run.status, kCliFileError) << args[0];
        EXPECT_EQ(run.err.rfind("zx840-cli: " + path + ": " + reason + "\n", 0), 0u) << run.err;
        EXPECT_EQ(run.err.find(path), run.err.rfind(path)) << "the path twice: " << run.err;
    }
}

// Both servers read where they listen, who may connect, how many at once
// and the plan alike, and say a mistake in them before anything starts.
TEST(CliConventions, TheServersSayMistakesInTheirCommonOptionsAlike) {
    const TempDir dir("zx840-cli-servers");
    const std::string db = "sqlite:" + std::string(dir / "results.sqlite");
    const std::string plan = dir / "missing.zx8plan";
    const std::vector<std::tuple<std::string, std::string, int, std::string>> cases = {
        {"--listen", "nowhere:x", kCliUsage,
         "the port is a number from 0 (any free port) to 65535"},
        {"--max-clients", "0", kCliUsage, "--max-clients takes a number from 1 to 1024, not \"0\""},
        {"--allow", "300.0.0.0/8", kCliUsage,
         "\"300.0.0.0/8\" is no address or subnet such as 10.0.0.0/8"},
        {"--plan", plan, kCliFileError, plan + ": " + std::strerror(ENOENT)},
    };
    for (const auto& [option, value, status, reason] : cases) {
        for (const char* command : {"serve", "web"}) {
            const CliRun run = RunTool({command, "--db", db, option, value});
            EXPECT_EQ(run.status, status) << command << " " << option;
            EXPECT_EQ(run.err.substr(0, run.err.find('\n')), "zx840-cli: " + reason) << command;
        }
    }
}

// --opt=value reads like --opt value; an empty value after "=" takes nothing
// from the next argument; a value may begin with "-"; after "--" names
// that look like options are files.
TEST(CliConventions, EqualsFormAndFilesAfterTheEndOfOptions) {
    auto sim = testing::StartSimulator();
    ASSERT_TRUE(sim);
    const TempDir dir("zx840-cli-forms");
    const WorkingDirectory here(dir.Path());
    CliRun run = RunTool({"acquire", "--port=" + sim->DevicePath(), "--save=-x.ZX8", "--number=12",
                          "--type=-rf", "--manufacturer=", "--quiet", "--operator", "-o",
                          "--humidity", "--"});
    ASSERT_EQ(run.status, kCliOk) << run.err;
    EXPECT_EQ(run.out, "");  // --quiet stayed a switch, not the manufacturer
    ProductMark mark = SavedMark("-x.ZX8");
    EXPECT_EQ(mark.Number, 12);
    EXPECT_EQ(mark.Type, "-rf");
    EXPECT_EQ(mark.Manufacturer, "");
    EXPECT_EQ(mark.Operator, "-o");
    EXPECT_EQ(mark.Humidity, "--");
    run = RunTool({"acquire", "--port", sim->DevicePath(), "--save", "--odd.ZX8", "--quiet",
                   "--number", "13"});
    ASSERT_EQ(run.status, kCliOk) << run.err;
    EXPECT_EQ(SavedMark("--odd.ZX8").Number, 13);

    // Without "--" such names are options, and unknown ones.
    run = RunTool({"show", "-x.ZX8"});
    EXPECT_EQ(run.status, kCliUsage);
    EXPECT_NE(run.err.find("unknown argument \"-x.ZX8\""), std::string::npos) << run.err;
    EXPECT_EQ(RunTool({"show", "--", "-x.ZX8"}).status, kCliOk);
    run = RunTool({"export", "--csv=csv", "--", "-x.ZX8", "--odd.ZX8"});
    ASSERT_EQ(run.status, kCliOk) << run.err;
    EXPECT_EQ(run.out, "Exported 2 of 2 test files, 0 skipped\n");
    EXPECT_TRUE(std::filesystem::is_regular_file("csv/-x.csv"));
    EXPECT_TRUE(std::filesystem::is_regular_file("csv/--odd.csv"));
    const std::string plan = "plan.zx8plan";
    ASSERT_TRUE(WriteFileAtomically(plan, std::string(R"({"Urms":{"min":200,"max":250}})")));
    run = RunTool({"check", "--plan=" + plan, "--text", "--", "-x.ZX8", "--odd.ZX8"});
    EXPECT_EQ(run.status, kCliOk) << run.err;
    EXPECT_EQ(run.err, "zx840-cli: 2 tests judged, 2 passed, 0 failed\n");
    EXPECT_EQ(RunTool({"decode", "--", "--odd.ZX8"}).status, kCliBadReply);

    // The simulator reads both forms too.
    SimCommandLine command;
    std::string error;
    ASSERT_TRUE(ParseSimCommandLine(
        {"--load=dimmer", "--firing", "120", "--harmonic=3:10", "--link=-", "--paced"}, &command,
        &error))
        << error;
    EXPECT_EQ(command.options.load.kind, LoadKind::Dimmer);
    EXPECT_EQ(command.options.load.firingAngleDeg, 120.0);
    ASSERT_EQ(command.options.load.voltageHarmonics.size(), 1u);
    EXPECT_EQ(command.options.load.voltageHarmonics[0].order, 3);
    EXPECT_EQ(command.link, "-");
    EXPECT_TRUE(command.options.paced);
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--paced=yes"}, {"--load="}, {"--", "x"}, {"--amps"}}) {
        SimCommandLine ignored;
        EXPECT_FALSE(ParseSimCommandLine(bad, &ignored, &error)) << bad[0];
        EXPECT_FALSE(error.empty());
    }
    SimCommandLine help;
    ASSERT_TRUE(ParseSimCommandLine({"--amps", "2", "-h"}, &help, &error));
    EXPECT_TRUE(help.help);
}

// "-" as the file to write sends the log or the export to standard output,
// and nothing else goes there; where a file must be a file, "-" is refused
// rather than made into a file of that name.
TEST(CliConventions, DashSendsTheLogAndTheExportToStandardOutputAlone) {
    auto sim = testing::StartSimulator();
    ASSERT_TRUE(sim);
    const TempDir dir("zx840-cli-dash");
    const WorkingDirectory here(dir.Path());
    CliRun run = RunTool({"acquire", "--port", sim->DevicePath(), "--count", "2", "--log", "-",
                          "--save", "a.ZX8", "--number", "1", "--step-number"});
    ASSERT_EQ(run.status, kCliOk) << run.err;
    CsvRecords rows = ParseCsv(run.out);
    ASSERT_EQ(rows.size(), 3u) << run.out;
    EXPECT_EQ(rows[0], ParseCsv(LogHeaderRow())[0]);
    EXPECT_EQ(rows[1][testing::Column(rows[0], "Result")], "OK");
    EXPECT_EQ(rows[2][testing::Column(rows[0], "Number")], "2");
    // The run's summary goes to stderr, its counts last.
    EXPECT_EQ(run.err.substr(run.err.rfind("zx840-cli: ")),
              "zx840-cli: 2 acquisitions, 2 good, 0 failed\n");
    ASSERT_EQ(RunTool({"acquire", "--port", sim->DevicePath(), "--quiet", "--save", "b.ZX8",
                       "--number", "7"})
                  .status,
              kCliOk);

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--log", "-", "--text"}, {"--save", "-"}, {"--save-dir=-"}, {"--pdf-dir", "-"}}) {
        std::vector<std::string> args{"acquire", "--port", sim->DevicePath()};
        args.insert(args.end(), bad.begin(), bad.end());
        run = RunTool(args);
        EXPECT_EQ(run.status, kCliUsage) << bad[0];
        EXPECT_NE(run.err.find("standard output"), std::string::npos) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists("-"));

    // All tests as one CSV stream under a single header, the summary apart.
    run = RunTool({"export", "a.ZX8", "b.ZX8", "--csv", "-"});
    ASSERT_EQ(run.status, kCliOk) << run.err;
    rows = ParseCsv(run.out);
    ASSERT_EQ(rows.size(), 1u + 2u * 256u);
    const std::size_t source = testing::Column(rows[0], "Source");
    const std::size_t number = testing::Column(rows[0], "Number");
    EXPECT_EQ(rows[1][number], "2");  // a.ZX8 holds the last of the run
    EXPECT_EQ(rows[257][number], "7");
    EXPECT_EQ(rows[257][source], (dir.Path() / "b.ZX8").string());
    for (const auto& row : rows) {
        EXPECT_EQ(row.size(), rows[0].size());
    }
    const std::string header = run.out.substr(0, run.out.find("\r\n") + 2);
    EXPECT_EQ(run.out.find(header, 1), std::string::npos) << "a second header";
    EXPECT_EQ(run.err, "Exported 2 of 2 test files, 0 skipped\n");
    // Nothing to export: still the header, so a reader knows the columns.
    std::ofstream(dir / "broken.ZX8") << "not a test";
    run = RunTool({"export", "broken.ZX8", "--csv", "-"});
    EXPECT_EQ(run.out, header);
    EXPECT_NE(run.status, kCliOk);
    // JSON as one line per test.
    run = RunTool({"export", "a.ZX8", "b.ZX8", "--json=-"});
    ASSERT_EQ(run.status, kCliOk) << run.err;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2);
    EXPECT_EQ(run.out.rfind("{\"Source\":", 0), 0u);
    EXPECT_NE(run.out.find("\n{\"Source\":"), std::string::npos);
    EXPECT_EQ(RunTool({"export", "a.ZX8", "--csv", "-", "--json", "-"}).status, kCliUsage);
    EXPECT_FALSE(std::filesystem::exists("-"));

    if (ReportPdfWriter::Available()) {
        run = RunTool({"report", "a.ZX8", "--pdf=-"});
        ASSERT_EQ(run.status, kCliOk) << run.err;
        EXPECT_EQ(run.out.rfind("%PDF-", 0), 0u);
        EXPECT_NE(run.out.find("%%EOF"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists("-"));
    }

    // As a program: standard output holds the CSV and nothing else.
    EXPECT_EQ(RunProgram(ZX840_CLI_PATH,
                         {"acquire", "--port", sim->DevicePath(), "--log=-", "--number", "3"},
                         dir / "out.csv", dir / "err.txt"),
              kCliOk);
    rows = ParseCsv(ReadText(dir / "out.csv"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1][testing::Column(rows[0], "Number")], "3");
    EXPECT_EQ(ReadText(dir / "err.txt"), "");
    EXPECT_EQ(RunProgram(ZX840_CLI_PATH, {"export", "--csv", "-", "--", "a.ZX8", "b.ZX8"},
                         dir / "out.csv", dir / "err.txt"),
              kCliOk);
    EXPECT_EQ(ParseCsv(ReadText(dir / "out.csv")).size(), 1u + 2u * 256u);
    EXPECT_EQ(ReadText(dir / "err.txt"), "Exported 2 of 2 test files, 0 skipped\n");
}

}  // namespace
}  // namespace zx840
