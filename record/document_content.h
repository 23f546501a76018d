// What the document holds: one test (product information and the measurement
// record) plus the chosen port and line speed.
#pragma once

#include <cstdint>
#include <string>

#include "record/defaults.h"
#include "record/measurement_record.h"
#include "record/product_mark.h"

namespace zx840 {

// What a change of the product information touched: everything but the
// test day (Product Mark), the number alone (Number add one), or all of it
// (a remote client, which may set the test day too).
enum class MarkChange { AllButTestday, NumberOnly, All };

// Takes a change of the product information from `from` into `to`.
inline void ApplyMarkChange(const ProductMark& from, MarkChange change, ProductMark& to) {
    to.Number = from.Number;
    if (change == MarkChange::NumberOnly) {
        return;
    }
    to.Inspector = from.Inspector;
    to.Manufacturer = from.Manufacturer;
    to.Humidity = from.Humidity;
    to.Operator = from.Operator;
    to.Temperature = from.Temperature;
    to.Type = from.Type;
    if (change == MarkChange::All) {
        to.Testday = from.Testday;
    }
}

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
