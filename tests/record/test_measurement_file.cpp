#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <random>

#include "record/archive.h"
#include "record/measurement_file.h"
#include "record/settings_file.h"

namespace zx840 {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Prefix(std::size_t length) {
    Bytes out;
    WriteArchiveString(out, std::string(length, 'a'));
    out.resize(out.size() - length);
    return out;
}

ProductMark FirstStartMark() {
    ProductMark mark;
    mark.Testday = "26-12-07";
    return mark;
}

TEST(ArchiveString, PrefixesFollowTheLength) {
    EXPECT_EQ(Prefix(0), (Bytes{0x00}));
    EXPECT_EQ(Prefix(254), (Bytes{0xFE}));
    EXPECT_EQ(Prefix(255), (Bytes{0xFF, 0xFF, 0x00}));
    EXPECT_EQ(Prefix(300), (Bytes{0xFF, 0x2C, 0x01}));
    EXPECT_EQ(Prefix(65533), (Bytes{0xFF, 0xFD, 0xFF}));
    EXPECT_EQ(Prefix(65534), (Bytes{0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}));
    EXPECT_EQ(Prefix(70000), (Bytes{0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}));
    // And every form reads back whole.
    for (const std::size_t length : {0, 1, 254, 255, 300, 65533, 65534, 70000}) {
        Bytes out;
        const std::string text(length, 'x');
        WriteArchiveString(out, text);
        ArchiveReader in(out);
        std::string back;
        ASSERT_TRUE(in.ReadString(&back)) << length;
        EXPECT_EQ(back, text);
        EXPECT_EQ(in.Remaining(), 0u);
    }
}

TEST(ArchiveString, ReadsWideTextAndOldEightBitTextAsUtf8) {
    // FF FE, then the length 3 in characters, then UTF-16LE "Aé€".
    const Bytes wide = {0xFF, 0xFE, 0xFF, 0x03, 'A', 0x00, 0xE9, 0x00, 0xAC, 0x20};
    ArchiveReader in(wide);
    std::string text;
    ASSERT_TRUE(in.ReadString(&text));
    EXPECT_EQ(text, "A\xC3\xA9\xE2\x82\xAC");
    // Windows-1252 bytes from an older tool: "25 °C" with 0xB0, and 0x80 (euro).
    const Bytes narrow = {0x07, '2', '5', ' ', 0xB0, 'C', ' ', 0x80};
    ArchiveReader old(narrow);
    ASSERT_TRUE(old.ReadString(&text));
    EXPECT_EQ(text,
              "25 \xC2\xB0"
              "C \xE2\x82\xAC");
    // UTF-8 reads back unchanged.
    Bytes utf8;
    WriteArchiveString(utf8, "Prüfstand \xE2\x84\x83");
    ArchiveReader modern(utf8);
    ASSERT_TRUE(modern.ReadString(&text));
    EXPECT_EQ(text, "Prüfstand \xE2\x84\x83");
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));      // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // surrogate
    EXPECT_FALSE(IsValidUtf8("\xE2\x82"));      // cut short
}

TEST(ArchiveString, NeverReadsBeyondWhatTheBufferHolds) {
    const Bytes huge = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b'};  // 4 GiB announced
    ArchiveReader in(huge);
    std::string text = "kept";
    EXPECT_FALSE(in.ReadString(&text));
    EXPECT_EQ(text, "kept");
    const Bytes wideHuge = {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F};
    ArchiveReader wide(wideHuge);
    EXPECT_FALSE(wide.ReadString(&text));
    for (std::size_t cut = 0; cut < 3; ++cut) {
        const Bytes shortPrefix(huge.begin(), huge.begin() + static_cast<std::ptrdiff_t>(cut));
        ArchiveReader partial(shortPrefix);
        EXPECT_FALSE(partial.ReadString(&text));
    }
}

