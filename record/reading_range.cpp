#include "record/reading_range.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace zx840 {
namespace {

// A power factor read as a float may pass 1 by its rounding, never more.
constexpr float kMostPowerFactor = 1.0f + 4.0f * std::numeric_limits<float>::epsilon();

const char* Name(RecordQuantity quantity) {
    switch (quantity) {
        case RecordQuantity::Freq:
            return "Freq";
        case RecordQuantity::Icf:
            return "Icf";
        case RecordQuantity::Ucf:
            return "Ucf";
        case RecordQuantity::PF:
            return "PF";
        case RecordQuantity::Power:
            return "Power";
        case RecordQuantity::Irms:
            return "Irms";
        case RecordQuantity::Urms:
            return "Urms";
        case RecordQuantity::Uthd:
            return "Uthd";
        case RecordQuantity::Ithd:
            return "Ithd";
        case RecordQuantity::USpec:
            return "USpec";
        case RecordQuantity::ISpec:
            return "ISpec";
    }
    return "";
}

std::string Shortest(float value) {
    char text[32];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    return ec == std::errc{} ? std::string(text, end) : std::string("?");
}

float ValueOf(const MeasurementRecord& r, QuantityRef ref) {
    const auto line = [&ref](const std::array<float, kHarmonicOrders>& spectrum) {
        return ref.order >= 1 && ref.order <= kHarmonicOrders
                   ? spectrum[static_cast<std::size_t>(ref.order - 1)]
                   : 0.0f;
    };
    switch (ref.quantity) {
        case RecordQuantity::Freq:
            return r.Freq;
        case RecordQuantity::Icf:
            return r.Icf;
        case RecordQuantity::Ucf:
            return r.Ucf;
        case RecordQuantity::PF:
            return r.PF;
        case RecordQuantity::Power:
            return r.Power;
        case RecordQuantity::Irms:
            return r.Irms;
        case RecordQuantity::Urms:
            return r.Urms;
        case RecordQuantity::Uthd:
            return r.Uthd;
        case RecordQuantity::Ithd:
            return r.Ithd;
        case RecordQuantity::USpec:
            return line(r.USpec);
        case RecordQuantity::ISpec:
            return line(r.ISpec);
    }
    return 0.0f;
}

// What is wrong with a finite value; nullptr when nothing is.
const char* Fault(const MeasurementRecord& r, RecordQuantity quantity, float value) {
    switch (quantity) {
        case RecordQuantity::Freq:
            return value > 0.0f ? nullptr : "is not above 0";
        case RecordQuantity::PF:
            return std::fabs(value) <= kMostPowerFactor ? nullptr : "lies beyond -1 to 1";
        case RecordQuantity::Icf:
        case RecordQuantity::Ucf: {
            const float rms = quantity == RecordQuantity::Icf ? r.Irms : r.Urms;
            if (value >= 1.0f || (value == 0.0f && rms == 0.0f)) {
                return nullptr;
            }
            return "is below 1";
        }
        default:
            return value >= 0.0f ? nullptr : "is negative";
    }
}

}  // namespace

std::string OutOfRange(const MeasurementRecord& record, QuantityRef ref) {
    const float value = ValueOf(record, ref);
    const char* fault = std::isfinite(value) ? Fault(record, ref.quantity, value) : nullptr;
    if (std::isfinite(value) && fault == nullptr) {
        return {};
    }
    std::string why;
    if (ref.quantity == RecordQuantity::USpec || ref.quantity == RecordQuantity::ISpec) {
        why += ref.quantity == RecordQuantity::USpec ? 'U' : 'I';
        why += std::to_string(ref.order);
        why += " of the spectrum";
    } else {
        why += Name(ref.quantity);
    }
    if (fault == nullptr) {
        why += " is not a number";
        return why;
    }
    why += ' ';
    why += Shortest(value);
    why += ' ';
    why += fault;
    return why;
}

std::vector<std::string> OutOfRangeValues(const MeasurementRecord& record) {
    std::vector<std::string> found;
    const auto add = [&](QuantityRef ref) {
        if (std::string why = OutOfRange(record, ref); !why.empty()) {
            found.push_back(std::move(why));
        }
    };
    for (const RecordQuantity quantity :
         {RecordQuantity::Freq, RecordQuantity::Icf, RecordQuantity::Ucf, RecordQuantity::PF,
          RecordQuantity::Power, RecordQuantity::Irms, RecordQuantity::Urms, RecordQuantity::Uthd,
          RecordQuantity::Ithd}) {
        add({quantity});
    }
    for (const RecordQuantity spectrum : {RecordQuantity::USpec, RecordQuantity::ISpec}) {
        for (int order = 1; order <= kHarmonicOrders; ++order) {
            add({spectrum, order});
        }
    }
    return found;
}

}  // namespace zx840
