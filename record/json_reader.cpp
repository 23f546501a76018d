#include "record/json_reader.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <system_error>

#include "record/archive.h"

namespace zx840 {

const JsonValue* JsonValue::Find(std::string_view key) const {
    for (const auto& [name, value] : members) {
        if (name == key) {
            return &value;
        }
    }
    return nullptr;
}

const char* JsonKindName(JsonValue::Kind kind) {
    switch (kind) {
        case JsonValue::Kind::Null:
            return "null";
        case JsonValue::Kind::Bool:
            return "true or false";
        case JsonValue::Kind::Number:
            return "a number";
        case JsonValue::Kind::String:
            return "a string";
        case JsonValue::Kind::Array:
            return "an array";
        case JsonValue::Kind::Object:
            return "an object";
    }
    return "a value";
}

std::string JsonError::Describe() const {
    return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + message;
}

namespace {

class Reader {
  public:
    Reader(std::string_view text, JsonError* error) : text_(text), error_(error) {}

    std::optional<JsonValue> Document() {
        SkipSpace();
        JsonValue value;
        if (!Value(value, 0)) {
            return std::nullopt;
        }
        SkipSpace();
        if (pos_ != text_.size()) {
            return Fail("unexpected text after the end of the document");
        }
        return value;
    }

  private:
    std::nullopt_t Fail(const std::string& message) {
        if (error_ != nullptr) {
            error_->line = 1;
            error_->column = 1;
            for (std::size_t i = 0; i < pos_ && i < text_.size(); ++i) {
                if (text_[i] == '\n') {
                    ++error_->line;
                    error_->column = 1;
                } else {
                    ++error_->column;
                }
            }
            error_->message = message;
        }
        return std::nullopt;
    }

    bool AtEnd() const { return pos_ >= text_.size(); }
    char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }

    void SkipSpace() {
        while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r')) {
            ++pos_;
        }
    }

