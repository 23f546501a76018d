#include "tools/argument_parser.h"

#include <algorithm>

namespace zx840 {
namespace {

// What may follow the dashes of an option's name: "---x", "-- x" and "-!"
// are ordinary arguments.
bool CanStartName(char c) {
    return c != '-' && c != '!' && c != ' ' && c != '\n';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

void KeepFirst(std::string& slot, const std::string& text) {
    if (slot.empty()) {
        slot = text;
    }
}

}  // namespace

ArgumentParser::ArgumentParser() {
    Switch("-h,--help");
}

void ArgumentParser::Value(std::string_view name) {
    declared_.push_back({std::string(name), '\0', OptionKind::Value});
}

void ArgumentParser::Path(std::string_view name) {
    declared_.push_back({std::string(name), '\0', OptionKind::Path});
}

void ArgumentParser::Switch(std::string_view names) {
    Declared option{std::string(names), '\0', OptionKind::Switch};
    if (const std::size_t comma = names.find(','); comma != std::string_view::npos) {
        option.shortName = names[1];  // "-V,--version"
        option.longName = names.substr(comma + 1);
    }
    declared_.push_back(std::move(option));
}

void ArgumentParser::Declare(std::span<const OptionDeclaration> options) {
    for (const OptionDeclaration& option : options) {
        switch (option.kind) {
            case OptionKind::Switch:
                Switch(option.name);
                break;
            case OptionKind::Value:
                Value(option.name);
                break;
            case OptionKind::Path:
                Path(option.name);
                break;
        }
    }
}

void ArgumentParser::TakePositionals() {
    takesPositionals_ = true;
}

bool ArgumentParser::Given(std::string_view name) const {
    return std::any_of(options_.begin(), options_.end(),
                       [name](const auto& option) { return option.first == name; });
}

const ArgumentParser::Declared* ArgumentParser::Find(std::string_view longName) const {
    const auto found =
        std::find_if(declared_.begin(), declared_.end(),
                     [longName](const Declared& d) { return d.longName == longName; });
    return found == declared_.end() ? nullptr : &*found;
}

const ArgumentParser::Declared* ArgumentParser::FindShort(char name) const {
    const auto found = std::find_if(declared_.begin(), declared_.end(),
                                    [name](const Declared& d) { return d.shortName == name; });
    return found == declared_.end() ? nullptr : &*found;
}

ArgumentParser::Outcome ArgumentParser::Parse(const std::vector<std::string>& args) {
    options_.clear();
    positionals_.clear();
    problem_.clear();
    Reading reading{args, 0, {}, {}};
    while (reading.next < args.size()) {
        const std::string& arg = args[reading.next++];
        if (arg == "--") {
            // What follows is no option, whatever it looks like.
            for (; reading.next < args.size(); ++reading.next) {
                Operand(reading, args[reading.next]);
            }
            break;
        }
        ReadArgument(reading, arg);
    }
    return Conclude(reading);
}

void ArgumentParser::ReadArgument(Reading& reading, std::string arg) {
    // "-Vh" is -V and -h; from a letter that is no switch on, the rest is
    // read as an argument of its own ("-Vx": -V, then "-x").
    while (true) {
        if (arg.size() > 2 && arg.starts_with("--") && CanStartName(arg[2])) {
            ReadLong(reading, arg);
            return;
        }
        // "-", "-5" and "-!" are no options.
        if (arg.size() < 2 || arg[0] != '-' || !CanStartName(arg[1]) ||
            (IsDigit(arg[1]) && FindShort(arg[1]) == nullptr)) {
            Operand(reading, arg);
            return;
        }
        const Declared* option = FindShort(arg[1]);
        if (option == nullptr) {
            KeepFirst(reading.unknown, arg);
            return;
        }
        options_.emplace_back(option->longName, std::string());
        if (arg.size() == 2) {
            return;
        }
        arg.erase(1, 1);
    }
}

void ArgumentParser::ReadLong(Reading& reading, const std::string& arg) {
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const Declared* option = Find(name);
    if (option == nullptr) {
        KeepFirst(reading.unknown, arg);
        return;
    }
    if (option->kind == OptionKind::Switch) {
        if (equals != std::string::npos) {
            KeepFirst(reading.syntax, name + " takes no value");
        }
        options_.emplace_back(name, std::string());  // so that --help=x is still help
        return;
    }
    if (equals != std::string::npos) {
        options_.emplace_back(name, arg.substr(equals + 1));  // "--type=" is an empty value
    } else if (reading.next < reading.args.size()) {
        // The next argument is the value, whatever it looks like: "--type -rf".
        options_.emplace_back(name, reading.args[reading.next++]);
    } else {
        KeepFirst(reading.syntax, name + " needs a value");
    }
}

void ArgumentParser::Operand(Reading& reading, const std::string& arg) {
    if (takesPositionals_) {
        positionals_.push_back(arg);
    } else {
        KeepFirst(reading.unknown, arg);
    }
}

ArgumentParser::Outcome ArgumentParser::Conclude(const Reading& reading) {
    // Help wins over any mistake: it tells how to write the command right.
    Outcome outcome = Outcome::Help;
    if (!Given("--help")) {
        problem_ = ProblemOf(reading);
        outcome = problem_.empty() ? Outcome::Parsed : Outcome::Mistake;
    }
    if (outcome != Outcome::Parsed) {
        options_.clear();
        positionals_.clear();
    }
    return outcome;
}

std::string ArgumentParser::ProblemOf(const Reading& reading) const {
    if (!reading.syntax.empty()) {
        return reading.syntax;
    }
    if (!reading.unknown.empty()) {
        std::string problem = "unknown argument \"";
        problem += reading.unknown;
        problem += '"';
        return problem;
    }
    for (const auto& [name, value] : options_) {
        if (value.empty() && Find(name)->kind == OptionKind::Path) {
            return name + " needs a value: an empty one names nothing";
        }
    }
    return {};
}

}  // namespace zx840
