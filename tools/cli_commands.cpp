#include "tools/cli_commands.h"

#include "tools/acquire_options.h"

namespace zx840 {
namespace {

using enum OptionKind;

constexpr OptionDeclaration kExportOptions[] = {{"--csv", Path}, {"--json", Path}};
constexpr OptionDeclaration kCheckOptions[] = {{"--plan", Path}, {"--text", Switch}};
constexpr OptionDeclaration kHistoryOptions[] = {
    {"--db", Path},       {"--type", Value},  {"--number", Value}, {"--verdict", Value},
    {"--station", Value}, {"--since", Value}, {"--until", Value},  {"--limit", Value},
    {"--id", Value},      {"--save", Path},   {"--pdf", Path},     {"--full", Switch},
    {"--csv", Switch}};
constexpr OptionDeclaration kStatsOptions[] = {
    {"--db", Path},     {"--type", Value}, {"--station", Value}, {"--since", Value},
    {"--until", Value}, {"--plan", Path},  {"--by", Value}};
constexpr OptionDeclaration kStoreOptions[] = {{"--db", Path}};
constexpr OptionDeclaration kServeOptions[] = {
    {"--listen", Value},  {"--allow", Value},       {"--port", Value}, {"--baud", Value},
    {"--station", Value}, {"--max-clients", Value}, {"--plan", Path},  {"--db", Path}};
constexpr OptionDeclaration kWebOptions[] = {{"--listen", Value},      {"--allow", Value},
                                             {"--token-file", Path},   {"--plan", Path},
                                             {"--max-clients", Value}, {"--db", Path}};
constexpr OptionDeclaration kReportOptions[] = {{"--pdf", Path}, {"--plan", Path}};

const char kHelpTail[] =
    "  zx840-cli -h|--help, zx840-cli COMMAND -h|--help\n"
    "  zx840-cli -V|--version\n"
    "\n"
    "An option takes its value as --opt VALUE or --opt=VALUE; -- ends the options,\n"
    "so that a file named like an option can follow it.\n";

const char kExitStatus[] =
    "\n"
    "Exit status: 0 success, 1 usage error, 2 port cannot be opened,\n"
    "3 request cannot be written, 4 no valid reply, 5 a file cannot be read or written,\n"
    "6 interrupted before the count was reached, 7 everything was measured but a\n"
    "verdict against the test plan is FAIL. A run gives the first of these it met\n"
    "(7 only when nothing else went wrong).\n";

// A command's block of the help, with the options of its own table.
std::string CommandBlock(const CliCommand& command) {
    std::string block(command.help);
    if (command.optionsHelp != nullptr) {
        block += command.optionsHelp();
    }
    return block;
}

// The table: dispatch, --help and COMMAND --help all read it.
const CliCommand kCommands[] = {
    {.name = "acquire",
     .usage = "zx840-cli acquire [OPTIONS]",
     .help = "  zx840-cli acquire [OPTIONS]\n"
             "      Exchanges with the meter; prints the working record as JSON, one line\n"
             "      per acquisition (a failed one as its Time, Failure F1, F2 or F3 and\n"
             "      Message), or with --text the readings as lines of text.\n",
     .options = AcquireOptionDeclarations(),
     .run = AcquireCommand,
     .optionsHelp = AcquireOptionsHelp},
    {.name = "export",
     .usage = "zx840-cli export TEST.ZX8|DIR... [--csv DIR|-] [--json DIR|-]",
     .help = "  zx840-cli export TEST.ZX8|DIR... [--csv DIR|-] [--json DIR|-]\n"
             "      Writes each test file (each *.ZX8 file of a directory given) as one CSV\n"
             "      or JSON file named after it: readings, harmonic table, samples. A damaged\n"
             "      file is reported and skipped. With - instead of a directory all tests go\n"
             "      to standard output as one stream: CSV under one header, or one line of\n"
             "      JSON per test; the summary then goes to standard error.\n",
     .options = kExportOptions,
     .operands = true,
     .run = ExportCommand},
    {.name = "ports",
     .usage = "zx840-cli ports",
     .help = "  zx840-cli ports\n"
             "      Lists the serial devices, their stable names, the COM name that opens\n"
             "      each, and whether this user may open them.\n",
     .run = PortsCommand},
    {.name = "check",
     .usage = "zx840-cli check TEST.ZX8|DIR... --plan PLAN.zx8plan [--text]",
     .help = "  zx840-cli check TEST.ZX8|DIR... --plan PLAN.zx8plan [--text]\n"
             "      Judges saved tests against a test plan, without a meter: one JSON line\n"
             "      per test (its file, product information and verdict), or with --text\n"
             "      the verdict and the failing checks.\n",
     .options = kCheckOptions,
     .operands = true,
     .run = CheckCommand},
    {.name = "history",
     .usage = "zx840-cli history [OPTIONS]",
     .help = "  zx840-cli history [--db URL] [--type T] [--number N|N-M] [--verdict PASS|FAIL]\n"
             "                    [--station S] [--since ISO8601] [--until ISO8601] [--limit K]\n"
             "                    [--id ID] [--full] [--csv]\n"
             "  zx840-cli history [--db URL] --id ID [--save TEST.ZX8|-] [--pdf OUT.pdf|-]\n"
             "      Lists stored results, newest first, as a JSON array (with --full also the\n"
             "      spectra and waveforms) or as CSV. With --save or --pdf, writes the result\n"
             "      --id names as a test file (as the window saves it) or as its printed\n"
             "      report with the verdict it was kept with, or both (-: standard output).\n",
     .options = kHistoryOptions,
     .run = HistoryCommand},
    {.name = "stats",
     .usage = "zx840-cli stats --type T|--by type [OPTIONS]",
     .help = "  zx840-cli stats [--db URL] --type T [--station S] [--since ISO8601]\n"
             "                  [--until ISO8601] [--plan PLAN.zx8plan] [--by station|type]\n"
             "      Count, passed and failed results, and per reading min, mean, max and\n"
             "      standard deviation; with a plan, Cpl for a reading it gives a minimum,\n"
             "      Cpu for a maximum, Cpk for both. --by gives one line of JSON per station\n"
             "      or per type (then --type is not needed).\n",
     .options = kStatsOptions,
     .run = StatsCommand},
    {.name = "import",
     .usage = "zx840-cli import TEST.ZX8|DIR... [--db URL]",
     .help = "  zx840-cli import TEST.ZX8|DIR... [--db URL]\n"
             "      Stores test files; a damaged file is reported and skipped, a file\n"
             "      imported again is kept once.\n",
     .options = kStoreOptions,
     .operands = true,
     .run = ImportCommand},
    {.name = "sync",
     .usage = "zx840-cli sync [--db URL]",
     .help = "  zx840-cli sync [--db URL]\n"
             "      Pushes the results waiting in the local spool into the store.\n"
             "      The store: --db, else the environment variable ZX840_DB, else the file\n"
             "      results.sqlite in $XDG_DATA_HOME/Orvalisto (~/.local/share/Orvalisto).\n",
     .options = kStoreOptions,
     .run = SyncCommand},
    {.name = "serve",
     .usage = "zx840-cli serve [OPTIONS]",
     .help = "  zx840-cli serve [--listen ADDR:PORT] [--allow CIDR[,CIDR...]] [--port COMn]\n"
             "                  [--baud 2400|9600] [--plan PLAN.zx8plan] [--db URL]\n"
             "                  [--station NAME] [--max-clients N]\n"
             "      Serves the station as an instrument on the network until SIGINT or\n"
             "      SIGTERM: remote-control commands over TCP, one line a message (default\n"
             "      127.0.0.1:5025; another address needs --allow), at most --max-clients\n"
             "      at once (default 32).\n",
     .options = kServeOptions,
     .run = ServeCommand},
    {.name = "web",
     .usage = "zx840-cli web [OPTIONS]",
     .help = "  zx840-cli web [--db URL] [--listen ADDR:PORT] [--allow CIDR[,CIDR...]]\n"
             "                [--token-file FILE] [--plan PLAN.zx8plan] [--max-clients N]\n"
             "      Serves the results store read-only to browsers, as JSON and as metrics\n"
             "      until SIGINT or SIGTERM (default 127.0.0.1:8840; another address needs\n"
             "      --allow and --token-file). The plan gives the limits of Cpk.\n",
     .options = kWebOptions,
     .run = WebCommand},
    {.name = "show",
     .usage = "zx840-cli show TEST.ZX8",
     .help = "  zx840-cli show TEST.ZX8\n"
             "      Prints a test file as JSON, with its product information.\n",
     .operands = true,
     .run = ShowCommand},
    {.name = "report",
     .usage = "zx840-cli report TEST.ZX8 --pdf OUT.pdf|- [--plan PLAN.zx8plan]",
     .help = "  zx840-cli report TEST.ZX8 --pdf OUT.pdf|- [--plan PLAN.zx8plan]\n"
             "      Writes the printed one-page report of a test file as a PDF (with -, to\n"
             "      standard output); with a plan, judged as check judges it, the verdict\n"
             "      line on the page.\n",
     .options = kReportOptions,
     .operands = true,
     .run = ReportCommand},
    {.name = "decode",
     .usage = "zx840-cli decode REPLY.bin",
     .help = "  zx840-cli decode REPLY.bin\n"
             "      Decodes and analyses a meter reply saved to a file; prints the JSON.\n",
     .operands = true,
     .run = DecodeCommand},
};

}  // namespace

std::span<const CliCommand> CliCommands() {
    return kCommands;
}

const CliCommand* FindCliCommand(std::string_view name) {
    for (const CliCommand& command : CliCommands()) {
        if (command.name == name) {
            return &command;
        }
    }
    return nullptr;
}

std::string CliHelp() {
    std::string help = "Usage:\n";
    for (const CliCommand& command : CliCommands()) {
        help += CommandBlock(command);
    }
    help += kHelpTail;
    help += kExitStatus;
    return help;
}

std::string CommandHelp(std::string_view name) {
    const CliCommand* command = FindCliCommand(name);
    if (command == nullptr) {
        return CliHelp();
    }
    std::string help = "Usage:\n";
    help += CommandBlock(*command);
    help += kExitStatus;
    return help;
}

}  // namespace zx840
