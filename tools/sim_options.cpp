#include "tools/sim_options.h"

#include <charconv>
#include <cmath>
#include <optional>

#include "tools/argument_parser.h"

namespace zx840 {

const char kSimUsage[] =
    "Usage: zx840-meter-sim [options]\n"
    "Stands in for the meter: answers each request on a serial line with a reply.\n"
    "Prints the device to open on its first line, then serves until interrupted.\n"
    "  --device PATH        serve an existing serial device instead of a new\n"
    "                       pseudo-terminal (for example one end of a null-modem cable)\n"
    "  --device-baud N      line speed set on that device (default 9600)\n"
    "  --link PATH          also make PATH a symbolic link to the pseudo-terminal\n"
    "  --load KIND          resistive (default), rectifier or dimmer\n"
    "  --mains-rms VOLTS    RMS of the mains voltage (default 230)\n"
    "  --frequency HZ       mains frequency reported (default 50)\n"
    "  --amps AMPS          RMS current of the load as a resistor (default 1)\n"
    "  --firing DEGREES     dimmer firing angle after each zero crossing (default 90)\n"
    "  --harmonic N:PCT[:PHASE]  add voltage harmonic N at PCT percent (repeatable)\n"
    "  --paced              send at the speed the request names, 10 bits a byte\n"
    "  --fault MODE         none, no-answer, short, wrong-mark, stall, garbage or\n"
    "                       mismatched (the readings of the load with the waveforms\n"
    "                       of another, for the meter check)\n"
    "  --fault-after N      good replies before the fault starts (default 0)\n"
    "  --fault-count N      faulty answers, then good ones again (default: for ever)\n"
    "  --stall-ms N         length of the stall fault's pause (default 6000)\n"
    "  -h, --help           this text\n"
    "  -V, --version        the version, then end\n"
    "An option takes its value as --opt VALUE or --opt=VALUE.\n";

namespace {

std::optional<double> ParseDouble(const std::string& text) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> ParseInt(const std::string& text) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

bool ParseHarmonic(const std::string& text, VoltageHarmonic& harmonic) {
    const auto first = text.find(':');
    if (first == std::string::npos) {
        return false;
    }
    const auto second = text.find(':', first + 1);
    const auto order = ParseInt(text.substr(0, first));
    const auto percent = ParseDouble(text.substr(first + 1, second - first - 1));
    const auto phase = second == std::string::npos ? std::optional<double>(0.0)
                                                   : ParseDouble(text.substr(second + 1));
    if (!order || !percent || !phase || *order < 2 || *order > kHarmonicOrders) {
        return false;
    }
    harmonic = {*order, *percent, *phase};
    return true;
}

// An option of the simulated load; false for a value it cannot take.
bool ApplyLoadOption(const std::string& arg, const std::string& value, LoadSettings& load) {
    const auto number = ParseDouble(value);
    bool ok = true;
    if (arg == "--load") {
        if (value == "resistive") {
            load.kind = LoadKind::Resistive;
        } else if (value == "rectifier") {
            load.kind = LoadKind::Rectifier;
        } else if (value == "dimmer") {
            load.kind = LoadKind::Dimmer;
        } else {
            ok = false;
        }
    } else if (arg == "--mains-rms") {
        ok = number && *number >= 0;
        load.mainsRms = number.value_or(0);
    } else if (arg == "--frequency") {
        ok = number && *number > 0;
        load.frequency = number.value_or(0);
    } else if (arg == "--amps") {
        ok = number && *number >= 0;
        load.loadAmps = number.value_or(0);
    } else if (arg == "--firing") {
        ok = number && *number >= 0 && *number <= 180;
        load.firingAngleDeg = number.value_or(0);
    } else if (arg == "--harmonic") {
        VoltageHarmonic harmonic;
        ok = ParseHarmonic(value, harmonic);
        load.voltageHarmonics.push_back(harmonic);
    }
    return ok;
}

// An option of the line or of its faults, else of the load; false for a
// value it cannot take.
bool ApplyOption(const std::string& arg, const std::string& value, SimCommandLine& result) {
    SimulatorOptions& o = result.options;
    const auto integer = ParseInt(value);
    bool ok = true;
    if (arg == "--device") {
        result.device = value;
    } else if (arg == "--link") {
        result.link = value;
    } else if (arg == "--device-baud") {
        ok = integer && *integer > 0;
        o.lineBaud = integer.value_or(0);
    } else if (arg == "--fault") {
        o.fault.mode = ParseFaultMode(value, &ok);
    } else if (arg == "--fault-after") {
        ok = integer && *integer >= 0;
        o.fault.afterGood = integer.value_or(0);
    } else if (arg == "--fault-count") {
        ok = integer && *integer >= -1;
        o.fault.count = integer.value_or(0);
    } else if (arg == "--stall-ms") {
        ok = integer && *integer >= 0;
        o.stall = std::chrono::milliseconds(integer.value_or(0));
    } else {
        ok = ApplyLoadOption(arg, value, o.load);
    }
    return ok;
}

}  // namespace

bool ParseSimCommandLine(const std::vector<std::string>& args, SimCommandLine* result,
                         std::string* error) {
    ArgumentParser parser;
    parser.Switch("-V,--version");
    parser.Switch("--paced");
    for (const char* name :
         {"--device", "--link", "--device-baud", "--load", "--mains-rms", "--frequency", "--amps",
          "--firing", "--harmonic", "--fault", "--fault-after", "--fault-count", "--stall-ms"}) {
        parser.Value(name);
    }
    switch (parser.Parse(args)) {
        case ArgumentParser::Outcome::Help:
            result->help = true;
            return true;
        case ArgumentParser::Outcome::Mistake:
            *error = parser.Problem();
            return false;
        case ArgumentParser::Outcome::Parsed:
            break;
    }
    for (const auto& [arg, value] : parser.Options()) {
        if (arg == "--version") {
            result->version = true;
        } else if (arg == "--paced") {
            result->options.paced = true;
        } else if (!ApplyOption(arg, value, *result)) {
            *error = "bad value for " + arg + ": \"" + value + "\"";
            return false;
        }
    }
    return true;
}

std::string SimUsage(const std::string& problem) {
    std::string text = "zx840-meter-sim: ";
    text += problem;
    text +=
        "\nUsage: zx840-meter-sim [OPTIONS]\n"
        "Try 'zx840-meter-sim --help' for more information.\n";
    return text;
}

}  // namespace zx840
