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
    const QString qtext = QString::fromStdString(text);
    QDateTime time = QDateTime::fromString(qtext, Qt::ISODateWithMs);
    if (!time.isValid()) {
        time = QDateTime::fromString(qtext, Qt::ISODate);
    }
    if (!time.isValid()) {
        const QDate date = QDate::fromString(qtext, Qt::ISODate);
        if (!date.isValid()) {
            return std::nullopt;
        }
        time = QDateTime(date, QTime(0, 0), Qt::UTC);
    }
    // A time without a zone is taken as UTC, as every stored time is.
    if (time.timeSpec() == Qt::LocalTime) {
        time.setTimeSpec(Qt::UTC);
    }
    return time.toMSecsSinceEpoch();
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
