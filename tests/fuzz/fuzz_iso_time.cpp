// libFuzzer target for the reader of the times of --since and --until:
// - no input is read past its end (AddressSanitizer) or overflows
//   (UndefinedBehaviorSanitizer);
// - an accepted time lies in the years 1 to 9999, and written as the
//   program writes times it reads back as the same instant;
// - where Qt's own ISO 8601 reader reads the same text, it finds the same
//   instant (fractions of more than milliseconds aside, which it rounds).
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTimeZone>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "store/result.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using zx840::fuzz::Check;

// Qt's reading of `text` as UTC when it names no zone; nothing when it
// reads none.
std::optional<std::int64_t> QtReading(const std::string& text) {
    const QString qtext = QString::fromStdString(text);
    if (text.size() == 10) {
        const QDate date = QDate::fromString(qtext, Qt::ISODate);
        return date.isValid() ? std::optional<std::int64_t>(
                                    date.startOfDay(QTimeZone::utc()).toMSecsSinceEpoch())
                              : std::nullopt;
    }
    QDateTime time = QDateTime::fromString(qtext, Qt::ISODateWithMs);
    if (!time.isValid()) {
        return std::nullopt;
    }
    if (time.timeSpec() == Qt::LocalTime) {
        time.setTimeSpec(Qt::UTC);
    }
    return time.toMSecsSinceEpoch();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<std::int64_t> time = zx840::ParseIsoTime(text);
    if (!time) {
        return 0;
    }
    constexpr std::int64_t kFirst = -62135596800000;  // 0001-01-01T00:00:00Z
    constexpr std::int64_t kLast = 253402300799999;   // 9999-12-31T23:59:59.999Z
    Check(*time >= kFirst && *time <= kLast);
    Check(zx840::ParseIsoTime(zx840::IsoTimeUtc(*time)) == time);
    const std::size_t dot = text.find('.');
    std::size_t digits = 0;
    while (dot != std::string::npos && dot + 1 + digits < text.size() &&
           text[dot + 1 + digits] >= '0' && text[dot + 1 + digits] <= '9') {
        ++digits;
    }
    if (digits <= 3) {
        const std::optional<std::int64_t> qt = QtReading(text);
        Check(!qt || *qt == *time);
    }
    return 0;
}
