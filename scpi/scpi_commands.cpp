// The command tree: every header the station answers, with its work.
#include <algorithm>
#include <cmath>
#include <limits>

#include "record/archive.h"
#include "record/derived_values.h"
#include "scpi/scpi_interpreter.h"

namespace zx840::scpi {

namespace {

// UTF-8 without control characters: what a product field may hold.
bool IsUtf8Text(std::string_view text) {
    return IsValidUtf8(text) && std::none_of(text.begin(), text.end(), [](char c) {
               const auto byte = static_cast<unsigned char>(c);
               return byte < 0x20 || byte == 0x7F;
           });
}

// A parameter as a whole number within [low, high]; nothing after telling.
std::optional<std::int64_t> WholeNumber(const Parameter& p, std::int64_t low, std::int64_t high,
                                        const std::function<void(int)>& error) {
    if (p.kind != Parameter::Kind::Number) {
        error(kDataTypeError);
        return std::nullopt;
    }
    if (p.number != std::floor(p.number) || p.number < static_cast<double>(low) ||
        p.number > static_cast<double>(high)) {
        error(kDataOutOfRange);
        return std::nullopt;
    }
    return static_cast<std::int64_t>(p.number);
}

// ON, OFF, 1 or 0.
std::optional<bool> Boolean(const Parameter& p) {
    if (p.kind == Parameter::Kind::Number && (p.number == 0.0 || p.number == 1.0)) {
        return p.number == 1.0;
    }
    if (p.kind == Parameter::Kind::Word && MnemonicMatches("ON", p.text)) {
        return true;
    }
    if (p.kind == Parameter::Kind::Word && MnemonicMatches("OFF", p.text)) {
        return false;
    }
    return std::nullopt;
}

// The query `first` + `rest` + "?".
std::string Header(const char* first, const char* rest) {
    std::string header = first;
    header += rest;
    header += '?';
    return header;
}

// What a measuring query answers: numbers of the measurement.
struct Quantity {
    const char* header;  // after FETCh, READ or MEASure
    bool floats;         // fields of the record, as floats; else derived doubles
    std::vector<double> (*values)(const WorkingRecord&);
};

template <std::size_t N, typename T>
std::vector<double> All(const std::array<T, N>& values) {
    return {values.begin(), values.end()};
}

const Quantity kQuantities[] = {
    {"[:SCALar]:VOLTage[:RMS]", true,
     [](const WorkingRecord& w) { return std::vector<double>{w.Record.Urms}; }},
    {"[:SCALar]:CURRent[:RMS]", true,
     [](const WorkingRecord& w) { return std::vector<double>{w.Record.Irms}; }},
    {"[:SCALar]:POWer[:REAL]", true,
     [](const WorkingRecord& w) { return std::vector<double>{w.Record.Power}; }},
    {"[:SCALar]:POWer:PFACtor", true,
     [](const WorkingRecord& w) { return std::vector<double>{w.Record.PF}; }},
    {"[:SCALar]:FREQuency", true,
     [](const WorkingRecord& w) { return std::vector<double>{w.Record.Freq}; }},
    {"[:SCALar]:VOLTage:CFACtor", true,
     [](const WorkingRecord& w) { return std::vector<double>{w.Record.Ucf}; }},
    {"[:SCALar]:CURRent:CFACtor", true,
     [](const WorkingRecord& w) { return std::vector<double>{w.Record.Icf}; }},
    {"[:SCALar]:VOLTage:THD", false,
     [](const WorkingRecord& w) {
         return std::vector<double>{QuotientPercent(w.Record.Uthd, w.Record.USpec[0])};
     }},
    {"[:SCALar]:CURRent:THD", false,
     [](const WorkingRecord& w) {
         return std::vector<double>{QuotientPercent(w.Record.Ithd, w.Record.ISpec[0])};
     }},
    {"[:SCALar]:VOLTage:PEAK", false,
     [](const WorkingRecord& w) { return std::vector<double>{Upeak(w.Record)}; }},
    {"[:SCALar]:CURRent:PEAK", false,
     [](const WorkingRecord& w) { return std::vector<double>{Ipeak(w.Record)}; }},
    {"[:SCALar]:CURRent:ANGLe", true,
     [](const WorkingRecord& w) {
         return std::vector<double>{w.Angles.StartAngle, w.Angles.PeakAngle, w.Angles.EndAngle};
     }},
    {"[:SCALar]:ALL", true,
     [](const WorkingRecord& w) {
         const MeasurementRecord& r = w.Record;
         return std::vector<double>{r.Urms, r.Irms, r.PF, r.Freq, r.Power, r.Ucf, r.Icf};
     }},
    {":ARRay:VOLTage", true, [](const WorkingRecord& w) { return All(w.Record.UWave); }},
    {":ARRay:CURRent", true, [](const WorkingRecord& w) { return All(w.Record.IWave); }},
    {":ARRay:VOLTage:HARMonic", true, [](const WorkingRecord& w) { return All(w.Record.USpec); }},
    {":ARRay:CURRent:HARMonic", true, [](const WorkingRecord& w) { return All(w.Record.ISpec); }},
};

}  // namespace

Interpreter::Entry::Entry(std::string_view header, std::size_t minimum, std::size_t maximum,
                          std::function<void(Interpreter&, const Command&)> work)
    : minParameters(minimum), maxParameters(maximum), run(std::move(work)) {
    if (!header.empty() && header.back() == '?') {
        query = true;
        header.remove_suffix(1);
    }
    if (!header.empty() && header.front() == '*') {
        common = true;
        header.remove_prefix(1);
    }
    while (!header.empty()) {
        const bool optional = header.front() == '[';
        header.remove_prefix(optional ? 1 : 0);
        if (!header.empty() && header.front() == ':') {
            header.remove_prefix(1);
        }
        const std::size_t end = header.find_first_of(":[]");
        nodes.push_back({std::string(header.substr(0, end)), optional});
        header.remove_prefix(end == std::string_view::npos ? header.size() : end);
        if (!header.empty() && header.front() == ']') {
            header.remove_prefix(1);
        }
    }
}

bool Interpreter::Entry::Matches(const std::vector<std::string>& path, std::size_t node,
                                 std::size_t at) const {
    if (node == nodes.size()) {
        return at == path.size();
    }
    if (at < path.size() && MnemonicMatches(nodes[node].mnemonic, path[at]) &&
        Matches(path, node + 1, at + 1)) {
        return true;
    }
    return nodes[node].optional && Matches(path, node + 1, at);
}

const Interpreter::Table& Interpreter::Commands() {
    static const Table table = [] {
        Table made;
        AddCommon(made);
        AddSystem(made);
        AddMeasuring(made);
        AddMark(made);
        AddLimits(made);
        return made;
    }();
    return table;
}

void Interpreter::AddCommon(Table& t) {
    t.emplace_back("*IDN?", 0, 0, [](Interpreter& in, const Command&) {
        std::string identity = in.station_.Maker();
        identity += ",ZX840,0,";
        identity += in.station_.Version();
        in.Answer(std::move(identity));
    });
    t.emplace_back("*RST", 0, 0, [](Interpreter& in, const Command&) {
        in.station_.Reset();
        in.binary_ = false;
        in.swapped_ = true;
        in.errors_.clear();
    });
    t.emplace_back("*CLS", 0, 0, [](Interpreter& in, const Command&) {
        in.errors_.clear();
        in.esr_ = 0;
    });
    const auto mask = [](std::uint8_t Interpreter::*reg) {
        return [reg](Interpreter& in, const Command& c) {
            const auto error = [&in](int code) { in.Error(code); };
            if (const auto value = WholeNumber(c.parameters[0], 0, 255, error)) {
                in.*reg = static_cast<std::uint8_t>(*value);
            }
        };
    };
    t.emplace_back("*ESE", 1, 1, mask(&Interpreter::ese_));
    t.emplace_back("*SRE", 1, 1, mask(&Interpreter::sre_));
    t.emplace_back("*ESE?", 0, 0,
                   [](Interpreter& in, const Command&) { in.Answer(std::to_string(in.ese_)); });
    t.emplace_back("*SRE?", 0, 0,
                   [](Interpreter& in, const Command&) { in.Answer(std::to_string(in.sre_)); });
    t.emplace_back("*ESR?", 0, 0, [](Interpreter& in, const Command&) {
        in.Answer(std::to_string(in.esr_));
        in.esr_ = 0;
    });
    t.emplace_back("*STB?", 0, 0, [](Interpreter& in, const Command&) {
        in.Answer(std::to_string(in.StatusByte()));
    });
    // Commands run one after the other: each is complete when the next runs.
    t.emplace_back("*OPC", 0, 0,
                   [](Interpreter& in, const Command&) { in.esr_ |= kOperationCompleteBit; });
    t.emplace_back("*OPC?", 0, 0, [](Interpreter& in, const Command&) { in.Answer("1"); });
    t.emplace_back("*WAI", 0, 0, [](Interpreter&, const Command&) {});
    t.emplace_back("*TST?", 0, 0, [](Interpreter& in, const Command&) {
        in.Exchange([&in](const Measurement& m) { in.Answer(m.ok ? "0" : "1"); });
    });
}

void Interpreter::AddSystem(Table& t) {
    t.emplace_back("SYSTem:ERRor[:NEXT]?", 0, 0,
                   [](Interpreter& in, const Command&) { in.Answer(in.NextError()); });
    t.emplace_back("SYSTem:VERSion?", 0, 0,
                   [](Interpreter& in, const Command&) { in.Answer("1999.0"); });
    t.emplace_back("SYSTem:COMMunicate:SERial:PORT", 1, 1, [](Interpreter& in, const Command& c) {
        const Parameter& p = c.parameters[0];
        if (p.kind == Parameter::Kind::Number) {
            in.Error(kDataTypeError);
        } else if (!in.station_.SetPort(p.text)) {
            in.Error(kIllegalParameterValue, "a port is COM1 to COM8");
        }
    });
    t.emplace_back("SYSTem:COMMunicate:SERial:PORT?", 0, 0,
                   [](Interpreter& in, const Command&) { in.Answer(in.station_.Port()); });
    t.emplace_back("SYSTem:COMMunicate:SERial:BAUD", 1, 1, [](Interpreter& in, const Command& c) {
        const auto error = [&in](int code) { in.Error(code); };
        const auto speed = WholeNumber(c.parameters[0], 0, 1000000, error);
        if (speed && !in.station_.SetSpeed(static_cast<int>(*speed))) {
            in.Error(kDataOutOfRange, "the meter speaks at 2400 or 9600 baud");
        }
    });
    t.emplace_back("SYSTem:COMMunicate:SERial:BAUD?", 0, 0, [](Interpreter& in, const Command&) {
        in.Answer(std::to_string(in.station_.Speed()));
    });
    t.emplace_back("FORMat[:DATA]", 1, 2, [](Interpreter& in, const Command& c) {
        const Parameter& kind = c.parameters[0];
        const bool real = kind.kind == Parameter::Kind::Word && MnemonicMatches("REAL", kind.text);
        const bool ascii =
            kind.kind == Parameter::Kind::Word && MnemonicMatches("ASCii", kind.text);
        if ((!real && !ascii) || (c.parameters.size() == 2 &&
                                  (!real || c.parameters[1].kind != Parameter::Kind::Number ||
                                   c.parameters[1].number != 32.0))) {
            in.Error(kIllegalParameterValue, "the format is ASCii or REAL,32");
            return;
        }
        in.binary_ = real;
    });
    t.emplace_back("FORMat[:DATA]?", 0, 0, [](Interpreter& in, const Command&) {
        in.Answer(in.binary_ ? "REAL,32" : "ASC");
    });
    t.emplace_back("FORMat:BORDer", 1, 1, [](Interpreter& in, const Command& c) {
        const Parameter& p = c.parameters[0];
        const bool word = p.kind == Parameter::Kind::Word;
        if (word && MnemonicMatches("NORMal", p.text)) {
            in.swapped_ = false;
        } else if (word && MnemonicMatches("SWAPped", p.text)) {
            in.swapped_ = true;
        } else {
            in.Error(kIllegalParameterValue, "the byte order is NORMal or SWAPped");
        }
    });
    t.emplace_back("FORMat:BORDer?", 0, 0, [](Interpreter& in, const Command&) {
        in.Answer(in.swapped_ ? "SWAP" : "NORM");
    });
}

void Interpreter::AddMeasuring(Table& t) {
    t.emplace_back("INITiate[:IMMediate]", 0, 0, [](Interpreter& in, const Command&) {
        in.Exchange([&in](const Measurement& m) { in.Take(m); });
    });
    for (const Quantity& q : kQuantities) {
        const auto answer = [&q](Interpreter& in) {
            in.Answer(in.Numbers(q.values(in.last_->working), q.floats));
        };
        t.emplace_back(Header("FETCh", q.header), 0, 0, [answer](Interpreter& in, const Command&) {
            if (!in.last_) {
                in.Error(kDataCorruptOrStale, "nothing was measured yet");
            } else {
                answer(in);
            }
        });
        for (const char* action : {"READ", "MEASure"}) {
            t.emplace_back(Header(action, q.header), 0, 0,
                           [answer](Interpreter& in, const Command&) {
                               in.Exchange([&in, answer](const Measurement& m) {
                                   if (in.Take(m)) {
                                       answer(in);
                                   }
                               });
                           });
        }
    }
}

void Interpreter::AddMark(Table& t) {
    using Field = std::string ProductMark::*;
    const std::pair<const char*, Field> fields[] = {
        {"MARK:MANufacturer", &ProductMark::Manufacturer},
        {"MARK:TYPE", &ProductMark::Type},
        {"MARK:TEMPerature", &ProductMark::Temperature},
        {"MARK:HUMidity", &ProductMark::Humidity},
        {"MARK:OPERator", &ProductMark::Operator},
        {"MARK:INSPector", &ProductMark::Inspector},
        {"MARK:TESTday", &ProductMark::Testday}};
    for (const auto& named : fields) {
        const char* header = named.first;
        const Field field = named.second;  // a lambda captures no structured binding in clang 15
        t.emplace_back(header, 1, 1, [field](Interpreter& in, const Command& c) {
            const Parameter& p = c.parameters[0];
            if (p.kind != Parameter::Kind::String) {
                in.Error(kDataTypeError, "a quoted string");
            } else if (p.text.size() > kMaxMarkText) {
                in.Error(kTooMuchData, "at most 255 bytes");
            } else if (!IsUtf8Text(p.text)) {
                in.Error(kInvalidStringData, "UTF-8 text without control characters");
            } else {
                ProductMark mark = in.station_.Mark();
                mark.*field = p.text;
                in.station_.SetMark(mark);
            }
        });
        t.emplace_back(Header(header, ""), 0, 0, [field](Interpreter& in, const Command&) {
            in.Answer(Quoted(in.station_.Mark().*field));
        });
    }
    t.emplace_back("MARK:NUMBer", 1, 1, [](Interpreter& in, const Command& c) {
        const auto error = [&in](int code) { in.Error(code); };
        if (const auto n = WholeNumber(c.parameters[0], std::numeric_limits<std::int32_t>::min(),
                                       std::numeric_limits<std::int32_t>::max(), error)) {
            ProductMark mark = in.station_.Mark();
            mark.Number = static_cast<std::int32_t>(*n);
            in.station_.SetMark(mark);
        }
    });
    t.emplace_back("MARK:NUMBer?", 0, 0, [](Interpreter& in, const Command&) {
        in.Answer(std::to_string(in.station_.Mark().Number));
    });
    t.emplace_back("MARK:NUMBer:STEP", 0, 0,
                   [](Interpreter& in, const Command&) { in.station_.StepNumber(); });
}

void Interpreter::AddLimits(Table& t) {
    t.emplace_back("CALCulate:LIMit:PLAN", 1, 1, [](Interpreter& in, const Command& c) {
        const Parameter& p = c.parameters[0];
        if (p.kind != Parameter::Kind::String) {
            in.Error(kDataTypeError, "a plan's name in quotes");
        } else if (!IsUtf8Text(p.text) || p.text.find('/') != std::string::npos) {
            in.Error(kInvalidStringData, "a plan's name, not a path");
        } else if (const auto refusal = in.station_.SetPlan(p.text)) {
            in.Error(kDataOutOfRange, *refusal);
        }
    });
    t.emplace_back("CALCulate:LIMit:PLAN?", 0, 0,
                   [](Interpreter& in, const Command&) { in.Answer(Quoted(in.station_.Plan())); });
    t.emplace_back("CALCulate:LIMit:FAIL?", 0, 0, [](Interpreter& in, const Command&) {
        if (!in.last_) {
            in.Error(kDataCorruptOrStale, "nothing was measured yet");
        } else {
            in.Answer(in.last_->pass && !*in.last_->pass ? "1" : "0");
        }
    });
    t.emplace_back("CALCulate:LIMit:CHECks?", 0, 0, [](Interpreter& in, const Command&) {
        if (!in.last_) {
            in.Error(kDataCorruptOrStale, "nothing was measured yet");
            return;
        }
        std::string list;
        for (const std::string& check : in.last_->failedChecks) {
            if (!list.empty()) {
                list += ',';
            }
            list += Quoted(check);
        }
        in.Answer(list.empty() ? "\"\"" : list);
    });
    t.emplace_back("MMEMory:STORe:STATe", 1, 1, [](Interpreter& in, const Command& c) {
        if (const auto on = Boolean(c.parameters[0])) {
            in.station_.SetStoring(*on);
        } else {
            in.Error(kIllegalParameterValue, "ON, OFF, 1 or 0");
        }
    });
    t.emplace_back("MMEMory:STORe:STATe?", 0, 0, [](Interpreter& in, const Command&) {
        in.Answer(in.station_.Storing() ? "1" : "0");
    });
}

}  // namespace zx840::scpi
