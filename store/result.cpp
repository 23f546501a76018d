#include "store/result.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QUuid>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "record/product_identity.h"

namespace zx840 {
namespace {

constexpr const char* kSourceNames[] = {"acquisition", "file", "import"};
// The namespace of the ids of imported files (a fixed, random UUID).
constexpr char kImportNamespace[] = "{5c1f3a52-8e0b-4d7e-9a51-6f2b0d3c7e14}";

std::string UuidText(const QUuid& uuid) {
    return uuid.toString(QUuid::WithoutBraces).toStdString();
}

template <typename T>
std::string LittleEndianBytes(const T* values, std::size_t count) {
    std::string bytes(count * 4, '\0');
    for (std::size_t i = 0; i < count; ++i) {
        const auto bits = std::bit_cast<std::uint32_t>(values[i]);
        for (int b = 0; b < 4; ++b) {
            bytes[i * 4 + static_cast<std::size_t>(b)] =
                static_cast<char>((bits >> (8 * b)) & 0xFF);
        }
    }
    return bytes;
}

template <typename T>
bool FromLittleEndian(std::string_view bytes, T* values, std::size_t count) {
    if (bytes.size() != count * 4) {
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t bits = 0;
        for (int b = 0; b < 4; ++b) {
            bits |= static_cast<std::uint32_t>(
                        static_cast<unsigned char>(bytes[i * 4 + static_cast<std::size_t>(b)]))
                    << (8 * b);
        }
        values[i] = std::bit_cast<T>(bits);
    }
    return true;
}

constexpr std::int64_t kMsPerMinute = 60'000;
constexpr std::int64_t kMsPerDay = 86'400'000;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The number of `count` digits at `at`; nothing when the text is shorter
// or any of them is not a digit.
std::optional<int> Digits(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) {
        return std::nullopt;
    }
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (!IsDigit(text[i])) {
            return std::nullopt;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

int DaysInMonth(int year, int month) {
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(int year, int month, int day) {
    const int y = month <= 2 ? year - 1 : year;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return static_cast<std::int64_t>(era) * 146097 + dayOfEra - 719468;
}

const std::int64_t kFirstMs = DaysFromCivil(1, 1, 1) * kMsPerDay;
const std::int64_t kLastMs = DaysFromCivil(10000, 1, 1) * kMsPerDay - 1;

// The zone at the end of a time: nothing (UTC), Z, or +HH:MM / -HH:MM up
// to 14 hours, as the zones of the world go. Its minutes east of UTC.
std::optional<int> ZoneOffsetMinutes(std::string_view zone) {
    if (zone.empty() || zone == "Z") {
        return 0;
    }
    const auto h = Digits(zone, 1, 2);
    const auto m = Digits(zone, 4, 2);
    if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || zone[3] != ':' || !h || !m ||
        *h > 14 || *m > 59) {
        return std::nullopt;
    }
    return (zone[0] == '-' ? -1 : 1) * (*h * 60 + *m);
}

}  // namespace

const char* ResultSourceName(ResultSource source) {
    return kSourceNames[static_cast<int>(source)];
}

std::optional<ResultSource> ResultSourceFromName(std::string_view name) {
    for (int i = 0; i < 3; ++i) {
        if (name == kSourceNames[i]) {
            return static_cast<ResultSource>(i);
        }
    }
    return std::nullopt;
}

ResultVerdict ResultVerdictOf(const Verdict& verdict) {
    ResultVerdict kept;
    kept.pass = verdict.pass;
    kept.plan = verdict.plan;
    for (const Check& check : verdict.checks) {
        if (!check.pass) {
            kept.failedChecks.push_back(check.item);
        }
    }
    kept.json = VerdictJson(verdict);
    return kept;
}

Verdict VerdictOf(const ResultVerdict& kept) {
    if (std::optional<Verdict> whole = ParseVerdictJson(kept.json)) {
        return *std::move(whole);
    }
    Verdict verdict;
    verdict.pass = kept.pass;
    verdict.plan = kept.plan;
    for (const std::string& item : kept.failedChecks) {
        Check check;
        check.item = item;
        check.value = std::nan("");
        verdict.checks.push_back(std::move(check));
    }
    return verdict;
}

Result NewResult(ResultSource source, const ProductMark& mark, const WorkingRecord& working,
                 const std::optional<Verdict>& verdict, std::int64_t notBeforeMs) {
    Result result;
    result.id = UuidText(QUuid::createUuid());
    result.timeMs = std::max<std::int64_t>(QDateTime::currentMSecsSinceEpoch(), notBeforeMs);
    result.station = LocalStation();
    result.programVersion = kVersionText;
    result.source = source;
    result.mark = mark;
    result.working = working;
    if (verdict) {
        result.verdict = ResultVerdictOf(*verdict);
    }
    return result;
}

std::string ImportedResultId(const std::vector<std::uint8_t>& content) {
    const QByteArray hash = QCryptographicHash::hash(
        QByteArrayView(content.data(), static_cast<qsizetype>(content.size())),
        QCryptographicHash::Sha256);
    return UuidText(QUuid::createUuidV5(QUuid(kImportNamespace), hash));
}

std::string LocalStation() {
    const char* given = std::getenv("ZX840_STATION");
    if (given != nullptr && *given != '\0') {
        return given;
    }
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        return "localhost";
    }
    return name;
}

std::string IsoTimeUtc(std::int64_t timeMs) {
    return QDateTime::fromMSecsSinceEpoch(timeMs, Qt::UTC)
        .toString(Qt::ISODateWithMs)
        .toStdString();
}

std::optional<std::int64_t> ParseIsoTime(const std::string& text) {
    // YYYY-MM-DD, then optionally THH:MM[:SS[.FRACTION]] and Z or +HH:MM /
    // -HH:MM; nothing else, not even a trailing space. A time without a
    // zone is UTC, as every stored time is; a date alone is its midnight.
    const std::string_view t(text);
    const auto y = Digits(t, 0, 4);
    const auto mo = Digits(t, 5, 2);
    const auto d = Digits(t, 8, 2);
    if (!y || !mo || !d || t[4] != '-' || t[7] != '-' || *y < 1 || *mo < 1 || *mo > 12 || *d < 1 ||
        *d > DaysInMonth(*y, *mo)) {
        return std::nullopt;
    }
    std::int64_t ms = DaysFromCivil(*y, *mo, *d) * kMsPerDay;
    if (t.size() == 10) {
        return ms;
    }
    const auto h = Digits(t, 11, 2);
    const auto mi = Digits(t, 14, 2);
    if (t[10] != 'T' || !h || !mi || t[13] != ':' || *h > 23 || *mi > 59) {
        return std::nullopt;
    }
    ms += (*h * 60 + *mi) * kMsPerMinute;
    std::size_t at = 16;
    if (at < t.size() && t[at] == ':') {
        const auto s = Digits(t, at + 1, 2);
        if (!s || *s > 59) {
            return std::nullopt;
        }
        ms += *s * 1000;
        at += 3;
        if (at < t.size() && t[at] == '.') {
            // Milliseconds; digits beyond them are cut off.
            std::size_t digits = 0;
            int fraction = 0;
            while (at + 1 + digits < t.size() && IsDigit(t[at + 1 + digits]) && digits < 9) {
                fraction = digits < 3 ? fraction * 10 + (t[at + 1 + digits] - '0') : fraction;
                ++digits;
            }
            if (digits == 0) {
                return std::nullopt;
            }
            for (std::size_t i = digits; i < 3; ++i) {
                fraction *= 10;
            }
            ms += fraction;
            at += 1 + digits;
        }
    }
    const auto offset = ZoneOffsetMinutes(t.substr(at));
    if (!offset) {
        return std::nullopt;
    }
    ms -= *offset * kMsPerMinute;
    if (ms < kFirstMs || ms > kLastMs) {
        return std::nullopt;  // before year 1 or after 9999 in UTC
    }
    return ms;
}

std::string FloatBytes(const float* values, std::size_t count) {
    return LittleEndianBytes(values, count);
}

std::string IntBytes(const std::int32_t* values, std::size_t count) {
    return LittleEndianBytes(values, count);
}

bool FloatsFromBytes(std::string_view bytes, float* values, std::size_t count) {
    return FromLittleEndian(bytes, values, count);
}

bool IntsFromBytes(std::string_view bytes, std::int32_t* values, std::size_t count) {
    return FromLittleEndian(bytes, values, count);
}

}  // namespace zx840
