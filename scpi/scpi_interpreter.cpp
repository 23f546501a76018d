#include "scpi/scpi_interpreter.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "record/record_json.h"

namespace zx840::scpi {

Interpreter::Interpreter(Station& station)
    : station_(station), entries_(Commands()), alive_(std::make_shared<bool>(true)) {}

Interpreter::~Interpreter() {
    *alive_ = false;  // an exchange under way finishes for the station alone
}

void Interpreter::Error(int code, const std::string& detail) {
    std::string text(ErrorText(code));
    if (!detail.empty()) {
        text += ";";
        text += detail;
    }
    if (errors_.size() >= kErrorQueueSize) {
        errors_.back() = {kQueueOverflow, std::string(ErrorText(kQueueOverflow))};
    } else {
        errors_.emplace_back(code, std::move(text));
    }
    // The event status bit of the error's class.
    if (code <= -100 && code > -200) {
        esr_ |= kCommandErrorBit;
    } else if (code <= -200 && code > -300) {
        esr_ |= kExecutionErrorBit;
    } else if (code <= -300 && code > -400) {
        esr_ |= kDeviceErrorBit;
    } else if (code <= -400) {
        esr_ |= kQueryErrorBit;
    }
}

std::string Interpreter::NextError() {
    if (errors_.empty()) {
        return "0,\"No error\"";
    }
    const auto [code, text] = errors_.front();
    errors_.pop_front();
    std::string entry = std::to_string(code);
    entry += ',';
    entry += Quoted(text);
    return entry;
}

std::uint8_t Interpreter::StatusByte() const {
    std::uint8_t stb = 0;
    if (!errors_.empty()) {
        stb |= 0x04;
    }
    if ((esr_ & ese_) != 0) {
        stb |= 0x20;
    }
    if ((stb & sre_ & ~0x40) != 0) {
        stb |= 0x40;
    }
    return stb;
}

void Interpreter::TooLong() {
    Error(kTooMuchData, "a message holds at most 65536 bytes");
}

void Interpreter::Execute(std::string_view message, Finished finished) {
    ParsedMessage parsed = ParseMessage(message);
    commands_ = std::move(parsed.commands);
    next_ = 0;
    answers_.clear();
    path_.clear();
    finished_ = std::move(finished);
    pendingError_ = std::move(parsed.error);
    busy_ = true;
    Run();
}

// Runs commands until the message ends or one waits for the meter.
void Interpreter::Run() {
    while (next_ < commands_.size()) {
        const Command& command = commands_[next_++];
        waiting_ = false;
        RunOne(command);
        if (waiting_) {
            return;  // Exchange() goes on
        }
    }
    if (pendingError_) {
        Error(pendingError_->code, pendingError_->detail);
        pendingError_.reset();
    }
    busy_ = false;
    std::optional<std::string> response;
    if (!answers_.empty()) {
        response = answers_.front();
        for (std::size_t i = 1; i < answers_.size(); ++i) {
            *response += ';';
            *response += answers_[i];
        }
        *response += '\n';
    }
    Finished finished = std::move(finished_);
    finished_ = nullptr;
    if (finished) {
        finished(std::move(response));
    }
}

void Interpreter::RunOne(const Command& command) {
    std::vector<std::string> resolved;
    const Entry* entry = Find(command, &resolved);
    if (entry == nullptr) {
        std::string header = command.common ? "*" : "";
        for (std::size_t i = 0; i < command.path.size(); ++i) {
            if (i > 0) {
                header += ':';
            }
            header += command.path[i];
        }
        if (command.query) {
            header += '?';
        }
        Error(kUndefinedHeader, header);
        return;
    }
    if (!command.common) {
        path_.assign(resolved.begin(), resolved.end() - 1);
    }
    if (command.parameters.size() < entry->minParameters) {
        Error(kMissingParameter);
        return;
    }
    if (command.parameters.size() > entry->maxParameters) {
        Error(kParameterNotAllowed);
        return;
    }
    entry->run(*this, command);
}

const Interpreter::Entry* Interpreter::Find(const Command& command,
                                            std::vector<std::string>* resolved) const {
    // Relative to the path of the command before, as the language has it;
    // else from the root, as clients that forget the leading colon expect.
    std::vector<std::vector<std::string>> tries;
    if (!command.common && !command.absolute && !path_.empty()) {
        std::vector<std::string> relative = path_;
        relative.insert(relative.end(), command.path.begin(), command.path.end());
        tries.push_back(std::move(relative));
    }
    tries.push_back(command.path);
    for (const std::vector<std::string>& path : tries) {
        for (const Entry& entry : entries_) {
            if (entry.common == command.common && entry.query == command.query &&
                entry.Matches(path)) {
                *resolved = path;
                return &entry;
            }
        }
    }
    return nullptr;
}

bool Interpreter::Take(const Measurement& measured) {
    if (!measured.ok) {
        Error(kHardwareError, measured.failure + ": " + measured.message);
        return false;
    }
    last_ = measured;
    return true;
}

void Interpreter::Exchange(std::function<void(const Measurement&)> then) {
    waiting_ = true;
    std::weak_ptr<bool> alive = alive_;
    station_.Measure([this, alive, then = std::move(then)](const Measurement& measured) {
        const auto living = alive.lock();
        if (!living || !*living) {
            return;  // the client is gone; the station kept the result
        }
        then(measured);
        Run();
    });
}

std::string Interpreter::Numbers(const std::vector<double>& values, bool floats) const {
    if (binary_) {
        std::vector<float> asFloats(values.begin(), values.end());
        return Block(asFloats);
    }
    std::string text;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) {
            text += ',';
        }
        const double value = values[i];
        if (!std::isfinite(value)) {
            text += "9.91E+37";  // not a number, as the language writes it
        } else {
            text += floats ? JsonFloat(static_cast<float>(value)) : ShortestDouble(value);
        }
    }
    return text;
}

std::string Interpreter::Block(const std::vector<float>& values) const {
    std::string bytes;
    bytes.reserve(values.size() * 4);
    for (const float value : values) {
        auto word = std::bit_cast<std::uint32_t>(value);
        for (int i = 0; i < 4; ++i) {
            const int shift = swapped_ ? 8 * i : 8 * (3 - i);
            bytes += static_cast<char>((word >> shift) & 0xFF);
        }
    }
    const std::string length = std::to_string(bytes.size());
    std::string block = "#";
    block += std::to_string(length.size());
    block += length;
    block += bytes;
    return block;
}

std::string Quoted(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    quoted += '"';
    return quoted;
}

}  // namespace zx840::scpi
