// The command line of `zx840-cli acquire`: one table of its options drives
// both the parser and the help text.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "record/defaults.h"
#include "record/product_mark.h"
#include "tools/argument_parser.h"
#include "tools/cli_command.h"

namespace zx840 {

struct AcquireOptions {
    std::string port = kDefaultComPort;
    std::int32_t baud = kDefaultBaudRate;
    std::int64_t count = 1;          // acquisitions in the run, when not continuous
    bool continuous = false;         // until interrupted
    std::optional<double> duration;  // seconds the run may take, whichever ends first
    bool untilFail = false;          // the run ends at the first FAIL verdict
    std::string summaryJson;         // the run's summary as one JSON object
    bool stopOnError = false;
    bool text = false;
    bool quiet = false;
    std::string log;      // CSV file, one row per acquisition; "-": standard output
    std::string save;     // one test file, rewritten by each good acquisition
    std::string saveDir;  // one test file per good acquisition
    std::string pdfDir;   // one report per good acquisition
    std::string plan;     // a test plan that judges each good acquisition
    std::string db;       // the results store's URL; empty: ZX840_DB, else none
    std::string station;  // the station stored results name; empty: the default
    ProductMark mark;     // the test day is set at each acquisition
    bool stepNumber = false;

    // A run that only a signal ends (or, with --until-fail, a FAIL): Ctrl+C
    // is its ordinary end, not an interruption.
    bool Endless() const { return continuous || (untilFail && !duration && count == kNoCount); }
    // The count of a run that --duration or --until-fail ends without --count.
    static constexpr std::int64_t kNoCount = INT64_MAX;
};

// What reading one command line builds up.
struct AcquireParseState {
    AcquireOptions options;
    std::string markFile;  // --mark, read once every option is known
    bool counted = false;  // --count was given
};

// When an option takes effect: as it is read, or after the --mark file, in
// the order given (the product information, which overrides that file).
enum class OptionStage { AsRead, AfterMark };

// Whether an empty value means something: an empty text of the product
// information does, an empty file, store, plan or port name never does
// (it would turn the feature off without a word).
enum class EmptyValue { Allowed, Refused };

struct AcquireOption {
    std::string_view name;   // with its dashes: "--port"
    std::string_view value;  // the value as the help names it ("NAME"); empty for a switch
    // One paragraph for --help, wrapped to fit; "\n" breaks a line. Empty: the next option's
    // paragraph covers this one too, and the help lists them together.
    std::string_view help;
    OptionStage stage;
    // Applies the value ("" for a switch). False with `problem` set on a
    // usage error.
    bool (*apply)(AcquireParseState& state, const std::string& value, std::string* problem);
    EmptyValue empty = EmptyValue::Allowed;

    constexpr bool TakesValue() const { return !value.empty(); }
};

// Every option of `acquire`, in the order the help lists them.
std::span<const AcquireOption> AcquireOptionTable();
// The same as the command line's parser reads them.
std::span<const OptionDeclaration> AcquireOptionDeclarations();
// The option of that name (with its dashes), or nullptr.
const AcquireOption* FindAcquireOption(std::string_view name);
// The options as --help lists them: one or more lines each, at most 80
// columns, the paragraphs from column 24.
std::string AcquireOptionsHelp();

// The options of "acquire" its command line gave. The product information
// comes from --mark first, then from the single fields, whatever their
// order. Nothing on a mistake or a --mark file that cannot be used, said on
// the call's `err`, with `status` set.
std::optional<AcquireOptions> ReadAcquireOptions(const CommandCall& call, int* status);

// Product information from a file: a test file (recognised by its
// signature, and then it must be whole) gives its product information; any
// other file must be a settings file whose nine fields are all there and
// nothing after them. The test day is not taken. False with `error` set
// when the file cannot be read, the test file is damaged, or the file is
// neither kind.
bool ReadMarkFile(const std::string& path, ProductMark& mark, std::string* error);

}  // namespace zx840
