// The command-line conventions of zx840-cli and zx840-meter-sim, as getopt
// reads them: --opt value and --opt=value, -h and --help, "--" ending the
// options, "-" as an ordinary value. The parser only reads the syntax; the
// programs check the values themselves, so every message about a value is
// their own.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zx840 {

enum class OptionKind {
    Switch,  // no value: "--quiet", or with a short form: "-V,--version"
    Value,   // one value each time it is given: "--port"
    // A value that names a file, a folder, a store, a plan or a port: an
    // empty one is a mistake ("--plan ''" with an unset variable must not
    // silently judge nothing).
    Path,
};

// One option a command line may hold.
struct OptionDeclaration {
    std::string_view name;  // with its dashes; a switch may have a short form first
    OptionKind kind;
};

class ArgumentParser {
  public:
    ArgumentParser();

    // An option that takes one value. It may be given more than once; each
    // value is kept, in order.
    void Value(std::string_view name);
    void Path(std::string_view name);
    void Switch(std::string_view names);
    void Declare(std::span<const OptionDeclaration> options);
    // Arguments that are not options (and every argument after "--") are
    // kept, in order; without this they are mistakes.
    void TakePositionals();

    enum class Outcome {
        Parsed,
        Help,     // -h or --help was given: the caller prints its help
        Mistake,  // Problem() says what is wrong
    };
    // Reads `args` (without the program or command name); once per parser.
    Outcome Parse(const std::vector<std::string>& args);

    // After Parse: the options in the order given, by their long name, with
    // their values ("" for a switch).
    const std::vector<std::pair<std::string, std::string>>& Options() const { return options_; }
    const std::vector<std::string>& Positionals() const { return positionals_; }
    bool Given(std::string_view name) const;
    const std::string& Problem() const { return problem_; }

  private:
    struct Declared {
        std::string longName;   // "--version"
        char shortName = '\0';  // 'V', for a switch
        OptionKind kind;
    };
    // What one reading has met so far.
    struct Reading {
        const std::vector<std::string>& args;
        std::size_t next = 0;  // the argument after the one being read
        std::string syntax;    // the first option without its value, or a switch with one
        std::string unknown;   // the first argument that is no option of this command
    };

    const Declared* Find(std::string_view longName) const;
    const Declared* FindShort(char name) const;
    void ReadArgument(Reading& reading, std::string arg);
    void ReadLong(Reading& reading, const std::string& arg);
    void Operand(Reading& reading, const std::string& arg);
    Outcome Conclude(const Reading& reading);
    std::string ProblemOf(const Reading& reading) const;

    std::vector<Declared> declared_;
    bool takesPositionals_ = false;
    std::vector<std::pair<std::string, std::string>> options_;
    std::vector<std::string> positionals_;
    std::string problem_;
};

}  // namespace zx840
