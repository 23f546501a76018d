#include "scpi/scpi_parser.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace zx840::scpi {

std::string_view ErrorText(int code) {
    switch (code) {
        case kNoError:
            return "No error";
        case kCommandError:
            return "Command error";
        case kSyntaxError:
            return "Syntax error";
        case kDataTypeError:
            return "Data type error";
        case kParameterNotAllowed:
            return "Parameter not allowed";
        case kMissingParameter:
            return "Missing parameter";
        case kUndefinedHeader:
            return "Undefined header";
        case kInvalidStringData:
            return "Invalid string data";
        case kDataOutOfRange:
            return "Data out of range";
        case kTooMuchData:
            return "Too much data";
        case kIllegalParameterValue:
            return "Illegal parameter value";
        case kDataCorruptOrStale:
            return "Data corrupt or stale";
        case kHardwareError:
            return "Hardware error";
        case kQueueOverflow:
            return "Queue overflow";
        default:
            return "Error";
    }
}

void MessageReader::Feed(std::string_view bytes, std::vector<Item>& out) {
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        if (!dropping_) {
            if (partial_.size() + piece.size() > limit_) {
                dropping_ = true;
                partial_.clear();
            } else {
                partial_.append(piece);
            }
        }
        if (end == std::string_view::npos) {
            return;
        }
        bytes.remove_prefix(end + 1);
        Item item;
        item.tooLong = dropping_;
        if (!dropping_) {
            if (!partial_.empty() && partial_.back() == '\r') {
                partial_.pop_back();
            }
            item.text = std::move(partial_);
        }
        partial_.clear();
        dropping_ = false;
        out.push_back(std::move(item));
    }
}

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}
bool IsAlpha(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads one command at a time off a message.
class Cursor {
  public:
    explicit Cursor(std::string_view text) : text_(text) {}

    bool AtEnd() const { return at_ >= text_.size(); }
    char Peek() const { return AtEnd() ? '\0' : text_[at_]; }
    void SkipSpace() {
        while (!AtEnd() && IsSpace(text_[at_])) {
            ++at_;
        }
    }
    bool Take(char c) {
        if (Peek() == c && !AtEnd()) {
            ++at_;
            return true;
        }
        return false;
    }
    std::string_view Mnemonic() {
        const std::size_t start = at_;
        if (!IsAlpha(Peek())) {
            return {};
        }
        while (!AtEnd() && (IsAlpha(text_[at_]) || IsDigit(text_[at_]) || text_[at_] == '_')) {
            ++at_;
        }
        return text_.substr(start, at_ - start);
    }
    std::optional<ParseError> Header(Command& command);
    std::optional<ParseError> Parameters(Command& command);

  private:
    std::optional<ParseError> Param(Parameter& parameter);
    std::optional<ParseError> QuotedString(Parameter& parameter);
    std::optional<ParseError> Number(Parameter& parameter);

    std::string_view text_;
    std::size_t at_ = 0;
};

std::optional<ParseError> Cursor::Header(Command& command) {
    if (Take('*')) {
        command.common = true;
        const std::string_view name = Mnemonic();
        if (name.empty()) {
            return ParseError{kCommandError, "a common command has a name after *"};
        }
        command.path.emplace_back(name);
    } else {
        command.absolute = Take(':');
        do {
            const std::string_view name = Mnemonic();
            if (name.empty()) {
                return ParseError{kSyntaxError, "a header is names separated by colons"};
            }
            command.path.emplace_back(name);
        } while (Take(':'));
    }
    command.query = Take('?');
    return std::nullopt;
}

std::optional<ParseError> Cursor::QuotedString(Parameter& parameter) {
    const char quote = text_[at_++];
    parameter.kind = Parameter::Kind::String;
    while (!AtEnd()) {
        const char c = text_[at_++];
        if (c == quote) {
            if (Peek() != quote) {
                return std::nullopt;
            }
            ++at_;  // a doubled quote is one quote
        }
        parameter.text += c;
    }
    return ParseError{kInvalidStringData, "a string has no closing quote"};
}

std::optional<ParseError> Cursor::Number(Parameter& parameter) {
    const std::size_t start = at_;
    if (!Take('+')) {
        Take('-');
    }
    std::size_t digits = 0;
    while (IsDigit(Peek())) {
        ++at_;
        ++digits;
    }
    if (Take('.')) {
        while (IsDigit(Peek())) {
            ++at_;
            ++digits;
        }
    }
    if (digits == 0) {
        return ParseError{kSyntaxError, "a number has digits"};
    }
    std::string number(text_.substr(start, at_ - start));
    const std::size_t beforeExponent = at_;
    SkipSpace();
    if (Peek() == 'e' || Peek() == 'E') {
        ++at_;
        SkipSpace();
        std::string exponent = "e";
        if (Peek() == '+' || Peek() == '-') {
            exponent += text_[at_++];
        }
        if (!IsDigit(Peek())) {
            return ParseError{kSyntaxError, "an exponent has digits"};
        }
        while (IsDigit(Peek())) {
            exponent += text_[at_++];
        }
        number += exponent;
    } else {
        at_ = beforeExponent;
    }
    if (number.front() == '+') {
        number.erase(0, 1);
    }
    double value = 0.0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec != std::errc{} || end != number.data() + number.size() || !std::isfinite(value)) {
        return ParseError{kDataOutOfRange, "the number is out of range"};
    }
    parameter.kind = Parameter::Kind::Number;
    parameter.number = value;
    return std::nullopt;
}

