#include "tools/cli_common.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "draw/number_format.h"
#include "meter/serial_devices.h"
#include "record/derived_values.h"
#include "record/file_io.h"
#include "record/record_json.h"
#include "tools/acquire_options.h"
#include "tools/report_pdf.h"

namespace zx840 {

namespace {

// One command in the help: its usage line for a mistake, and its block of
// the help, the synopsis from column 2 and the text from column 6.
struct CommandHelpEntry {
    std::string_view name;
    std::string_view usage;
    std::string_view help;
};

constexpr CommandHelpEntry kCommands[] = {
    {"acquire", "zx840-cli acquire [OPTIONS]",
     "  zx840-cli acquire [OPTIONS]\n"
     "      Exchanges with the meter; prints the working record as JSON, one line\n"
     "      per acquisition (a failed one as its Time, Failure F1, F2 or F3 and\n"
     "      Message), or with --text the readings as lines of text.\n"},
    {"export", "zx840-cli export TEST.ZX8|DIR... [--csv DIR|-] [--json DIR|-]",
     "  zx840-cli export TEST.ZX8|DIR... [--csv DIR|-] [--json DIR|-]\n"
     "      Writes each test file (each *.ZX8 file of a directory given) as one CSV\n"
     "      or JSON file named after it: readings, harmonic table, samples. A damaged\n"
     "      file is reported and skipped. With - instead of a directory all tests go\n"
     "      to standard output as one stream: CSV under one header, or one line of\n"
     "      JSON per test; the summary then goes to standard error.\n"},
    {"ports", "zx840-cli ports",
     "  zx840-cli ports\n"
     "      Lists the serial devices, their stable names, the COM name that opens\n"
     "      each, and whether this user may open them.\n"},
    {"check", "zx840-cli check TEST.ZX8|DIR... --plan PLAN.zx8plan [--text]",
     "  zx840-cli check TEST.ZX8|DIR... --plan PLAN.zx8plan [--text]\n"
     "      Judges saved tests against a test plan, without a meter: one JSON line\n"
     "      per test (its file, product information and verdict), or with --text\n"
     "      the verdict and the failing checks.\n"},
    {"history", "zx840-cli history [OPTIONS]",
     "  zx840-cli history [--db URL] [--type T] [--number N|N-M] [--verdict PASS|FAIL]\n"
     "                    [--station S] [--since ISO8601] [--until ISO8601] [--limit K]\n"
     "                    [--id ID] [--full] [--csv]\n"
     "  zx840-cli history [--db URL] --id ID [--save TEST.ZX8|-] [--pdf OUT.pdf|-]\n"
     "      Lists stored results, newest first, as a JSON array (with --full also the\n"
     "      spectra and waveforms) or as CSV. With --save or --pdf, writes the result\n"
     "      --id names as a test file (as the window saves it) or as its printed\n"
     "      report with the verdict it was kept with, or both (-: standard output).\n"},
    {"stats", "zx840-cli stats --type T|--by type [OPTIONS]",
     "  zx840-cli stats [--db URL] --type T [--station S] [--since ISO8601]\n"
     "                  [--until ISO8601] [--plan PLAN.zx8plan] [--by station|type]\n"
     "      Count, passed and failed results, and per reading min, mean, max and\n"
     "      standard deviation; with a plan, Cpl for a reading it gives a minimum,\n"
     "      Cpu for a maximum, Cpk for both. --by gives one line of JSON per station\n"
     "      or per type (then --type is not needed).\n"},
    {"import", "zx840-cli import TEST.ZX8|DIR... [--db URL]",
     "  zx840-cli import TEST.ZX8|DIR... [--db URL]\n"
     "      Stores test files; a damaged file is reported and skipped, a file\n"
     "      imported again is kept once.\n"},
    {"sync", "zx840-cli sync [--db URL]",
     "  zx840-cli sync [--db URL]\n"
     "      Pushes the results waiting in the local spool into the store.\n"
     "      The store: --db, else the environment variable ZX840_DB, else the file\n"
     "      results.sqlite in $XDG_DATA_HOME/Orvalisto (~/.local/share/Orvalisto).\n"},
    {"serve", "zx840-cli serve [OPTIONS]",
     "  zx840-cli serve [--listen ADDR:PORT] [--allow CIDR[,CIDR...]] [--port COMn]\n"
     "                  [--baud 2400|9600] [--plan PLAN.zx8plan] [--db URL]\n"
     "                  [--station NAME] [--max-clients N]\n"
     "      Serves the station as an instrument on the network until SIGINT or\n"
     "      SIGTERM: remote-control commands over TCP, one line a message (default\n"
     "      127.0.0.1:5025; another address needs --allow), at most --max-clients\n"
     "      at once (default 32).\n"},
    {"show", "zx840-cli show TEST.ZX8",
     "  zx840-cli show TEST.ZX8\n"
     "      Prints a test file as JSON, with its product information.\n"},
    {"report", "zx840-cli report TEST.ZX8 --pdf OUT.pdf|- [--plan PLAN.zx8plan]",
     "  zx840-cli report TEST.ZX8 --pdf OUT.pdf|- [--plan PLAN.zx8plan]\n"
     "      Writes the printed one-page report of a test file as a PDF (with -, to\n"
     "      standard output); with a plan, judged as check judges it, the verdict\n"
     "      line on the page.\n"},
    {"decode", "zx840-cli decode REPLY.bin",
     "  zx840-cli decode REPLY.bin\n"
     "      Decodes and analyses a meter reply saved to a file; prints the JSON.\n"},
};

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

const CommandHelpEntry* FindCommand(std::string_view name) {
    for (const CommandHelpEntry& entry : kCommands) {
        if (entry.name == name) {
            return &entry;
        }
    }
    return nullptr;
}

// A command's block of the help; acquire's with its options.
std::string CommandBlock(const CommandHelpEntry& entry) {
    std::string block(entry.help);
    if (entry.name == "acquire") {
        block += AcquireOptionsHelp();
    }
    return block;
}

}  // namespace

std::string CliHelp() {
    std::string help = "Usage:\n";
    for (const CommandHelpEntry& entry : kCommands) {
        help += CommandBlock(entry);
    }
    help += kHelpTail;
    help += kExitStatus;
    return help;
}

std::string CommandHelp(std::string_view command) {
    const CommandHelpEntry* entry = FindCommand(command);
    if (entry == nullptr) {
        return CliHelp();
    }
    std::string help = "Usage:\n";
    help += CommandBlock(*entry);
    help += kExitStatus;
    return help;
}

std::string Counted(std::size_t count, const char* singular, const char* plural) {
    std::string text = std::to_string(count);
    text += ' ';
    text += count == 1 ? singular : plural;
    return text;
}

int Usage(std::ostream& err, std::string_view command, const std::string& problem) {
    const CommandHelpEntry* entry = FindCommand(command);
    std::string text = "zx840-cli: ";
    text += problem;
    text += "\nUsage: ";
    text += entry != nullptr ? entry->usage : std::string_view("zx840-cli COMMAND [OPTIONS]");
    text += "\nTry 'zx840-cli ";
    if (entry != nullptr) {
        text += entry->name;
        text += ' ';
    }
    text += "--help' for more information.\n";
    err << text;
    return kCliUsage;
}

std::optional<int> ReadArguments(ArgumentParser& parser, const std::vector<std::string>& args,
                                 std::ostream& out, std::ostream& err) {
    switch (parser.Parse({args.begin() + 1, args.end()})) {
        case ArgumentParser::Outcome::Parsed:
            return std::nullopt;
        case ArgumentParser::Outcome::Help:
            out << CommandHelp(args[0]);
            return kCliOk;
        case ArgumentParser::Outcome::Mistake:
            break;
    }
    return Usage(err, args[0], parser.Problem());
}

bool IsStandardOutput(const std::string& path) {
    return path == "-";
}

int FailureStatus(AcquireFailure failure) {
    switch (failure) {
        case AcquireFailure::None:
            return kCliOk;
        case AcquireFailure::OpenFailed:
            return kCliOpenFailed;
        case AcquireFailure::WriteFailed:
            return kCliWriteFailed;
        case AcquireFailure::BadReply:
            return kCliBadReply;
    }
    return kCliBadReply;
}

std::string FailureDetail(const ExchangeResult& exchange, const std::string& port,
                          const std::string& device) {
    std::ostringstream detail;
    detail << port;
    if (device != port) {
        detail << " (" << device << ")";
    }
    switch (exchange.failure) {
        case AcquireFailure::OpenFailed:
        case AcquireFailure::WriteFailed:
            detail << ": " << PortErrorText(exchange.port.error);
            if (exchange.port.sysErrno != 0) {
                detail << " (" << std::strerror(exchange.port.sysErrno) << ")";
            }
            if (exchange.port.sysErrno == EACCES || exchange.port.sysErrno == EPERM) {
                std::string group;
                for (const SerialDeviceInfo& info : DescribeSerialDevices()) {
                    if (info.path == device) {
                        group = info.group;
                    }
                }
                detail << "; " << PermissionHint(group);
            }
            break;
        case AcquireFailure::BadReply: {
            // Plain decimal, whatever locale the stream may carry.
            detail << ": " << std::to_string(exchange.received) << " bytes received";
            if (exchange.received > 0) {
                char mark[8];
                std::snprintf(mark, sizeof mark, "%x", static_cast<unsigned>(exchange.reply[0]));
                detail << ", first byte 0x" << mark;
            }
            if (exchange.readErrno != 0) {
                detail << ", line error: " << std::strerror(exchange.readErrno);
            }
            break;
        }
        case AcquireFailure::None:
            break;
    }
    return detail.str();
}

int ReportFailure(std::ostream& err, const ExchangeResult& exchange, const std::string& port,
                  const std::string& device) {
    err << FailureMessage(exchange.failure).text << "\n"
        << "detail: " << FailureDetail(exchange, port, device) << "\n";
    return FailureStatus(exchange.failure);
}

void PrintText(std::ostream& out, const WorkingRecord& working) {
    // FormatFixed, not printf: the decimal mark is "." whatever the locale.
    const MeasurementRecord& r = working.Record;
    const auto fixed = [](double value, int decimals, int width = 0) {
        return FormatFixed(value, decimals, width);
    };
    const double upeak = Upeak(r);
    const double ipeak = Ipeak(r);
    const double percentU = PercentOfFundamental(r.Uthd, r.USpec[0]);
    const double percentI = PercentOfFundamental(r.Ithd, r.ISpec[0]);
    out << "Voltage      " << fixed(r.Urms, 2, 10) << " V     peak " << fixed(upeak, 2)
        << " V   crest factor " << fixed(r.Ucf, 3) << "\n"
        << "Current      " << fixed(r.Irms, 4, 10) << " A     peak " << fixed(ipeak, 4)
        << " A   crest factor " << fixed(r.Icf, 3) << "\n"
        << "Power        " << fixed(r.Power, 2, 10) << " W\n"
        << "Power factor " << fixed(r.PF, 4, 10) << "\n"
        << "Frequency    " << fixed(r.Freq, 2, 10) << " Hz\n"
        << "Distortion   voltage " << fixed(percentU, 2) << " %   current " << fixed(percentI, 2)
        << " %\n"
        << "Conduction   start " << fixed(working.Angles.StartAngle, 2) << "   peak "
        << fixed(working.Angles.PeakAngle, 2) << "   end " << fixed(working.Angles.EndAngle, 2)
        << " degrees\n";
}

void PrintVerdictText(std::ostream& out, const Verdict& verdict) {
    out << verdict.Line() << "   plan " << verdict.plan << "\n";
    if (!verdict.preCompliance.empty()) {
        out << "             " << verdict.preCompliance << "\n";
    }
    const auto number = [](double value) {
        return std::isfinite(value) ? ShortestDouble(value) : std::string("not a number");
    };
    for (const Check& check : verdict.checks) {
        if (check.pass) {
            continue;
        }
        out << "  FAIL " << check.item << " = " << number(check.value);
        if (check.min) {
            out << "   min " << number(*check.min);
        }
        if (check.max) {
            out << "   max " << number(*check.max);
        }
        if (!check.note.empty()) {
            out << "   (" << check.note << ")";
        }
        out << "\n";
    }
}

int WriteReport(const std::string& path, const WorkingRecord& working, const ProductMark& mark,
                const Verdict* verdict, std::ostream& out, std::ostream& err) {
    ReportPdfWriter writer;
    std::string error;
    if (!IsStandardOutput(path)) {
        if (!writer.Write(path, working, mark, &error, verdict)) {
            err << "zx840-cli: " << error << "\n";
            return kCliFileError;
        }
        return kCliOk;
    }
    std::string document;
    if (!writer.Make(document, working, mark, &error, verdict)) {
        err << "zx840-cli: cannot make the report: " << error << "\n";
        return kCliFileError;
    }
    if (!out.write(document.data(), static_cast<std::streamsize>(document.size())).flush()) {
        err << "zx840-cli: cannot write the report to standard output\n";
        return kCliFileError;
    }
    return kCliOk;
}

std::optional<TestPlan> LoadPlan(const std::string& path, std::ostream& err) {
    PlanRead read = ReadPlanFile(path);
    if (!read.plan) {
        err << "zx840-cli: " << read.error << "\n";
    }
    return std::move(read.plan);
}

std::optional<TestFileContents> LoadTestFile(const std::string& path, std::string* error) {
    TestFileRead read = ReadTestFile(path);
    if (!read.readStatus) {
        *error = "Cannot open " + path + ": " + read.readStatus.Describe();
    } else if (!read.contents) {
        *error = kUnexpectedFileFormat;
    }
    return std::move(read.contents);
}

}  // namespace zx840
