// The command line of `zx840-cli acquire`.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "record/defaults.h"
#include "record/product_mark.h"

namespace zx840 {

struct AcquireOptions {
    std::string port = kDefaultComPort;
    std::int32_t baud = kDefaultBaudRate;
    std::int64_t count = 1;   // acquisitions in the run, when not continuous
    bool continuous = false;  // until interrupted
    bool stopOnError = false;
    bool text = false;
    bool quiet = false;
    std::string log;      // CSV file, one row per acquisition
    std::string save;     // one test file, rewritten by each good acquisition
    std::string saveDir;  // one test file per good acquisition
    std::string pdfDir;   // one report per good acquisition
    ProductMark mark;     // the test day is set at each acquisition
    bool stepNumber = false;
};

// Reads the arguments after "acquire". The product information comes from
// --mark first, then from the single fields, whatever their order. On a
// mistake it says so on `err` and gives the exit status instead.
std::optional<AcquireOptions> ParseAcquireOptions(const std::vector<std::string>& args,
                                                  std::ostream& err, int* status);

// Product information from a file: a test file (recognised by its
// signature, and then it must be whole) gives its product information; any
// other file is read as a settings file, whose fields missing at its end
// keep their defaults. The test day is not taken. False with `error` set
// when the file cannot be read or the test file is damaged.
bool ReadMarkFile(const std::string& path, ProductMark& mark, std::string* error);

}  // namespace zx840
