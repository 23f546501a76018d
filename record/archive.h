// Archive strings and the little-endian fields that test files and the
// settings file are made of.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zx840 {

// Appends a length-prefixed string: one byte for 0 to 254 bytes of text,
// FF and a 16-bit length for 255 to 65533, FF FF FF and a 32-bit length
// beyond. The text is written as it is held: UTF-8.
void WriteArchiveString(std::vector<std::uint8_t>& out, std::string_view text);
void WriteInt32(std::vector<std::uint8_t>& out, std::int32_t value);
void WriteFloat(std::vector<std::uint8_t>& out, float value);

// Reads fields from a byte buffer; every read fails, without reading past
// the end, when the buffer holds too few bytes.
class ArchiveReader {
  public:
    explicit ArchiveReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    // Each read puts what it read where its argument points; on a failure
    // that is left as it was.
    bool ReadInt32(std::int32_t* value);
    bool ReadFloat(float* value);
    // A string in any of the prefix forms, also FF FE with 16-bit (UTF-16)
    // characters. Text that is not valid UTF-8 is taken as Windows-1252;
    // what comes back is always UTF-8.
    bool ReadString(std::string* text);

    std::size_t Position() const { return position_; }
    std::size_t Remaining() const { return bytes_.size() - position_; }

  private:
    bool ReadBytes(void* out, std::size_t count);
    bool ReadLength(std::uint64_t* length, bool* wide);

    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

// Appends the code point `cp` (at most U+10FFFF) in UTF-8.
void AppendUtf8(std::string& out, std::uint32_t cp);
// Whether `bytes` is well-formed UTF-8 (no overlongs, no surrogates).
bool IsValidUtf8(std::string_view bytes);
// `bytes` with each broken or cut-short UTF-8 sequence replaced by U+FFFD.
std::string ToValidUtf8(std::string_view bytes);
// Windows-1252 bytes as UTF-8.
std::string Windows1252ToUtf8(std::string_view bytes);
// UTF-16 little-endian code units as UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(std::span<const std::uint8_t> bytes);

}  // namespace zx840
