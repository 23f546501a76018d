#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>

#include "record/record_json.h"

namespace zx840 {
namespace {

TEST(RecordJson, FloatsReadBackAsTheSameSinglePrecisionValue) {
    std::mt19937 random(11);
    for (int i = 0; i < 50000; ++i) {
        const float f = std::bit_cast<float>(static_cast<std::uint32_t>(random()));
        if (!std::isfinite(f)) {
            continue;
        }
        const std::string text = JsonFloat(f);
        // JSON readers parse into a double first.
        const double parsed = std::strtod(text.c_str(), nullptr);
        ASSERT_EQ(std::bit_cast<std::uint32_t>(static_cast<float>(parsed)),
                  std::bit_cast<std::uint32_t>(f))
            << text;
    }
    EXPECT_EQ(JsonFloat(230.0f), "230");
    EXPECT_EQ(JsonFloat(0.1f), "0.1");
    EXPECT_EQ(JsonFloat(std::numeric_limits<float>::quiet_NaN()), "null");
    EXPECT_EQ(JsonFloat(-std::numeric_limits<float>::infinity()), "null");
}

TEST(RecordJson, StringsAreEscaped) {
    EXPECT_EQ(JsonString("a\"b\\c\n\t\x01"), "\"a\\\"b\\\\c\\n\\t\\u0001\"");
    EXPECT_EQ(JsonString("Temperatur 25 \xC2\xB0"
                         "C"),
              "\"Temperatur 25 \xC2\xB0"
              "C\"");
}

TEST(RecordJson, HoldsEveryFieldUnderItsOwnNameInOrder) {
    WorkingRecord working;
    working.Record.Urms = 230.0f;
    working.Record.Ucf = 1.41f;
    working.Record.Freq = 50.0f;
    working.Record.USpec[49] = 0.5f;
    working.Record.IWave[0] = -49152;
    working.Angles.EndAngle = 357.1875f;
    working.DataValid = 1;
    const std::string json = WorkingRecordJson(working);
    const char* keys[] = {"Urms",  "Irms",       "PF",        "Freq",     "Power",    "Ucf",
                          "Icf",   "Uthd",       "Ithd",      "USpec",    "ISpec",    "UWave",
                          "IWave", "StartAngle", "PeakAngle", "EndAngle", "DataValid"};
    std::size_t at = 0;
    for (const char* key : keys) {
        std::string quoted = "\"";
        quoted += key;
        quoted += "\":";
        const auto found = json.find(quoted, at);
        ASSERT_NE(found, std::string::npos) << key;
        at = found;
    }
    EXPECT_EQ(json.front(), '{');
    EXPECT_EQ(json.back(), '}');
    EXPECT_NE(json.find("\"Urms\":230,"), std::string::npos);
    EXPECT_NE(json.find(",0.5],\"ISpec\""), std::string::npos);
    EXPECT_NE(json.find("\"IWave\":[-49152,0,"), std::string::npos);
    EXPECT_NE(json.find("\"EndAngle\":357.1875,\"DataValid\":1}"), std::string::npos);
    EXPECT_EQ(WorkingRecordJson(working, true), json.substr(0, json.size() - 1));
}

}  // namespace
}  // namespace zx840
