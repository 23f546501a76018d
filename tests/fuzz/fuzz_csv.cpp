// libFuzzer target for the CSV text cells, which carry product texts from
// files and the command line into spreadsheets:
// - the cell is valid UTF-8 without control characters other than TAB, CR
//   and LF, and those only inside quotes;
// - quoted cells double every quote inside them and nothing else ends them;
// - no cell can start a formula: the first character of its content is
//   never =, +, -, @, TAB or CR.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "record/archive.h"
#include "record/csv.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using zx840::fuzz::Check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string line;
    zx840::CsvRow(line).Text(input);
    Check(zx840::IsValidUtf8(line));

    std::string content;
    if (!line.empty() && line.front() == '"') {
        Check(line.size() >= 2 && line.back() == '"');
        for (std::size_t i = 1; i + 1 < line.size(); ++i) {
            if (line[i] == '"') {
                Check(i + 2 < line.size() && line[i + 1] == '"');
                ++i;
            }
            content += line[i];
        }
    } else {
        for (const char c : line) {
            Check(c != '"' && c != ',' && c != '\r' && c != '\n');
        }
        content = line;
    }
    for (const char c : content) {
        const auto byte = static_cast<unsigned char>(c);
        Check(byte >= 0x20 || c == '\t' || c == '\r' || c == '\n');
    }
    if (!content.empty()) {
        const char first = content.front();
        Check(first != '=' && first != '+' && first != '-' && first != '@' && first != '\t' &&
              first != '\r');
    }
    return 0;
}
