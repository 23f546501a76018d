#include "tools/acquire_options.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <span>
#include <utility>

#include "record/archive.h"
#include "record/file_io.h"
#include "record/mark_number.h"
#include "record/settings_file.h"
#include "record/test_file.h"
#include "tools/cli.h"
#include "tools/cli_common.h"

namespace zx840 {
namespace {

// The options that take a value.
constexpr const char* kValued[] = {
    "--port",     "--baud",     "--count",     "--log",          "--save",
    "--save-dir", "--pdf-dir",  "--mark",      "--manufacturer", "--type",
    "--number",   "--operator", "--inspector", "--temperature",  "--humidity",
};

bool TakesValue(const std::string& arg) {
    for (const char* name : kValued) {
        if (arg == name) {
            return true;
        }
    }
    return false;
}

bool StartsWithTestSignature(std::span<const std::uint8_t> bytes) {
    std::vector<std::uint8_t> signature;
    WriteArchiveString(signature, kTestFileSignature);
    return bytes.size() >= signature.size() &&
           std::memcmp(bytes.data(), signature.data(), signature.size()) == 0;
}

}  // namespace

bool ReadMarkFile(const std::string& path, ProductMark& mark, std::string* error) {
    std::vector<std::uint8_t> bytes;
    if (const FileStatus status = ReadWholeFile(path, bytes); !status) {
        *error =
            "cannot read the product information from " + path + ": " +
            (status.sysErrno == EFBIG ? std::string(kUnexpectedFileFormat) : status.Describe());
        return false;
    }
    if (StartsWithTestSignature(bytes)) {
        const auto test = ParseTest(bytes);
        if (!test) {
            *error = path + ": " + kUnexpectedFileFormat;
            return false;
        }
        const std::string testday = mark.Testday;
        mark = test->Mark;
        mark.Testday = testday;
        return true;
    }
    const Settings settings = ParseSettings(bytes);
    mark.Manufacturer = settings.Manufacturer;
    mark.Type = settings.Type;
    mark.Number = settings.Number;
    mark.Temperature = settings.Temperature;
    mark.Humidity = settings.Humidity;
    mark.Operator = settings.Operator;
    mark.Inspector = settings.Inspector;
    return true;
}

std::optional<AcquireOptions> ParseAcquireOptions(const std::vector<std::string>& args,
                                                  std::ostream& err, int* status) {
    AcquireOptions options;
    *status = kCliUsage;
    const auto usage = [&](const std::string& problem) {
        Usage(err, problem);
        return std::nullopt;
    };
    std::string markFile;
    std::vector<std::pair<std::string, std::string>> fields;  // in the order given
    bool counted = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--text") {
            options.text = true;
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--continuous") {
            options.continuous = true;
        } else if (arg == "--stop-on-error") {
            options.stopOnError = true;
        } else if (arg == "--step-number") {
            options.stepNumber = true;
        } else if (!TakesValue(arg)) {
            return usage("unknown argument \"" + arg + "\"");
        } else if (i + 1 >= args.size()) {
            return usage(arg + " needs a value");
        } else {
            const std::string& value = args[++i];
            if (arg == "--port") {
                options.port = value;
            } else if (arg == "--baud") {
                if (value != "2400" && value != "9600") {
                    return usage("the speed must be 2400 or 9600, not \"" + value + "\"");
                }
                options.baud = value == "2400" ? 2400 : 9600;
            } else if (arg == "--count") {
                std::int64_t count = 0;
                const auto [end, ec] =
                    std::from_chars(value.data(), value.data() + value.size(), count);
                if (ec != std::errc{} || end != value.data() + value.size() || count < 1) {
                    return usage("the count must be a whole number from 1, not \"" + value + "\"");
                }
                options.count = count;
                counted = true;
            } else if (arg == "--log") {
                options.log = value;
            } else if (arg == "--save") {
                options.save = value;
            } else if (arg == "--save-dir") {
                options.saveDir = value;
            } else if (arg == "--pdf-dir") {
                options.pdfDir = value;
            } else if (arg == "--mark") {
                markFile = value;
            } else {
                fields.emplace_back(arg, value);
            }
        }
    }
    if (counted && options.continuous) {
        return usage("--count and --continuous exclude each other");
    }
    if (!markFile.empty()) {
        std::string error;
        if (!ReadMarkFile(markFile, options.mark, &error)) {
            err << "zx840-cli: " << error << "\n";
            *status = kCliFileError;
            return std::nullopt;
        }
    }
    ProductMark& mark = options.mark;
    for (const auto& [name, value] : fields) {
        if (name == "--number") {
            // The rules of the Mark dialog's Number field.
            const NumberResult number = CheckMarkNumber(value);
            if (number.check != NumberCheck::Ok) {
                return usage(std::string("--number \"") + value + "\": " +
                             (number.check == NumberCheck::NotInteger ? kNotIntegerMessage
                                                                      : kNumberRangeMessage));
            }
            mark.Number = number.value;
        } else if (name == "--manufacturer") {
            mark.Manufacturer = value;
        } else if (name == "--type") {
            mark.Type = value;
        } else if (name == "--operator") {
            mark.Operator = value;
        } else if (name == "--inspector") {
            mark.Inspector = value;
        } else if (name == "--temperature") {
            mark.Temperature = value;
        } else if (name == "--humidity") {
            mark.Humidity = value;
        }
    }
    *status = kCliOk;
    return options;
}

}  // namespace zx840