    bool Literal(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) {
            Fail("unexpected text; expected a value");
            return false;
        }
        pos_ += word.size();
        return true;
    }

    bool Value(JsonValue& out, int depth) {
        if (AtEnd()) {
            Fail("the document ends where a value should be");
            return false;
        }
        switch (Peek()) {
            case '{':
                return Object(out, depth + 1);
            case '[':
                return Array(out, depth + 1);
            case '"':
                out.kind = JsonValue::Kind::String;
                return String(out.text);
            case 't':
                out.kind = JsonValue::Kind::Bool;
                out.boolean = true;
                return Literal("true");
            case 'f':
                out.kind = JsonValue::Kind::Bool;
                out.boolean = false;
                return Literal("false");
            case 'n':
                out.kind = JsonValue::Kind::Null;
                return Literal("null");
            default:
                out.kind = JsonValue::Kind::Number;
                return Number(out.number);
        }
    }

    bool Object(JsonValue& out, int depth) {
        if (depth > kMaxJsonDepth) {
            Fail("nested too deeply");
            return false;
        }
        out.kind = JsonValue::Kind::Object;
        ++pos_;  // '{'
        SkipSpace();
        if (Peek() == '}') {
            ++pos_;
            return true;
        }
        while (true) {
            SkipSpace();
            if (Peek() != '"') {
                Fail("expected a key in double quotes");
                return false;
            }
            const std::size_t keyAt = pos_;
            std::string key;
            if (!String(key)) {
                return false;
            }
            if (out.Find(key) != nullptr) {
                pos_ = keyAt;
                Fail("the key \"" + key + "\" appears twice");
                return false;
            }
            SkipSpace();
            if (Peek() != ':') {
                Fail("expected ':' after the key");
                return false;
            }
            ++pos_;
            SkipSpace();
            JsonValue value;
            if (!Value(value, depth)) {
                return false;
            }
            out.members.push_back(JsonMember{std::move(key), std::move(value)});
            SkipSpace();
            if (Peek() == ',') {
                ++pos_;
                SkipSpace();
                if (Peek() == '}') {
                    Fail("a comma before '}'");
                    return false;
                }
                continue;
            }
            if (Peek() == '}') {
                ++pos_;
                return true;
            }
            Fail("expected ',' or '}'");
            return false;
        }
    }

    bool Array(JsonValue& out, int depth) {
        if (depth > kMaxJsonDepth) {
            Fail("nested too deeply");
            return false;
        }
        out.kind = JsonValue::Kind::Array;
        ++pos_;  // '['
        SkipSpace();
        if (Peek() == ']') {
            ++pos_;
            return true;
        }
        while (true) {
            SkipSpace();
            JsonValue value;
            if (!Value(value, depth)) {
                return false;
            }
            out.items.push_back(std::move(value));
            SkipSpace();
            if (Peek() == ',') {
                ++pos_;
                SkipSpace();
                if (Peek() == ']') {
                    Fail("a comma before ']'");
                    return false;
                }
                continue;
            }
            if (Peek() == ']') {
                ++pos_;
                return true;
            }
            Fail("expected ',' or ']'");
            return false;
        }
    }

    bool Hex4(std::uint32_t& code) {
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = Peek();
            std::uint32_t digit = 0;
            if (c >= '0' && c <= '9') {
                digit = static_cast<std::uint32_t>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                digit = static_cast<std::uint32_t>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                digit = static_cast<std::uint32_t>(c - 'A' + 10);
            } else {
                Fail("a \\u escape needs four hexadecimal digits");
                return false;
            }
            code = code * 16 + digit;
            ++pos_;
        }
        return true;
    }

    bool Escape(std::string& out) {
        ++pos_;  // backslash
        const char c = Peek();
        ++pos_;
        switch (c) {
            case '"':
            case '\\':
            case '/':
                out += c;
                return true;
            case 'b':
                out += '\b';
                return true;
            case 'f':
                out += '\f';
                return true;
            case 'n':
                out += '\n';
                return true;
            case 'r':
                out += '\r';
                return true;
            case 't':
                out += '\t';
                return true;
            case 'u': {
                std::uint32_t code = 0;
                if (!Hex4(code)) {
                    return false;
                }
                if (code >= 0xD800 && code <= 0xDBFF) {
                    std::uint32_t low = 0;
                    if (text_.substr(pos_, 2) != "\\u") {
                        Fail("a high surrogate without its low surrogate");
                        return false;
                    }
                    pos_ += 2;
                    if (!Hex4(low)) {
                        return false;
                    }
                    if (low < 0xDC00 || low > 0xDFFF) {
                        Fail("a high surrogate without its low surrogate");
                        return false;
                    }
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                } else if (code >= 0xDC00 && code <= 0xDFFF) {
                    Fail("a low surrogate without its high surrogate");
                    return false;
                }
                AppendUtf8(out, code);
                return true;
            }
            default:
                --pos_;
                Fail("an unknown escape in a string");
                return false;
        }
    }

    bool String(std::string& out) {
        ++pos_;  // opening quote
        const std::size_t start = pos_;
        while (true) {
            if (AtEnd()) {
                Fail("a string that does not end");
                return false;
            }
            const char c = Peek();
            if (c == '"') {
                ++pos_;
                break;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                Fail("a control character inside a string");
                return false;
            }
            if (c == '\\') {
                if (!Escape(out)) {
                    return false;
                }
                continue;
            }
            out += c;
            ++pos_;
        }
        if (!IsValidUtf8(out)) {
            pos_ = start;
            Fail("a string that is not UTF-8");
            return false;
        }
        return true;
    }

    bool Number(double& out) {
        const std::size_t start = pos_;
        if (Peek() == '-') {
            ++pos_;
        }
        if (Peek() == '0') {
            ++pos_;
        } else if (Peek() >= '1' && Peek() <= '9') {
            while (Peek() >= '0' && Peek() <= '9') {
                ++pos_;
            }
        } else {
            pos_ = start;
            Fail("unexpected text; expected a value");
            return false;
        }
        if (Peek() == '.') {
            ++pos_;
            if (!(Peek() >= '0' && Peek() <= '9')) {
                Fail("a number needs digits after its decimal point");
                return false;
            }
            while (Peek() >= '0' && Peek() <= '9') {
                ++pos_;
            }
        }
        if (Peek() == 'e' || Peek() == 'E') {
            ++pos_;
            if (Peek() == '+' || Peek() == '-') {
                ++pos_;
            }
            if (!(Peek() >= '0' && Peek() <= '9')) {
                Fail("a number needs digits in its exponent");
                return false;
            }
            while (Peek() >= '0' && Peek() <= '9') {
                ++pos_;
            }
        }
        const char* first = text_.data() + start;
        const char* last = text_.data() + pos_;
        const auto [end, ec] = std::from_chars(first, last, out);
        if (ec != std::errc{} || end != last || !std::isfinite(out)) {
            pos_ = start;
            Fail("a number out of the range a double can hold");
            return false;
        }
        return true;
    }

    std::string_view text_;
    JsonError* error_;
    std::size_t pos_ = 0;
};

}  // namespace

std::optional<JsonValue> ParseJson(std::string_view text, JsonError* error) {
    return Reader(text, error).Document();
}

}  // namespace zx840
