// CSV as the tool writes it, also under a locale whose decimal mark is a comma.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <locale>

#include "record/archive.h"
#include "record/csv.h"
#include "tests/test_cli_support.h"
#include "tools/acquisition_log.h"
#include "tools/record_csv.h"

namespace zx840 {
namespace {

using testing::ParseCsv;
using testing::ParseFloat;
using GermanLocale = testing::GermanLocale;

TEST_F(GermanLocale, FieldsAreQuotedOnlyWhenNeededAndNumbersReadBackExactly) {
    const std::vector<std::string> texts{"plain",        "",         "a,b",    "say \"hi\"",
                                         "two\r\nlines", "lf\nonly", "Müller", " spaced "};
    const std::vector<float> floats{
        0.0f,        -0.0f,         0.1f,    1.0f / 3.0f, 230.0f,
        -1234567.9f, 16777217.0f,   FLT_MAX, FLT_MIN,     std::numeric_limits<float>::denorm_min(),
        6000.0024f,  1.6018314e-12f};
    std::string csv;
    CsvRow row(csv);
    for (const std::string& text : texts) {
        row.Text(text);
    }
    for (const float value : floats) {
        row.Float(value);
    }
    row.Int(2147483647).Int(-2147483648LL).Empty(2);
    row.End();
    EXPECT_EQ(csv.rfind("plain,,\"a,b\",\"say \"\"hi\"\"\",\"two\r\nlines\",\"lf\nonly\",Müller, "
                        "spaced ,0,-0,0.1,",
                        0),
              0u)
        << csv;

    const testing::CsvRecords records = ParseCsv(csv);
    ASSERT_EQ(records.size(), 1u);
    const std::vector<std::string>& fields = records[0];
    ASSERT_EQ(fields.size(), texts.size() + floats.size() + 4);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(fields[i], texts[i]);
    }
    for (std::size_t i = 0; i < floats.size(); ++i) {
        const std::string& field = fields[texts.size() + i];
        const float back = ParseFloat(field);
        EXPECT_EQ(std::memcmp(&back, &floats[i], sizeof back), 0) << field;
        EXPECT_EQ(field.find(','), std::string::npos);
    }
    // No thousands separators either.
    EXPECT_EQ(fields[texts.size() + floats.size()], "2147483647");
    EXPECT_EQ(fields[texts.size() + floats.size() + 1], "-2147483648");
    EXPECT_EQ(fields.back(), "");

