#include "tools/cli.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <ostream>

#include "analysis/conduction_angles.h"
#include "meter/acquisition.h"
#include "meter/port_map.h"
#include "record/file_io.h"
#include "record/record_json.h"
#include "record/test_file.h"

namespace zx840 {
namespace {

constexpr char kUsage[] =
    "Usage:\n"
    "  zx840-cli acquire [--port NAME] [--baud 2400|9600] [--text] [--save TEST.ZX8]\n"
    "      One exchange with the meter; prints the working record as JSON, or\n"
    "      with --text the readings as lines of text; --save also writes it as a\n"
    "      test file.\n"
    "      NAME is COM1 to COM8 (default COM1) or a device path. COMn opens the\n"
    "      device named by the environment variable ZX840_COMn, else /dev/ttyS<n-1>.\n"
    "      The speed defaults to 9600.\n"
    "  zx840-cli show TEST.ZX8\n"
    "      Prints a test file as JSON, with its product information.\n"
    "  zx840-cli decode REPLY.bin\n"
    "      Decodes and analyses a meter reply saved to a file; prints the JSON.\n"
    "  zx840-cli --help\n"
    "\n"
    "Exit status: 0 success, 1 usage error, 2 port cannot be opened,\n"
    "3 request cannot be written, 4 no valid reply, 5 a file cannot be read or written.\n";

int Usage(std::ostream& err, const std::string& problem) {
    err << "zx840-cli: " << problem << "\n" << kUsage;
    return kCliUsage;
}

int ReportFailure(std::ostream& err, const ExchangeResult& exchange, const std::string& port,
                  const std::string& device) {
    err << FailureMessage(exchange.failure).text << "\n";
    err << "detail: " << port;
    if (device != port) {
        err << " (" << device << ")";
    }
    switch (exchange.failure) {
        case AcquireFailure::OpenFailed:
        case AcquireFailure::WriteFailed:
            err << ": " << PortErrorText(exchange.port.error);
            if (exchange.port.sysErrno != 0) {
                err << " (" << std::strerror(exchange.port.sysErrno) << ")";
            }
            break;
        case AcquireFailure::BadReply:
            err << ": " << exchange.received << " bytes received";
            if (exchange.received > 0) {
                err << ", first byte 0x" << std::hex << static_cast<int>(exchange.reply[0])
                    << std::dec;
            }
            if (exchange.readErrno != 0) {
                err << ", line error: " << std::strerror(exchange.readErrno);
            }
            break;
        case AcquireFailure::None:
            break;
    }
    err << "\n";
    switch (exchange.failure) {
        case AcquireFailure::OpenFailed:
            return kCliOpenFailed;
        case AcquireFailure::WriteFailed:
            return kCliWriteFailed;
        default:
            return kCliBadReply;
    }
}

// The readings for a person: one per line, with their units.
void PrintText(std::ostream& out, const WorkingRecord& working) {
    const MeasurementRecord& r = working.Record;
    const auto percent = [](float part, float whole) {
        return whole != 0.0f ? 100.0 * part / whole : 0.0;
    };
    char line[160];
    const auto print = [&](const char* format, auto... values) {
        std::snprintf(line, sizeof line, format, values...);
        out << line;
    };
    print("Voltage      %10.2f V     peak %.2f V   crest factor %.3f\n", r.Urms,
          static_cast<double>(r.Urms) * r.Ucf, r.Ucf);
    print("Current      %10.4f A     peak %.4f A   crest factor %.3f\n", r.Irms,
          static_cast<double>(r.Irms) * r.Icf, r.Icf);
    print("Power        %10.2f W\n", r.Power);
    print("Power factor %10.4f\n", r.PF);
    print("Frequency    %10.2f Hz\n", r.Freq);
    print("Distortion   voltage %.2f %%   current %.2f %%\n", percent(r.Uthd, r.USpec[0]),
          percent(r.Ithd, r.ISpec[0]));
    print("Conduction   start %.2f   peak %.2f   end %.2f degrees\n", working.Angles.StartAngle,
          working.Angles.PeakAngle, working.Angles.EndAngle);
}

int Acquire(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string port = "COM1";
    std::int32_t baud = 9600;
    bool text = false;
    std::string save;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--text") {
            text = true;
            continue;
        }
        if ((arg == "--port" || arg == "--baud" || arg == "--save") && i + 1 >= args.size()) {
            return Usage(err, arg + " needs a value");
        }
        if (arg == "--save") {
            save = args[++i];
        } else if (arg == "--port") {
            port = args[++i];
        } else if (arg == "--baud") {
            const std::string& value = args[++i];
            if (value == "2400" || value == "9600") {
                baud = std::stoi(value);
            } else {
                return Usage(err, "the speed must be 2400 or 9600, not \"" + value + "\"");
            }
        } else {
            return Usage(err, "unknown argument \"" + arg + "\"");
        }
    }
    const PortMap map;
    const std::string device = map.Resolve(port);
    const HarmonicTable table;
    WorkingRecord working;
    const AcquireResult result = zx840::Acquire(device, baud, table, working);
    if (!result.ok) {
        return ReportFailure(err, result.exchange, port, device);
    }
    if (!save.empty()) {
        ProductMark mark;
        mark.Testday = TodayTestday();
        if (const FileStatus status =
                WriteFileAtomically(save, SerializeTest(mark, working.Record));
            !status) {
            err << "zx840-cli: cannot save the test to " << save << ": " << status.Describe()
                << "\n";
            return kCliFileError;
        }
    }
    if (text) {
        PrintText(out, working);
    } else {
        out << WorkingRecordJson(working) << "\n";
    }
    return kCliOk;
}

