// A strict JSON reader for the small documents the program takes from
// outside (test plans): RFC 8259 text in UTF-8, nothing more. It refuses
// what a lenient reader would guess at — a duplicate key, a trailing comma,
// a comment, a number that does not fit a double, nesting deeper than a plan
// could need — and says where.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zx840 {

struct JsonMember;

struct JsonValue {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0.0;
    std::string text;                                        // String
    std::vector<JsonValue> items;                            // Array
    std::vector<JsonMember> members;  // Object, in file order

    // The member named `key` of an object, or nullptr.
    const JsonValue* Find(std::string_view key) const;
};

struct JsonMember {
    std::string name;
    JsonValue value;
};

// What kind of value, in words: "a number", "an object", ...
const char* JsonKindName(JsonValue::Kind kind);

struct JsonError {
    std::size_t line = 0;    // from 1
    std::size_t column = 0;  // from 1, in bytes
    std::string message;
    std::string Describe() const;  // "line 3, column 7: ..."
};

inline constexpr int kMaxJsonDepth = 16;

// The whole text as one value (surrounding white space allowed), or nothing
// with `error` set.
std::optional<JsonValue> ParseJson(std::string_view text, JsonError* error);

}  // namespace zx840