TEST(TestFile, FirstStartTestIsTheKnown2515Bytes) {
    const Bytes file = SerializeTest(FirstStartMark(), MeasurementRecord{});
    ASSERT_EQ(file.size(), 2515u);
    const Bytes head = {0x07, 'Z',  'X',  '8', '4', '0',  'E', 'N',  0x01, 0x00, 0x00,
                        0x00, 0x00, 0x02, '2', '5', 0x02, '6', '5',  0x00, 0x08, '2',
                        '6',  '-',  '1',  '2', '-', '0',  '7', 0x00, 0x00};
    EXPECT_TRUE(std::equal(head.begin(), head.end(), file.begin()));
    EXPECT_TRUE(std::all_of(file.begin() + static_cast<std::ptrdiff_t>(head.size()), file.end(),
                            [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(SerializeTest(ProductMark{}, MeasurementRecord{}).size(), 2507u);
}

TEST(TestFile, FieldsStandInFileOrderAndLoadThenSaveGivesTheSameBytes) {
    ProductMark mark = FirstStartMark();
    mark.Manufacturer = "Acme Ltd";
    mark.Type = std::string(300, 'T');
    mark.Number = -17;
    mark.Operator = "Zoë";
    mark.Inspector = "QA";
    MeasurementRecord record;
    record.Urms = 1;
    record.Irms = 2;
    record.PF = 3;
    record.Power = 4;
    record.Ucf = 5;
    record.Icf = 6;
    record.Freq = 7;
    record.Uthd = 8;
    record.Ithd = 9;
    record.USpec[0] = 10;
    record.ISpec[0] = 11;
    record.UWave[0] = 12;
    record.IWave[0] = 13;
    record.IWave[255] = -49152;
    record.USpec[49] = std::bit_cast<float>(0x7FC00001u);  // a NaN keeps its bits
    const Bytes file = SerializeTest(mark, record);

    // The floats after the strings: Urms, Irms, PF, Power, Ucf, Icf, Freq.
    const std::size_t floats = file.size() - 36 - 400 - 2048;
    float first[9];
    std::memcpy(first, file.data() + floats, sizeof first);
    EXPECT_EQ(std::vector<float>(first, first + 9),
              (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    float pair[2];
    std::memcpy(pair, file.data() + floats + 36, sizeof pair);
    EXPECT_EQ(pair[0], 10.0f);
    EXPECT_EQ(pair[1], 11.0f);
    std::int32_t samples[2];
    std::memcpy(samples, file.data() + floats + 436, sizeof samples);
    EXPECT_EQ(samples[0], 12);
    EXPECT_EQ(samples[1], 13);

    const auto loaded = ParseTest(file);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->Mark, mark);
    EXPECT_EQ(SerializeTest(loaded->Mark, loaded->Record), file);
}

TEST(TestFile, DamagedFilesGiveNothingAtAll) {
    ProductMark mark = FirstStartMark();
    mark.Manufacturer = "Acme";
    const Bytes file = SerializeTest(mark, MeasurementRecord{});
    for (std::size_t size = 0; size < file.size(); ++size) {
        ASSERT_FALSE(ParseTest(std::span(file.data(), size))) << size;
    }
    // Any signature, and bytes after the last field, are taken.
    Bytes other = file;
    other[1] = 'Q';
    other.push_back(0x42);
    EXPECT_TRUE(ParseTest(other));
    // A text announcing 4 GiB.
    Bytes huge = file;
    huge[12] = 0xFF;
    huge.insert(huge.begin() + 13, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_FALSE(ParseTest(huge));
}

TEST(SettingsFile, TheKnown23BytesAndDefaultsForWhatIsNotReadWhole) {
    const Bytes example = {0x01, 0x00, 0x00, 0x00, 0x00, 0x02, 0x32, 0x35, 0x02, 0x36, 0x35, 0x00,
                           0x04, 0x43, 0x4F, 0x4D, 0x31, 0x80, 0x25, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(SerializeSettings(Settings{}), example);
    EXPECT_EQ(ParseSettings(example), Settings{});
    EXPECT_EQ(ParseSettings({}), Settings{});

    Settings stored;
    stored.Number = 2147483647;
    stored.Type = "PSU";
    stored.Operator = "Kim";
    stored.ComPort = "COM9";
    stored.BaudRate = 4800;
    stored.Inspector = std::string(300, 'i');
    stored.Manufacturer = "Acme";
    const Bytes file = SerializeSettings(stored);
    EXPECT_EQ(ParseSettings(file), stored);

    // Cut inside ComPort: the fields before it are kept, the rest defaults.
    const std::size_t comPort = 4 + 4 + 3 + 3 + 4;
    Settings partial = ParseSettings(std::span(file.data(), comPort + 2));
    EXPECT_EQ(partial.Number, 2147483647);
    EXPECT_EQ(partial.Operator, "Kim");
    EXPECT_EQ(partial.ComPort, "COM1");
    EXPECT_EQ(partial.BaudRate, 9600);
    EXPECT_EQ(partial.Manufacturer, "");
    // An impossible prefix in the first text: everything after Number defaults.
    Bytes impossible = {0x05, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F};
    partial = ParseSettings(impossible);
    EXPECT_EQ(partial.Number, 5);
    EXPECT_EQ(partial.Temperature, "25");
    EXPECT_EQ(partial.Humidity, "65");
}

}  // namespace
}  // namespace zx840