int Show(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 2) {
        return Usage(err, "show takes one test file");
    }
    std::vector<std::uint8_t> bytes;
    if (const FileStatus status = ReadWholeFile(args[1], bytes); !status) {
        err << (status.sysErrno == EFBIG ? std::string(kUnexpectedFileFormat)
                                         : "Cannot open " + args[1] + ": " + status.Describe())
            << "\n";
        return kCliFileError;
    }
    const auto test = ParseTest(bytes);
    if (!test) {
        err << kUnexpectedFileFormat << "\n";
        return kCliFileError;
    }
    // As the panel shows an opened test: spectra from the file, angles anew.
    WorkingRecord working;
    working.Record = test->Record;
    working.DataValid = 1;
    working.Angles = ComputeConductionAngles(working.Record);
    out << WorkingRecordJson(working, true) << ",\"ProductMark\":" << ProductMarkJson(test->Mark)
        << "}\n";
    return kCliOk;
}

int Decode(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 2) {
        return Usage(err, "decode takes one file");
    }
    std::ifstream file(args[1], std::ios::binary);
    if (!file) {
        err << "zx840-cli: cannot open " << args[1] << ": " << std::strerror(errno) << "\n";
        return kCliFileError;
    }
    // Like the read on the line: up to one reply's worth into a cleared buffer.
    ExchangeResult exchange;
    file.read(reinterpret_cast<char*>(exchange.reply.data()), exchange.reply.size());
    exchange.received = static_cast<std::size_t>(file.gcount());
    if (file.bad()) {
        err << "zx840-cli: cannot read " << args[1] << "\n";
        return kCliFileError;
    }
    if (!IsReplyAccepted(exchange.reply, exchange.received)) {
        exchange.failure = AcquireFailure::BadReply;
        return ReportFailure(err, exchange, args[1], args[1]);
    }
    const HarmonicTable table;
    WorkingRecord working;
    ApplyReply(exchange.reply, table, working);
    out << WorkingRecordJson(working) << "\n";
    return kCliOk;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        return Usage(err, "no command given");
    }
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        return kCliOk;
    }
    if (command == "acquire") {
        return Acquire(args, out, err);
    }
    if (command == "show") {
        return Show(args, out, err);
    }
    if (command == "decode") {
        return Decode(args, out, err);
    }
    return Usage(err, "unknown command \"" + command + "\"");
}

}  // namespace zx840
