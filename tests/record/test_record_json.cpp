#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <limits>
#include <optional>
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
    // The members go into an object its writer adds more keys to.
    std::string extended;
    JsonWriter writer(extended);
    writer.BeginObject();
    WriteRecordMembers(writer, working);
    writer.Key("More").Int(1).EndObject();
    EXPECT_EQ(extended, json.substr(0, json.size() - 1) + ",\"More\":1}");
}

// Commas between members and elements at any depth, keys and strings
// escaped, numbers in their shortest form, null for what JSON cannot hold.
TEST(JsonWriter, NestsEscapesAndWritesNumbersShortest) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    using Lines = JsonWriter::Layout;
    const struct {
        const char* what;
        std::function<void(JsonWriter&)> write;
        std::string json;
    } cases[] = {
        {"empty", [](JsonWriter& j) { j.BeginArray().BeginObject().EndObject().EndArray(); },
         "[{}]"},
        {"nested",
         [](JsonWriter& j) {
             j.BeginObject().Key("a").BeginArray().Int(1).BeginObject().Key("b").Null();
             j.EndObject().BeginArray().EndArray().EndArray().Key("c").Bool(false).EndObject();
         },
         R"({"a":[1,{"b":null},[]],"c":false})"},
        {"escaped",
         [](JsonWriter& j) {
             j.BeginObject().Key("k\"").String("a\"b\\c\n\t\r\b\f\x01\x1f\xC2\xB0").EndObject();
         },
         "{\"k\\\"\":\"a\\\"b\\\\c\\n\\t\\r\\b\\f\\u0001\\u001f\xC2\xB0\"}"},
        {"floats",
         [&](JsonWriter& j) {
             j.Floats(std::array<float, 5>{230.0f, 0.1f, -1.5e-7f, nan, static_cast<float>(-inf)});
         },
         "[230,0.1,-1.5e-07,null,null]"},
        {"doubles",
         [&](JsonWriter& j) {
             j.BeginArray().Double(0.1).Double(1e21).Double(inf).Double(std::nullopt);
             j.Double(std::optional(2.5)).EndArray();
         },
         "[0.1,1e+21,null,null,2.5]"},
        {"integers",
         [](JsonWriter& j) {
             j.Ints(std::array<std::int32_t, 2>{-49152, 2147483647})
                 .Int(std::numeric_limits<std::int64_t>::min());
         },
         "[-49152,2147483647]-9223372036854775808"},
        {"raw", [](JsonWriter& j) { j.BeginObject().Key("V").Raw(R"({"Pass":true})").EndObject(); },
         R"({"V":{"Pass":true}})"},
        {"lines",
         [](JsonWriter& j) { j.BeginArray(Lines::OneLineEach).Int(1).BeginArray().EndArray(); },
         "[\n1,\n[]"},
        {"no lines", [](JsonWriter& j) { j.BeginArray(Lines::OneLineEach).EndArray(); }, "[\n]"},
    };
    for (const auto& c : cases) {
        std::string out = "> ";
        JsonWriter json(out);
        c.write(json);
        EXPECT_EQ(out, "> " + c.json) << c.what;
    }

    // Emptied between elements, the string takes the rest of the array.
    std::string out;
    std::string all;
    JsonWriter json(out);
    json.BeginArray(Lines::OneLineEach);
    for (int i = 0; i < 2; ++i) {
        json.BeginObject().Key("i").Int(i).EndObject();
        all += out;
        out.clear();
    }
    json.EndArray();
    EXPECT_EQ(all + out, "[\n{\"i\":0},\n{\"i\":1}\n]");
}

}  // namespace
}  // namespace zx840
