// What the document holds: one test (product information and the measurement
// record) plus the chosen port and line speed.
#pragma once

#include <cstdint>
#include <string>

#include "record/measurement_record.h"
#include "record/product_mark.h"

namespace zx840 {

inline constexpr char kDefaultComPort[] = "COM1";
inline constexpr std::int32_t kDefaultBaudRate = 9600;

struct TestDocument {
    ProductMark Mark;
    std::string ComPort = kDefaultComPort;
    std::int32_t BaudRate = kDefaultBaudRate;
    MeasurementRecord Record;
    std::uint8_t DataValid = 0;

    // A new, empty test: the record cleared, DataValid 0, today's test day.
    // Product information, port and speed stay.
    void NewTest(const std::string& testday) {
        Record = MeasurementRecord{};
        DataValid = 0;
        Mark.Testday = testday;
    }
};

}  // namespace zx840
