// One client's side of the remote control: its error queue, status
// registers and data format, the commands of its messages run in order
// against the station. A command that needs the meter waits for the
// station's exchange; the message goes on when it is done.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scpi/scpi_parser.h"
#include "scpi/scpi_station.h"

namespace zx840::scpi {

inline constexpr std::size_t kErrorQueueSize = 16;
inline constexpr std::size_t kMaxMarkText = 255;  // bytes of a product field set remotely

// A string as a response gives it: quoted, quotes doubled.
std::string Quoted(std::string_view text);

class Interpreter {
  public:
    explicit Interpreter(Station& station);
    ~Interpreter();
    Interpreter(const Interpreter&) = delete;
    Interpreter& operator=(const Interpreter&) = delete;

    // Runs one message. `finished` gets its response (answers joined by
    // semicolons, ended by a line feed), or nothing when it had no answer:
    // at once, or after the exchanges it waits for. One message at a time.
    using Finished = std::function<void(std::optional<std::string>)>;
    void Execute(std::string_view message, Finished finished);
    // A message was dropped for its length.
    void TooLong();
    bool Busy() const { return busy_; }

    // The next entry of the error queue as SYSTem:ERRor? gives it.
    std::string NextError();

    // *STB?: error queue not empty (bit 2), event summary (bit 5), service
    // request (bit 6).
    std::uint8_t StatusByte() const;

    // Event status register bits.
    static constexpr std::uint8_t kOperationCompleteBit = 0x01;
    static constexpr std::uint8_t kQueryErrorBit = 0x04;
    static constexpr std::uint8_t kDeviceErrorBit = 0x08;
    static constexpr std::uint8_t kExecutionErrorBit = 0x10;
    static constexpr std::uint8_t kCommandErrorBit = 0x20;

  private:
    // A command of the tree: its header as the language writes it
    // ("MEASure[:SCALar]:VOLTage[:RMS]?"), its parameters and its work.
    struct Entry {
        struct Node {
            std::string mnemonic;
            bool optional = false;
        };
        bool common = false;
        bool query = false;
        std::vector<Node> nodes;
        std::size_t minParameters = 0;
        std::size_t maxParameters = 0;
        std::function<void(Interpreter&, const Command&)> run;

        Entry(std::string_view header, std::size_t minimum, std::size_t maximum,
              std::function<void(Interpreter&, const Command&)> work);
        bool Matches(const std::vector<std::string>& path, std::size_t node = 0,
                     std::size_t at = 0) const;
    };
    using Table = std::vector<Entry>;
    // Made once, shared by every client: its entries hold no state.
    static const Table& Commands();
    static void AddCommon(Table& table);
    static void AddSystem(Table& table);
    static void AddMeasuring(Table& table);
    static void AddMark(Table& table);
    static void AddLimits(Table& table);

    void Run();
    void RunOne(const Command& command);
    const Entry* Find(const Command& command, std::vector<std::string>* resolved) const;
    void Error(int code, const std::string& detail = {});
    // Keeps a good measurement as this client's last; a failure goes to the
    // error queue as a hardware error with the meter's text. Whether it was good.
    bool Take(const Measurement& measured);
    void Answer(std::string text) { answers_.push_back(std::move(text)); }
    // Asks the station for an exchange; `then` runs with it, and the
    // message goes on.
    void Exchange(std::function<void(const Measurement&)> then);
    std::string Numbers(const std::vector<double>& values, bool floats) const;
    std::string Block(const std::vector<float>& values) const;

    Station& station_;
    const std::vector<Entry>& entries_;
    // Per client.
    std::deque<std::pair<int, std::string>> errors_;
    std::uint8_t esr_ = 0;
    std::uint8_t ese_ = 0;
    std::uint8_t sre_ = 0;
    bool binary_ = false;
    bool swapped_ = true;              // little-endian blocks, as most clients read them
    std::optional<Measurement> last_;  // the last good measurement of this client
    // The message under way.
    std::vector<Command> commands_;
    std::size_t next_ = 0;
    std::vector<std::string> path_;  // where relative headers start
    std::vector<std::string> answers_;
    std::optional<ParseError> pendingError_;  // told once the commands before it ran
    Finished finished_;
    bool busy_ = false;
    bool waiting_ = false;  // the command run last waits for an exchange
    // Told to exchanges under way that the client is gone.
    std::shared_ptr<bool> alive_;
};

}  // namespace zx840::scpi
