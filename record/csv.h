// Comma-separated values as every spreadsheet and script reads them: a
// comma between fields, CRLF after each record, text quoted only where it
// has to be (RFC 4180), numbers with "." as the decimal mark whatever the
// locale. Text never becomes a formula in a spreadsheet: a cell that
// begins with =, +, -, @, TAB or CR gets a leading single quote. Numbers are
// written as numbers, so a negative reading stays a number.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zx840 {

// One record, appended to a caller's string so a batch can reuse the
// string's buffer.
class CsvRow {
  public:
    explicit CsvRow(std::string& line) : line_(line) {}

    // As it stands, or in double quotes with each quote doubled when it
    // holds a comma, a double quote, a CR or an LF. Control characters other
    // than TAB, CR and LF are dropped, bytes that are not UTF-8 become
    // U+FFFD, and a text a spreadsheet would run as a formula (beginning
    // with =, +, -, @, TAB or CR) gets a leading single quote.
    CsvRow& Text(std::string_view text);
    // The shortest text that reads back as the same float ("nan", "inf" and
    // "-inf" for those values).
    CsvRow& Float(float value);
    // The shortest text that reads back as the same double.
    CsvRow& Double(double value);
    CsvRow& Int(std::int64_t value);
    // `count` empty fields.
    CsvRow& Empty(int count = 1);
    // Ends the record with CRLF.
    void End() { line_ += "\r\n"; }

  private:
    void Separate();

    std::string& line_;
    bool first_ = true;
};

// `text` as one CSV field (see CsvRow::Text).
std::string CsvField(std::string_view text);

}  // namespace zx840
