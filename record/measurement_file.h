// The test file (.ZX8): the product information and the measurement record,
// field after field, after the signature "ZX840EN".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "record/file_io.h"
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

// The largest file taken for a test file (or a settings file, which the
// program writes with the same strings): far more than any real one holds.
inline constexpr std::size_t kMaxTestFileBytes = std::size_t{64} << 20;

// A test file read from disk. Either `contents` holds the whole test, or
// `readStatus` says why the file could not be read at all, or neither, when
// the file was read but is not a whole test file ("Unexpected file format.").
struct TestFileRead {
    std::optional<TestFileContents> contents;
    FileStatus readStatus;
};
TestFileRead ReadTestFile(const std::string& path);

// Why reading failed, as the operator is told: a file too large to be a test
// file is "Unexpected file format." like any other that is not one; any
// other failure is the system's text for the error.
std::string DescribeTestFileReadError(const FileStatus& status);

}  // namespace zx840