    // Values a float cannot hold as a number keep their C names.
    std::string special;
    CsvRow(special).Float(std::numeric_limits<float>::infinity()).Float(-HUGE_VALF).Float(NAN);
    EXPECT_EQ(special, "inf,-inf,nan");
}

TEST_F(GermanLocale, LogRowsMatchTheirHeaderAndCarryTheReadings) {
    WorkingRecord working;
    working.Record.Urms = 229.87f;
    working.Record.Ucf = 1.4142f;
    working.Record.Irms = 0.4567f;
    working.Record.Icf = 2.5f;
    working.Record.Uthd = 3.0f;
    working.Record.USpec[0] = 7.0f;
    working.Record.Ithd = 1.0f;  // no current fundamental: 0 %
    working.Angles = {91.40625f, 120.9375f, 180.0f};
    ProductMark mark;
    mark.Type = "PSU, 12 V";
    mark.Operator = "Jörg \"J\" Weiß";
    mark.Number = 2147483647;

    const std::string header = LogHeaderRow();
    LogEntry good{1'700'000'000, "COM3", 2400, mark, AcquireFailure::None, {}, &working};
    LogEntry failed{1'700'000'001,
                    "COM3",
                    2400,
                    mark,
                    AcquireFailure::BadReply,
                    "COM3 (/dev/ttyS2): 0 bytes received",
                    nullptr};
    const testing::CsvRecords records = ParseCsv(header + LogRow(good) + LogRow(failed));
    ASSERT_EQ(records.size(), 3u);
    const auto& names = records[0];
    EXPECT_EQ(records[1].size(), names.size());
    EXPECT_EQ(records[2].size(), names.size());
    const auto field = [&](std::size_t row, const std::string& name) {
        return records[row][testing::Column(names, name)];
    };
    EXPECT_EQ(field(1, "Type"), "PSU, 12 V");
    EXPECT_EQ(field(1, "Operator"), "Jörg \"J\" Weiß");
    EXPECT_EQ(field(1, "Number"), "2147483647");
    EXPECT_EQ(field(1, "Baud"), "2400");
    EXPECT_EQ(field(1, "Result"), "OK");
    EXPECT_EQ(field(1, "Message"), "");
    EXPECT_EQ(ParseFloat(field(1, "Urms")), 229.87f);
    EXPECT_EQ(ParseFloat(field(1, "Upeak")),
              static_cast<float>(static_cast<double>(229.87f) * static_cast<double>(1.4142f)));
    EXPECT_EQ(ParseFloat(field(1, "Ipeak")), static_cast<float>(0.4567f * 2.5));
    EXPECT_EQ(ParseFloat(field(1, "UthdPercent")), static_cast<float>(3.0 * 100.0 / 7.0));
    EXPECT_EQ(ParseFloat(field(1, "IthdPercent")), 0.0f);
    EXPECT_EQ(ParseFloat(field(1, "PeakAngle")), 120.9375f);

    // A failure: the operator message on one line, no readings.
    EXPECT_EQ(field(2, "Result"), "FAILED");
    EXPECT_EQ(field(2, "Message"),
              "Communication failed!Please check: 1.The communication port; "
              "2.The communication cable; 3.The power.");
    EXPECT_EQ(field(2, "Detail"), "COM3 (/dev/ttyS2): 0 bytes received");
    EXPECT_EQ(field(2, "Urms"), "");
    EXPECT_EQ(field(2, "EndAngle"), "");
}

// A cell a spreadsheet would take for a formula starts with a quote; control
// characters a terminal or a spreadsheet would act on are dropped. Numbers,
// negative ones too, stay numbers, and CR/LF inside a text stay quoted text.
TEST(CsvRow, TextThatASpreadsheetWouldRunIsNeutralisedAndNumbersStayNumbers) {
    using namespace std::string_literals;
    const std::vector<std::pair<std::string, std::string>> cells{
        {"=HYPERLINK(\"http://evil/\",\"click\")", "'=HYPERLINK(\"http://evil/\",\"click\")"},
        {"+1", "'+1"},
        {"-x", "'-x"},
        {"@a", "'@a"},
        {"\tcmd", "'\tcmd"},
        {"\rcmd", "'\rcmd"},
        {"a\0b"s, "ab"},
        {"\x1b[31mred", "[31mred"},
        {"\0=1+2"s, "'=1+2"},
        {"bell\a and \x7f", "bell and \x7f"},
        {"two\r\nlines", "two\r\nlines"},
        {"1-2=3", "1-2=3"},
        {" =spaced", " =spaced"}};
    std::string csv;
    CsvRow row(csv);
    for (const auto& [text, expected] : cells) {
        row.Text(text);
    }
    row.Float(-230.5f).Int(-7).Float(-0.0f);
    row.End();
    EXPECT_EQ(csv.find('\0'), std::string::npos);
    EXPECT_EQ(csv.find('\x1b'), std::string::npos);
    EXPECT_EQ(csv.find('\a'), std::string::npos);
    const testing::CsvRecords records = ParseCsv(csv);
    ASSERT_EQ(records.size(), 1u);
    ASSERT_EQ(records[0].size(), cells.size() + 3);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        EXPECT_EQ(records[0][i], cells[i].second) << i;
    }
    EXPECT_EQ(records[0][cells.size()], "-230.5");
    EXPECT_EQ(records[0][cells.size() + 1], "-7");
    EXPECT_EQ(records[0][cells.size() + 2], "-0");
    EXPECT_EQ(CsvField("-rf"), "'-rf");

    // The same in a log row: product information from the command line.
    ProductMark mark;
    mark.Type = "=cmd|'/c calc'!A1";
    mark.Operator = "@SUM(1+1)";
    const LogEntry entry{1'700'000'000, "COM1", 9600, mark, AcquireFailure::None, {}, nullptr};
    const testing::CsvRecords log = ParseCsv(LogHeaderRow() + LogRow(entry));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1][testing::Column(log[0], "Type")], "'=cmd|'/c calc'!A1");
    EXPECT_EQ(log[1][testing::Column(log[0], "Operator")], "'@SUM(1+1)");
}

// Bytes that are not UTF-8 (from a command line, a file name) never reach a
// CSV file raw: each broken sequence becomes U+FFFD.
TEST(CsvRow, InvalidUtf8BecomesReplacementCharacters) {
    std::string csv;
    CsvRow(csv).Text("Bob\xff").Text("\xc3").Text("M\xc3\xbcller").Text("\xe2\x82 x");
    EXPECT_EQ(csv, "Bob\xef\xbf\xbd,\xef\xbf\xbd,M\xc3\xbcller,\xef\xbf\xbd x");
    EXPECT_TRUE(IsValidUtf8(csv));
}

TEST(LocalTimestamp, IsIso8601WithTheOffsetOfTheLocalZone) {
    const char* saved = std::getenv("TZ");
    const std::string previous = saved != nullptr ? saved : "";
    const auto at = [](const char* zone, std::time_t time) {
        setenv("TZ", zone, 1);
        tzset();
        return LocalTimestamp(time);
    };
    const std::time_t winter = 1796734985;  // 2026-12-08T13:03:05Z
    const std::time_t summer = 1783515600;  // 2026-07-08T13:00:00Z
    EXPECT_EQ(at("CET-1CEST,M3.5.0,M10.5.0/3", winter), "2026-12-08T14:03:05+01:00");
    EXPECT_EQ(at("CET-1CEST,M3.5.0,M10.5.0/3", summer), "2026-07-08T15:00:00+02:00");
    EXPECT_EQ(at("EST5", winter), "2026-12-08T08:03:05-05:00");
    EXPECT_EQ(at("IST-5:30", winter), "2026-12-08T18:33:05+05:30");
    EXPECT_EQ(at("NPT-5:45", winter), "2026-12-08T18:48:05+05:45");
    EXPECT_EQ(at("UTC0", winter), "2026-12-08T13:03:05+00:00");
    if (saved != nullptr) {
        setenv("TZ", previous.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

}  // namespace
}  // namespace zx840
