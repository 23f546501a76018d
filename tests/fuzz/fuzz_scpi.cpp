// libFuzzer target for the remote-control language, bytes as a client
// sends them: cut into messages (the length limit set low, so that long
// messages are met), each run against a stand-in station that measures at
// once.
// - nothing is read past its end, nothing overflows;
// - every response is one line, ended by its line feed;
// - the error queue never holds more than its 16 entries, and reading it
//   empties it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "scpi/scpi_interpreter.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/scpi_station_stub.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zx840;
    using zx840::fuzz::Check;
    testing::StubStation station;
    scpi::Measurement measured;
    measured.ok = true;
    measured.working.Record.Urms = 230.0f;
    measured.pass = true;
    station.immediate = measured;
    scpi::Interpreter interpreter(station);
    scpi::MessageReader reader(256);
    std::vector<scpi::MessageReader::Item> items;
    reader.Feed(std::string_view(reinterpret_cast<const char*>(data), size), items);
    Check(reader.Pending() <= 256);
    for (const auto& item : items) {
        if (item.tooLong) {
            interpreter.TooLong();
            continue;
        }
        Check(item.text.size() <= 256);
        bool answered = false;
        interpreter.Execute(item.text, [&answered](std::optional<std::string> response) {
            answered = true;
            if (response) {
                Check(!response->empty() && response->back() == '\n');
                // Text answers are one line; binary blocks say their length.
                Check(response->find('#') != std::string::npos ||
                      response->find('\n') == response->size() - 1);
            }
        });
        Check(answered && !interpreter.Busy());
    }
    int errors = 0;
    while (interpreter.NextError() != "0,\"No error\"") {
        ++errors;
        Check(errors <= static_cast<int>(scpi::kErrorQueueSize));
    }
    return 0;
}
