// The command-line conventions of zx840-cli and zx840-meter-sim, read by
// CLI11: --opt value and --opt=value, -h and --help, "--" ending the
// options, "-" as an ordinary value. The parser only reads the syntax; the
// programs check the values themselves, so every message about a value is
// their own.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zx840 {

class ArgumentParser {
  public:
    ArgumentParser();
    ~ArgumentParser();
    ArgumentParser(const ArgumentParser&) = delete;
    ArgumentParser& operator=(const ArgumentParser&) = delete;

    // An option that takes one value: "--port". It may be given more than
    // once; each value is kept, in order.
    void Value(std::string_view name);
    // An option whose value names a file, a folder, a store, a plan or a
    // port: as Value, but an empty value is a mistake ("--plan ''" with an
    // unset variable must not silently judge nothing).
    void Path(std::string_view name);
    // An option without a value: "--quiet", or with a short form: "-V,--version".
    void Switch(std::string_view names);
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
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::vector<std::pair<std::string, std::string>> options_;
    std::vector<std::string> positionals_;
    std::vector<std::string> paths_;  // the options that refuse an empty value
    std::string problem_;
};

}  // namespace zx840
