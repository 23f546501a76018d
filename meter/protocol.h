// The meter's wire protocol: one 2-byte request, one 1053-byte reply.
// Pure functions, no I/O.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "record/measurement_record.h"

namespace zx840 {

inline constexpr std::size_t kRequestSize = 2;
inline constexpr std::size_t kReplySize = 1053;
inline constexpr std::size_t kMinReplySize = 1052;  // a reply one byte short is still taken
inline constexpr std::uint8_t kReplyMark = 0xEE;
inline constexpr std::uint8_t kRequestLead = 0x11;
inline constexpr std::uint8_t kRequestFast = 0x30;  // second byte at 9600 baud
inline constexpr std::uint8_t kRequestSlow = 0x11;  // second byte at any other speed

// Offsets inside the reply.
inline constexpr std::size_t kReadingsOffset = 1;   // seven 4-byte meter reals
inline constexpr std::size_t kVoltageOffset = 29;   // 256 two-byte samples
inline constexpr std::size_t kCurrentOffset = 541;  // 256 two-byte samples

using Request = std::array<std::uint8_t, kRequestSize>;
using Reply = std::array<std::uint8_t, kReplySize>;

// The request for a line speed: 11 30 at 9600 baud, 11 11 at any other.
Request BuildRequest(std::int32_t baudRate);

// The line speed a request names: 9600 for 11 30, 2400 for 11 11, nothing
// for anything else.
std::optional<std::int32_t> RequestedBaudRate(std::span<const std::uint8_t, kRequestSize> request);

// A meter real: byte 0 the exponent biased by 128 (0 and 1 both give zero
// exponent field), bytes 1..3 the fraction least significant byte first,
// bit 7 of byte 3 the sign. Never produces an infinity or a NaN.
float DecodeMeterReal(std::span<const std::uint8_t, 4> bytes);

// The inverse, for the simulator and tests. Fails for infinities, NaNs and
// values whose IEEE exponent field is 255 (they have no meter encoding).
std::optional<std::array<std::uint8_t, 4>> EncodeMeterReal(float value);

// A meter sample: 16 bits low byte first, bits 16..31 copied from bit 6 of
// the high byte (not bit 7).
std::int32_t DecodeMeterSample(std::uint8_t low, std::uint8_t high);

// The inverse for samples from -49152 to 49151, for the simulator and tests;
// values outside are clamped to that range.
std::array<std::uint8_t, 2> EncodeMeterSample(std::int32_t value);

// True when a reply of `received` bytes in `reply` is taken: at least 1052
// bytes, the first one 0xEE.
bool IsReplyAccepted(std::span<const std::uint8_t> reply, std::size_t received);

// Decodes the seven readings and 2 x 256 samples of an accepted reply into
// the record; every other field stays. `reply` must hold kReplySize bytes
// (a 1052-byte reply leaves its last byte as the caller cleared it).
void DecodeReply(const Reply& reply, MeasurementRecord& record);

// A full reply carrying the record's seven readings and 2 x 256 samples, for
// the simulator and tests. Fails when a reading has no meter encoding.
std::optional<Reply> EncodeReply(const MeasurementRecord& record);

}  // namespace zx840