std::optional<ParseError> Cursor::Param(Parameter& parameter) {
    const char c = Peek();
    if (c == '"' || c == '\'') {
        return QuotedString(parameter);
    }
    if (IsDigit(c) || c == '+' || c == '-' || c == '.') {
        return Number(parameter);
    }
    if (IsAlpha(c)) {
        parameter.kind = Parameter::Kind::Word;
        parameter.text = std::string(Mnemonic());
        return std::nullopt;
    }
    if (c == '#') {
        return ParseError{kDataTypeError, "no command takes block data"};
    }
    return ParseError{kSyntaxError, "a parameter is a number, a string or a word"};
}

std::optional<ParseError> Cursor::Parameters(Command& command) {
    const bool spaced = IsSpace(Peek());
    SkipSpace();
    if (AtEnd() || Peek() == ';') {
        return std::nullopt;
    }
    if (!spaced) {
        return ParseError{kSyntaxError, "a space separates the header from its parameters"};
    }
    do {
        SkipSpace();
        Parameter parameter;
        if (auto error = Param(parameter)) {
            return error;
        }
        command.parameters.push_back(std::move(parameter));
        SkipSpace();
    } while (Take(','));
    if (!AtEnd() && Peek() != ';') {
        return ParseError{kSyntaxError, "parameters are separated by commas"};
    }
    return std::nullopt;
}

}  // namespace

ParsedMessage ParseMessage(std::string_view message) {
    ParsedMessage parsed;
    Cursor cursor(message);
    while (true) {
        cursor.SkipSpace();
        if (cursor.AtEnd()) {
            break;
        }
        if (cursor.Take(';')) {
            continue;  // an empty command
        }
        Command command;
        if (auto error = cursor.Header(command)) {
            parsed.error = std::move(error);
            break;
        }
        if (auto error = cursor.Parameters(command)) {
            parsed.error = std::move(error);
            break;
        }
        parsed.commands.push_back(std::move(command));
        if (!cursor.Take(';') && !cursor.AtEnd()) {
            parsed.error = ParseError{kSyntaxError, "commands are separated by semicolons"};
            break;
        }
    }
    return parsed;
}

bool MnemonicMatches(std::string_view pattern, std::string_view written) {
    std::size_t shortLength = 0;
    while (shortLength < pattern.size() &&
           !std::islower(static_cast<unsigned char>(pattern[shortLength]))) {
        ++shortLength;
    }
    const auto same = [](std::string_view a, std::string_view b) {
        if (a.size() != b.size()) {
            return false;
        }
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (std::toupper(static_cast<unsigned char>(a[i])) !=
                std::toupper(static_cast<unsigned char>(b[i]))) {
                return false;
            }
        }
        return true;
    };
    return same(pattern.substr(0, shortLength), written) || same(pattern, written);
}

}  // namespace zx840::scpi
