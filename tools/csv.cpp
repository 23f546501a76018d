#include "tools/csv.h"

#include <charconv>
#include <system_error>

namespace zx840 {
namespace {

void AppendField(std::string& line, std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        line += text;
        return;
    }
    line += '"';
    for (const char c : text) {
        if (c == '"') {
            line += '"';
        }
        line += c;
    }
    line += '"';
}

}  // namespace

void CsvRow::Separate() {
    if (!first_) {
        line_ += ',';
    }
    first_ = false;
}

CsvRow& CsvRow::Text(std::string_view text) {
    Separate();
    AppendField(line_, text);
    return *this;
}

CsvRow& CsvRow::Float(float value) {
    Separate();
    // std::to_chars never looks at the locale, and without a precision it
    // gives the shortest digits that round-trip to exactly this float.
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec == std::errc{}) {
        line_.append(buffer, end);
    }
    return *this;
}

CsvRow& CsvRow::Int(std::int64_t value) {
    Separate();
    char buffer[24];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec == std::errc{}) {
        line_.append(buffer, end);
    }
    return *this;
}

CsvRow& CsvRow::Empty(int count) {
    for (int i = 0; i < count; ++i) {
        Separate();
    }
    return *this;
}

std::string CsvField(std::string_view text) {
    std::string field;
    AppendField(field, text);
    return field;
}

}  // namespace zx840
