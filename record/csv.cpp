#include "record/csv.h"

#include <algorithm>
#include <charconv>
#include <system_error>

#include "record/archive.h"
#include "record/record_json.h"

namespace zx840 {
namespace {

// C0 control characters other than TAB, CR and LF: NUL, ESC and the like
// mean nothing in a cell and may act on a terminal or a reader.
bool IsDropped(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 && c != '\t' && c != '\r' && c != '\n';
}

// A spreadsheet takes a cell that begins with one of these for a formula.
bool StartsLikeAFormula(std::string_view text) {
    return !text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos;
}

// The text as it goes into a cell: valid UTF-8 without control characters,
// and a leading single quote where a spreadsheet would run it as a formula.
std::string_view CellText(std::string_view text, std::string& buffer) {
    const bool clean = std::none_of(text.begin(), text.end(), IsDropped) && IsValidUtf8(text);
    if (clean && !StartsLikeAFormula(text)) {
        return text;
    }
    buffer.clear();
    for (const char c : text) {
        if (!IsDropped(c)) {
            buffer += c;
        }
    }
    buffer = ToValidUtf8(buffer);
    if (StartsLikeAFormula(buffer)) {
        buffer.insert(buffer.begin(), '\'');
    }
    return buffer;
}

void AppendField(std::string& line, std::string_view raw) {
    std::string buffer;
    const std::string_view text = CellText(raw, buffer);
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

CsvRow& CsvRow::Double(double value) {
    Separate();
    line_ += ShortestDouble(value);
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
