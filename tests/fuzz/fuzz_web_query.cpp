// libFuzzer target for the reader of the web dashboard's requests, the
// query and the path a client sends:
// - no input is read past its end (AddressSanitizer) or overflows
//   (UndefinedBehaviorSanitizer);
// - what the reader takes it writes back so that it reads the same again;
// - a filter and a period are read or refused, never half read;
// - a cursor it takes is one it writes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/fuzz/fuzz_check.h"
#include "web/web_query.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using zx840::fuzz::Check;
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    if (const auto segment = zx840::DecodeSegment(text)) {
        Check(zx840::DecodeSegment(zx840::EncodeComponent(*segment)) == segment);
    }
    if (const auto cursor = zx840::ReadCursor(text)) {
        Check(zx840::CursorText(*cursor) == text || text.starts_with('+') || text.starts_with('0') ||
              text.starts_with("-0"));
    }
    const auto params = zx840::ParseQuery(text, &error);
    if (!params) {
        Check(!error.empty());
        return 0;
    }
    Check(params->size() <= zx840::kMaxParameters);
    const std::string written = zx840::EncodeQuery(*params);
    if (written.size() <= zx840::kMaxQueryBytes) {
        Check(zx840::ParseQuery(written, &error) == params);
    }
    constexpr std::int64_t kNow = 1765454400000;
    std::string why;
    const auto filter = zx840::ReadFilter(*params, kNow, &why);
    Check(filter.has_value() == why.empty());
    why.clear();
    const auto period = zx840::ReadPeriod(*params, kNow, &why);
    Check(period.has_value() == why.empty());
    return 0;
}
