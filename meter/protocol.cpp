#include "meter/protocol.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace zx840 {

Request BuildRequest(std::int32_t baudRate) {
    return {kRequestLead, baudRate == 9600 ? kRequestFast : kRequestSlow};
}

std::optional<std::int32_t> RequestedBaudRate(std::span<const std::uint8_t, kRequestSize> request) {
    if (request[0] != kRequestLead) {
        return std::nullopt;
    }
    if (request[1] == kRequestFast) {
        return 9600;
    }
    if (request[1] == kRequestSlow) {
        return 2400;
    }
    return std::nullopt;
}

float DecodeMeterReal(std::span<const std::uint8_t, 4> bytes) {
    const std::uint32_t exponent = bytes[0] == 0 ? 0u : bytes[0] - 1u;
    const std::uint32_t sign = (bytes[3] & 0x80u) != 0 ? 1u : 0u;
    const std::uint32_t fraction = (static_cast<std::uint32_t>(bytes[3] & 0x7Fu) << 16) |
                                   (static_cast<std::uint32_t>(bytes[2]) << 8) | bytes[1];
    return std::bit_cast<float>((sign << 31) | (exponent << 23) | fraction);
}

std::optional<std::array<std::uint8_t, 4>> EncodeMeterReal(float value) {
    const auto bits = std::bit_cast<std::uint32_t>(value);
    const std::uint32_t exponent = (bits >> 23) & 0xFFu;
    if (exponent == 0xFFu) {
        return std::nullopt;
    }
    const std::uint32_t fraction = bits & 0x7FFFFFu;
    const auto sign = static_cast<std::uint8_t>((bits >> 31) != 0 ? 0x80u : 0u);
    return std::array<std::uint8_t, 4>{
        static_cast<std::uint8_t>(exponent == 0 ? 0u : exponent + 1u),
        static_cast<std::uint8_t>(fraction & 0xFFu),
        static_cast<std::uint8_t>((fraction >> 8) & 0xFFu),
        static_cast<std::uint8_t>(sign | ((fraction >> 16) & 0x7Fu)),
    };
}

std::int32_t DecodeMeterSample(std::uint8_t low, std::uint8_t high) {
    std::uint32_t bits = (static_cast<std::uint32_t>(high) << 8) | low;
    if ((high & 0x40u) != 0) {
        bits |= 0xFFFF0000u;
    }
    return std::bit_cast<std::int32_t>(bits);
}

std::array<std::uint8_t, 2> EncodeMeterSample(std::int32_t value) {
    const auto bits = std::bit_cast<std::uint32_t>(std::clamp(value, -49152, 49151));
    return {static_cast<std::uint8_t>(bits & 0xFFu),
            static_cast<std::uint8_t>((bits >> 8) & 0xFFu)};
}

bool IsReplyAccepted(std::span<const std::uint8_t> reply, std::size_t received) {
    return received >= kMinReplySize && !reply.empty() && reply[0] == kReplyMark;
}

void DecodeReply(const Reply& reply, MeasurementRecord& record) {
    const auto real = [&reply](std::size_t index) {
        return DecodeMeterReal(
            std::span<const std::uint8_t, 4>(reply.data() + kReadingsOffset + 4 * index, 4));
    };
    record.Urms = real(0);
    record.Irms = real(1);
    record.PF = real(2);
    record.Freq = real(3);
    record.Power = real(4);
    record.Ucf = real(5);
    record.Icf = real(6);
    for (std::size_t n = 0; n < kSamplesPerPeriod; ++n) {
        record.UWave[n] =
            DecodeMeterSample(reply[kVoltageOffset + 2 * n], reply[kVoltageOffset + 2 * n + 1]);
        record.IWave[n] =
            DecodeMeterSample(reply[kCurrentOffset + 2 * n], reply[kCurrentOffset + 2 * n + 1]);
    }
}

std::optional<Reply> EncodeReply(const MeasurementRecord& record) {
    Reply reply{};
    reply[0] = kReplyMark;
    const float readings[] = {record.Urms,  record.Irms, record.PF, record.Freq,
                              record.Power, record.Ucf,  record.Icf};
    for (std::size_t i = 0; i < std::size(readings); ++i) {
        const auto bytes = EncodeMeterReal(readings[i]);
        if (!bytes) {
            return std::nullopt;
        }
        std::copy(bytes->begin(), bytes->end(), reply.begin() + kReadingsOffset + 4 * i);
    }
    for (std::size_t n = 0; n < kSamplesPerPeriod; ++n) {
        const auto u = EncodeMeterSample(record.UWave[n]);
        const auto i = EncodeMeterSample(record.IWave[n]);
        reply[kVoltageOffset + 2 * n] = u[0];
        reply[kVoltageOffset + 2 * n + 1] = u[1];
        reply[kCurrentOffset + 2 * n] = i[0];
        reply[kCurrentOffset + 2 * n + 1] = i[1];
    }
    return reply;
}

}  // namespace zx840
