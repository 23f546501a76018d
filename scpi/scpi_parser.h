// The remote-control language as it arrives on a socket: messages ended by
// a line feed (a carriage return before it is dropped), each a list of
// commands separated by semicolons, each a header and its parameters.
// Pure: no I/O and no Qt; every byte comes from a client and is hostile.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zx840::scpi {

// Standard error numbers of the error queue, with their texts.
enum ErrorCode : int {
    kNoError = 0,
    kCommandError = -100,
    kSyntaxError = -102,
    kDataTypeError = -104,
    kParameterNotAllowed = -108,
    kMissingParameter = -109,
    kUndefinedHeader = -113,
    kInvalidStringData = -151,
    kDataOutOfRange = -222,
    kTooMuchData = -223,
    kIllegalParameterValue = -224,
    kDataCorruptOrStale = -230,
    kHardwareError = -240,
    kQueueOverflow = -350,
};
std::string_view ErrorText(int code);

inline constexpr std::size_t kMaxMessageBytes = 64 * 1024;

// Cuts a byte stream into messages. A message longer than the limit is
// dropped whole, up to its line feed, and reported once; what follows is
// read as usual.
class MessageReader {
  public:
    struct Item {
        bool tooLong = false;  // a message was dropped here
        std::string text;      // without its line feed and carriage return
    };

    explicit MessageReader(std::size_t limit = kMaxMessageBytes) : limit_(limit) {}
    void Feed(std::string_view bytes, std::vector<Item>& out);
    // Bytes held of a message not ended yet.
    std::size_t Pending() const { return partial_.size(); }

  private:
    std::size_t limit_;
    std::string partial_;
    bool dropping_ = false;
};

struct Parameter {
    enum class Kind { Number, String, Word };
    Kind kind = Kind::Word;
    double number = 0.0;  // Number
    std::string text;     // String (unquoted) or Word (as written)
};

// One command of a message: its header split at the colons.
struct Command {
    bool common = false;  // *IDN? and the like: `path` holds "IDN"
    bool query = false;
    bool absolute = false;  // began with a colon
    std::vector<std::string> path;
    std::vector<Parameter> parameters;
};

struct ParseError {
    int code = kSyntaxError;
    std::string detail;
};

// The commands of one message, or the first error and the commands before
// it (those run; the rest of the message does not).
struct ParsedMessage {
    std::vector<Command> commands;
    std::optional<ParseError> error;
};
ParsedMessage ParseMessage(std::string_view message);

// A mnemonic of a command tree ("VOLTage": short form VOLT) matches the
// short form or the whole long form, in any case.
bool MnemonicMatches(std::string_view pattern, std::string_view written);

}  // namespace zx840::scpi
