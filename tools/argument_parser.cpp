#include "tools/argument_parser.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <map>

namespace zx840 {

struct ArgumentParser::Impl {
    CLI::App app;
    std::map<std::string, CLI::Option*, std::less<>> values;  // by long name
    std::map<std::string, CLI::Option*, std::less<>> switches;
    CLI::Option* positionalOption = nullptr;
    std::vector<std::string> positionals;
};

namespace {

// "--version" from "-V,--version".
std::string LongName(std::string_view names) {
    const std::size_t comma = names.rfind(',');
    return std::string(comma == std::string_view::npos ? names : names.substr(comma + 1));
}

}  // namespace

ArgumentParser::ArgumentParser() : impl_(std::make_unique<Impl>()) {
    // Unknown arguments are collected rather than thrown, so that the
    // message names them in our words; help is a switch like any other,
    // printed by the program.
    impl_->app.allow_extras();
    impl_->app.set_help_flag();
    Switch("-h,--help");
}

ArgumentParser::~ArgumentParser() = default;

void ArgumentParser::Value(std::string_view name) {
    CLI::Option* option = impl_->app.add_option(std::string(name));
    option->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    impl_->values.emplace(LongName(name), option);
}

void ArgumentParser::Path(std::string_view name) {
    Value(name);
    paths_.push_back(LongName(name));
}

void ArgumentParser::Switch(std::string_view names) {
    CLI::Option* option = impl_->app.add_flag(std::string(names));
    option->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    impl_->switches.emplace(LongName(names), option);
}

void ArgumentParser::TakePositionals() {
    impl_->positionalOption = impl_->app.add_option("positionals", impl_->positionals);
}

bool ArgumentParser::Given(std::string_view name) const {
    return std::any_of(options_.begin(), options_.end(),
                       [name](const auto& option) { return option.first == name; });
}

ArgumentParser::Outcome ArgumentParser::Parse(const std::vector<std::string>& args) {
    options_.clear();
    positionals_.clear();
    problem_.clear();
    // Two forms CLI11 reads otherwise than getopt does: "--opt=" gives an
    // empty value (CLI11 would take the next argument), and "--switch=x" is
    // a mistake (CLI11 would read x as true or false). The value after an
    // option that takes one is never looked at, whatever it looks like.
    std::vector<std::string> given;
    given.reserve(args.size() + 1);
    bool ended = false;  // a "--" ends the options
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            ended = true;
            given.insert(given.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
            break;
        }
        const std::size_t equals = arg.find('=');
        if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            const std::string name = arg.substr(0, equals);
            if (impl_->switches.count(name) > 0) {
                if (problem_.empty()) {
                    problem_ = name;
                    problem_ += " takes no value";
                }
                given.push_back(name);  // so that --help=x still counts as help
                continue;
            }
            if (impl_->values.count(name) > 0 && equals + 1 == arg.size()) {
                given.push_back(name);
                given.emplace_back();
                continue;
            }
        } else if (impl_->values.count(arg) > 0 && i + 1 < args.size()) {
            given.push_back(arg);
            given.push_back(args[++i]);
            continue;
        }
        given.push_back(arg);
    }
    std::reverse(given.begin(), given.end());  // CLI11 reads from the back
    try {
        impl_->app.parse(given);
    } catch (const CLI::ParseError& error) {
        // The one mistake CLI11 finds itself: an option without its value.
        const std::string what = error.what();
        for (const auto& [name, option] : impl_->values) {
            if (problem_.empty() && what.rfind(name + ":", 0) == 0) {
                problem_ = name;
                problem_ += " needs a value";
            }
        }
        if (problem_.empty()) {
            problem_ = what;
        }
    }
    if (impl_->switches.at("--help")->count() > 0) {
        return Outcome::Help;
    }
    if (!problem_.empty()) {
        return Outcome::Mistake;
    }
    std::vector<std::string> unknown = impl_->app.remaining();
    if (ended) {
        // CLI11 lists the "--" that ended the options among the leftovers.
        if (const auto mark = std::find(unknown.begin(), unknown.end(), "--");
            mark != unknown.end()) {
            unknown.erase(mark);
        }
    }
    if (!unknown.empty()) {
        problem_ = "unknown argument \"";
        problem_ += unknown.front();
        problem_ += "\"";
        return Outcome::Mistake;
    }
    // The options in the order given: the n-th time an option appears
    // holds its n-th value.
    std::map<const CLI::Option*, std::size_t> seen;
    for (const CLI::Option* option : impl_->app.parse_order()) {
        if (option == impl_->positionalOption) {
            continue;
        }
        const std::size_t index = seen[option]++;
        std::string value;
        if (option->get_items_expected_max() > 0 && index < option->results().size()) {
            value = option->results()[index];
        }
        options_.emplace_back("--" + option->get_lnames().front(), std::move(value));
    }
    for (const auto& [name, value] : options_) {
        if (value.empty() && std::find(paths_.begin(), paths_.end(), name) != paths_.end()) {
            problem_ = name + " needs a value: an empty one names nothing";
            options_.clear();
            return Outcome::Mistake;
        }
    }
    positionals_ = impl_->positionals;
    return Outcome::Parsed;
}

}  // namespace zx840
