#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "meter/protocol.h"

namespace zx840 {
namespace {

float Real(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
    const std::uint8_t bytes[4] = {b0, b1, b2, b3};
    return DecodeMeterReal(std::span<const std::uint8_t, 4>(bytes));
}

TEST(MeterReal, DecodesTheDocumentedExamples) {
    EXPECT_EQ(Real(0x80, 0, 0, 0x00), 1.0f);
    EXPECT_EQ(Real(0x80, 0, 0, 0x80), -1.0f);
    EXPECT_EQ(Real(0x81, 0, 0, 0x00), 2.0f);
    EXPECT_EQ(Real(0x7F, 0, 0, 0x00), 0.5f);
    EXPECT_EQ(Real(0x85, 0, 0, 0x48), 50.0f);
    EXPECT_EQ(Real(0x87, 0, 0, 0x5C), 220.0f);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(Real(0, 0, 0, 0)), 0u);
}

TEST(MeterReal, ExponentBytesZeroAndOneBothGiveTheZeroExponentField) {
    EXPECT_EQ(std::bit_cast<std::uint32_t>(Real(0x01, 0, 0, 0)), 0u);
    // With a fraction the result is a subnormal, never a normal number.
    EXPECT_EQ(std::bit_cast<std::uint32_t>(Real(0x00, 0x01, 0, 0)), 1u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(Real(0x01, 0x01, 0, 0)), 1u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(Real(0x00, 0, 0, 0x80)), 0x80000000u);
    // The largest exponent byte is still finite: the bias leaves room.
    const float largest = Real(0xFF, 0xFF, 0xFF, 0x7F);
    EXPECT_TRUE(std::isfinite(largest));
    EXPECT_EQ(largest, std::numeric_limits<float>::max());
}

TEST(MeterReal, EncodingRoundTripsEveryFiniteFloatAndRefusesTheOthers) {
    std::mt19937 random(7);
    std::vector<float> values = {0.0f,
                                 -0.0f,
                                 1.0f,
                                 -1.0f,
                                 230.0f,
                                 0.5f,
                                 std::numeric_limits<float>::denorm_min(),
                                 std::numeric_limits<float>::min(),
                                 std::numeric_limits<float>::max(),
                                 -std::numeric_limits<float>::max()};
    for (int i = 0; i < 20000; ++i) {
        const float f = std::bit_cast<float>(static_cast<std::uint32_t>(random()));
        if (std::isfinite(f)) {
            values.push_back(f);
        }
    }
    for (const float f : values) {
        const auto bytes = EncodeMeterReal(f);
        ASSERT_TRUE(bytes.has_value()) << f;
        EXPECT_EQ(std::bit_cast<std::uint32_t>(DecodeMeterReal(*bytes)),
                  std::bit_cast<std::uint32_t>(f));
    }
    EXPECT_FALSE(EncodeMeterReal(std::numeric_limits<float>::infinity()));
    EXPECT_FALSE(EncodeMeterReal(-std::numeric_limits<float>::infinity()));
    EXPECT_FALSE(EncodeMeterReal(std::numeric_limits<float>::quiet_NaN()));
}

TEST(MeterSample, TakesTheSignFromBitSixOfTheHighByte) {
    EXPECT_EQ(DecodeMeterSample(0xFF, 0x3F), 16383);
    EXPECT_EQ(DecodeMeterSample(0x00, 0xC0), -16384);
    EXPECT_EQ(DecodeMeterSample(0x9C, 0xFF), -100);
    EXPECT_EQ(DecodeMeterSample(0x01, 0x00), 1);
    EXPECT_EQ(DecodeMeterSample(0x00, 0x80), 32768);
    EXPECT_EQ(DecodeMeterSample(0x00, 0x40), -49152);
    EXPECT_EQ(DecodeMeterSample(0xE8, 0x03), 1000);
    EXPECT_EQ(DecodeMeterSample(0x18, 0xFC), -1000);
    EXPECT_EQ(DecodeMeterSample(0xFF, 0xBF), 49151);
    // Every decodable value encodes back to its own bytes.
    for (int high = 0; high < 256; ++high) {
        for (int low = 0; low < 256; ++low) {
            const std::int32_t v =
                DecodeMeterSample(static_cast<std::uint8_t>(low), static_cast<std::uint8_t>(high));
            ASSERT_GE(v, -49152);
            ASSERT_LE(v, 49151);
            const auto bytes = EncodeMeterSample(v);
            ASSERT_EQ(DecodeMeterSample(bytes[0], bytes[1]), v);
        }
    }
}

TEST(Request, NamesTheSpeed) {
    EXPECT_EQ(BuildRequest(9600), (Request{0x11, 0x30}));
    EXPECT_EQ(BuildRequest(2400), (Request{0x11, 0x11}));
    EXPECT_EQ(BuildRequest(4800), (Request{0x11, 0x11}));
    EXPECT_EQ(BuildRequest(0), (Request{0x11, 0x11}));
    const Request fast{0x11, 0x30};
    const Request slow{0x11, 0x11};
    const Request other{0x11, 0x12};
    const Request noLead{0x12, 0x30};
    EXPECT_EQ(RequestedBaudRate(fast), 9600);
    EXPECT_EQ(RequestedBaudRate(slow), 2400);
    EXPECT_FALSE(RequestedBaudRate(other));
    EXPECT_FALSE(RequestedBaudRate(noLead));
}

TEST(Reply, DecodesReadingsInReplyOrderAndLeavesTheRestOfTheRecord) {
    const std::uint8_t head[] = {0xEE, 0x87, 0x00, 0x00, 0x66, 0x7F, 0x00, 0x00, 0x00, 0x80,
                                 0x00, 0x00, 0x00, 0x85, 0x00, 0x00, 0x48, 0x86, 0x00, 0x00,
                                 0x66, 0x80, 0x00, 0x00, 0x40, 0x80, 0x00, 0x00, 0x40};
    Reply reply{};
    std::copy(std::begin(head), std::end(head), reply.begin());
    reply[kVoltageOffset] = 0xE8;
    reply[kVoltageOffset + 1] = 0x03;
    reply[kCurrentOffset + 2 * 255] = 0x18;
    reply[kCurrentOffset + 2 * 255 + 1] = 0xFC;
    EXPECT_TRUE(IsReplyAccepted(reply, kReplySize));

    MeasurementRecord record;
    record.Uthd = 7.0f;
    record.USpec[3] = 9.0f;
    DecodeReply(reply, record);
    EXPECT_EQ(record.Urms, 230.0f);
    EXPECT_EQ(record.Irms, 0.5f);
    EXPECT_EQ(record.PF, 1.0f);
    EXPECT_EQ(record.Freq, 50.0f);
    EXPECT_EQ(record.Power, 115.0f);
    EXPECT_EQ(record.Ucf, 1.5f);
    EXPECT_EQ(record.Icf, 1.5f);
    EXPECT_EQ(record.UWave[0], 1000);
    EXPECT_EQ(record.UWave[1], 0);
    EXPECT_EQ(record.IWave[255], -1000);
    EXPECT_EQ(record.Uthd, 7.0f);
    EXPECT_EQ(record.USpec[3], 9.0f);

    const auto again = EncodeReply(record);
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, reply);
}

TEST(Reply, AcceptsFromTenFiftyTwoBytesWithTheMark) {
    Reply reply{};
    reply[0] = kReplyMark;
    EXPECT_FALSE(IsReplyAccepted(reply, 0));
    EXPECT_FALSE(IsReplyAccepted(reply, 1051));
    EXPECT_TRUE(IsReplyAccepted(reply, 1052));
    EXPECT_TRUE(IsReplyAccepted(reply, 1053));
    reply[0] = 0xED;
    EXPECT_FALSE(IsReplyAccepted(reply, 1053));
    EXPECT_FALSE(IsReplyAccepted(std::span<const std::uint8_t>(), 1053));
}

}  // namespace
}  // namespace zx840
