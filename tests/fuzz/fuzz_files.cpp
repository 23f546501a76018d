// libFuzzer target for the readers of the test file and the settings file.
// Every input goes to both readers and to a bare ArchiveReader:
// - reads never go past the end of the input (AddressSanitizer);
// - strings always come back as valid UTF-8;
// - what a reader accepts, written and read again, writes the same bytes;
// - a test file cut short by one byte is refused.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "record/archive.h"
#include "record/measurement_file.h"
#include "record/settings_file.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using zx840::fuzz::Check;

using Bytes = std::vector<std::uint8_t>;

void FuzzArchiveReader(std::span<const std::uint8_t> bytes) {
    zx840::ArchiveReader reader(bytes);
    std::string text;
    while (reader.ReadString(&text)) {
        Check(reader.Position() <= bytes.size());
        Check(zx840::IsValidUtf8(text));
    }
}

void FuzzTestFile(std::span<const std::uint8_t> bytes) {
    const auto first = zx840::ParseTest(bytes);
    if (!first) {
        return;
    }
    const Bytes once = zx840::SerializeTest(first->Mark, first->Record);
    const auto second = zx840::ParseTest(once);
    Check(second.has_value());
    Check(second->Mark == first->Mark);
    Check(zx840::SerializeTest(second->Mark, second->Record) == once);
    Check(!zx840::ParseTest(std::span(once).first(once.size() - 1)).has_value());
}

void FuzzSettingsFile(std::span<const std::uint8_t> bytes) {
    const zx840::Settings first = zx840::ParseSettings(bytes);
    const Bytes once = zx840::SerializeSettings(first);
    const zx840::Settings second = zx840::ParseSettings(once);
    Check(second == first);
    Check(zx840::SerializeSettings(second) == once);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    FuzzArchiveReader(bytes);
    FuzzTestFile(bytes);
    FuzzSettingsFile(bytes);
    return 0;
}
