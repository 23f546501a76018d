// The test file (.ZX8): the product information and the measurement record,
// field after field, after the signature "ZX840EN".
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "record/measurement_record.h"
#include "record/product_mark.h"

namespace zx840 {

inline constexpr char kTestFileSignature[] = "ZX840EN";
inline constexpr char kTestFileExtension[] = "ZX8";
inline constexpr char kTestFileFilter[] = "ZX840 Files (*.ZX8)";
inline constexpr char kUnexpectedFileFormat[] = "Unexpected file format.";

struct TestFileContents {
    ProductMark Mark;
    MeasurementRecord Record;
};

std::vector<std::uint8_t> SerializeTest(const ProductMark& mark, const MeasurementRecord& record);

// The whole file or nothing: a file that ends before its last field, is
// empty or announces more text than it holds gives nothing. The signature
// is not compared and bytes after the last field are ignored.
std::optional<TestFileContents> ParseTest(std::span<const std::uint8_t> bytes);

}  // namespace zx840
