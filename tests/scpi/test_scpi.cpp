// The remote-control language against a stand-in station: messages and
// their answers, the error queue and status registers, measuring with the
// exchange answered later, binary blocks, and a client gone mid-exchange.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>

#include "scpi/scpi_interpreter.h"
#include "tests/scpi_station_stub.h"

namespace zx840 {
namespace {

using scpi::Interpreter;
using scpi::Measurement;
using testing::StubStation;

Measurement Good(float urms) {
    Measurement m;
    m.ok = true;
    MeasurementRecord& r = m.working.Record;
    r.Urms = urms;
    r.Irms = 0.25f;
    r.PF = 0.5f;
    r.Freq = 50.0f;
    r.Power = 28.75f;
    r.Ucf = 1.414f;
    r.Icf = 3.0f;
    r.Uthd = 2.0f;
    r.USpec[0] = 100.0f;
    for (int i = 0; i < kSamplesPerPeriod; ++i) {
        r.UWave[static_cast<std::size_t>(i)] = i * 37 - 4000;
    }
    m.working.Angles = {30.5f, 90.0f, 150.25f};
    m.pass = false;
    m.failedChecks = {"Power", "IEC I3"};
    return m;
}

// Runs a message; the answer when it came at once, "(waits)" when not.
std::string Send(Interpreter& in, const std::string& message) {
    std::string response = "(waits)";
    in.Execute(message, [&response](std::optional<std::string> answer) {
        response = answer ? *answer : "(none)";
    });
    return response;
}

TEST(Scpi, MessagesAnswerAsTheLanguageHasIt) {
    StubStation station;
    station.immediate = Good(230.1f);
    Interpreter in(station);
    const struct {
        const char* message;
        const char* response;
    } cases[] = {
        {"*IDN?", "Maker,ZX840,0,1.05\n"},
        {"*idn?;:system:version?", "Maker,ZX840,0,1.05;1999.0\n"},
        {"SYST:ERR?", "0,\"No error\"\n"},
        {"FETC:VOLT?", "(none)"},  // nothing measured yet: -230
        // A relative header goes on from the path of the one before it.
        {"MARK:TYPE \"PS\"\"U\";TYPE?;:mark:type?", "\"PS\"\"U\";\"PS\"\"U\"\n"},
        {"MARK:NUMB 41;NUMB:STEP;:MARK:NUMBer?", "42\n"},
        {"SYST:COMM:SER:PORT COM3;BAUD 2400;PORT?;BAUD?", "COM3;2400\n"},
        {"CALC:LIM:PLAN \"PSU-60\";PLAN?;:MMEM:STOR:STAT OFF;STAT?", "\"PSU-60\";0\n"},
        {"MEAS:ALL?", "230.1,0.25,0.5,50,28.75,1.414,3\n"},
        {"FETCh:SCALar:VOLTage:RMS?;:FETC:VOLT:THD?;:FETC:CURR:ANGL?", "230.1;2;30.5,90,150.25\n"},
        {"CALC:LIM:FAIL?;CHEC?", "1;\"Power\",\"IEC I3\"\n"},
        {"FORM?;FORM REAL,32;FORM?;FORM:BORD?;:FORM ASC", "ASC;REAL,32;SWAP\n"},
        {"*CLS;*OPC;*ESR?;*OPC?", "1;1\n"},
        {"*RST;MARK:TYPE?;:CALC:LIM:PLAN?;:FORM?", "\"\";\"\";ASC\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Send(in, c.message), c.response) << c.message;
    }
    EXPECT_EQ(station.mark.Number, 1);  // *RST took the settings' mark back
}

TEST(Scpi, BadCommandsGoToTheErrorQueueAndTheStatusRegisters) {
    StubStation station;
    Interpreter in(station);
    const struct {
        const char* message;
        const char* error;
    } cases[] = {
        {"MEAS:VOLT:FOO?", "-113,\"Undefined header;MEAS:VOLT:FOO?\""},
        {"MARK:TYPE \"A\" \"B\"", "-102,\"Syntax error;parameters are separated by commas\""},
        {"*ESE", "-109,\"Missing parameter\""},
        {"*IDN? 5", "-108,\"Parameter not allowed\""},
        {"SYST:COMM:SER:BAUD 1234",
         "-222,\"Data out of range;the meter speaks at 2400 or 9600 baud\""},
        {"CALC:LIM:PLAN \"other\"",
         "-222,\"Data out of range;no plan \"\"other\"\" in the plan folder\""},
        {"MARK:TYPE \"a\x01\"",
         "-151,\"Invalid string data;UTF-8 text without control characters\""},
        {"MARK:NUMB 2.5", "-222,\"Data out of range\""},
        {"MARK:TYPE PSU", "-104,\"Data type error;a quoted string\""},
        {"CALC:LIM:PLAN \"../x\"", "-151,\"Invalid string data;a plan's name, not a path\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Send(in, c.message), "(none)") << c.message;
        EXPECT_EQ(Send(in, "SYST:ERR?"), std::string(c.error) + "\n") << c.message;
    }
    // Commands before a syntax error run; the rest of the message does not.
    EXPECT_EQ(Send(in, "MARK:NUMB 7;NUMB?;NUMB 8 9 ;NUMB?"), "7\n");
    EXPECT_EQ(in.NextError(), "-102,\"Syntax error;parameters are separated by commas\"");
    // A message dropped for its length is said; status bits follow errors.
    in.TooLong();
    EXPECT_EQ(Send(in, "*STB?"), "4\n");                    // error queue not empty
    EXPECT_EQ(Send(in, "*ESE 32;*SRE 32;*STB?"), "100\n");  // + event summary + service request
    // Command and execution errors, cleared on reading.
    EXPECT_EQ(Send(in, "*ESR?;*ESR?"), "48;0\n");
    EXPECT_EQ(in.NextError(), "-223,\"Too much data;a message holds at most 65536 bytes\"");
    // The queue holds 16; the last place then says it overflowed.
    for (int i = 0; i < 20; ++i) {
        Send(in, "NOPE");
    }
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(in.NextError(), "-113,\"Undefined header;NOPE\"");
    }
    EXPECT_EQ(in.NextError(), "-350,\"Queue overflow\"");
    EXPECT_EQ(in.NextError(), "0,\"No error\"");
}

TEST(Scpi, MeasuringWaitsForTheExchangeAndAFailureKeepsTheLastGoodOne) {
    StubStation station;
    auto in = std::make_unique<Interpreter>(station);
    std::vector<std::string> responses;
    const auto collect = [&responses](std::optional<std::string> answer) {
        responses.push_back(answer.value_or("(none)"));
    };
    in->Execute("MARK:NUMB 5;:READ:VOLT?;:CALC:LIM:FAIL?", collect);
    EXPECT_TRUE(in->Busy());
    EXPECT_TRUE(responses.empty());
    ASSERT_EQ(station.waiting.size(), 1u);
    station.Answer(Good(230.0f));
    EXPECT_EQ(responses, (std::vector<std::string>{"230;1\n"}));
    EXPECT_FALSE(in->Busy());

    // A failed exchange is a hardware error with the meter's text, never a
    // stale value; FETCh still gives the last good measurement.
    in->Execute("INIT;:MEAS:VOLT?", collect);
    Measurement failed;
    failed.failure = "F2";
    failed.message = "The meter did not answer.";
    station.Answer(failed);
    station.Answer(failed);
    EXPECT_EQ(responses.back(), "(none)");
    EXPECT_EQ(Send(*in, "SYST:ERR?;ERR?;ERR?;:FETC:VOLT?"),
              "-240,\"Hardware error;F2: The meter did not answer.\";"
              "-240,\"Hardware error;F2: The meter did not answer.\";0,\"No error\";230\n");

    // Binary blocks: 256 float32 samples, little-endian unless NORMal.
    for (const bool swapped : {true, false}) {
        const std::string response =
            Send(*in, swapped ? "FORM REAL;:FETC:ARR:VOLT?" : "FORM:BORD NORM;:FETC:ARR:VOLT?");
        ASSERT_EQ(response.size(), 6u + 1024u + 1u);
        EXPECT_EQ(response.substr(0, 6), "#41024");
        for (int i = 0; i < kSamplesPerPeriod; ++i) {
            unsigned char b[4];
            std::memcpy(b, response.data() + 6 + 4 * i, 4);
            const std::uint32_t word =
                swapped ? b[0] | b[1] << 8 | b[2] << 16 | std::uint32_t{b[3]} << 24
                        : b[3] | b[2] << 8 | b[1] << 16 | std::uint32_t{b[0]} << 24;
            EXPECT_EQ(std::bit_cast<float>(word), static_cast<float>(i * 37 - 4000)) << i;
        }
    }

    // A client gone mid-exchange: the exchange ends for the station alone.
    in->Execute("READ:VOLT?", collect);
    const std::size_t before = responses.size();
    in.reset();
    station.Answer(Good(1.0f));
    EXPECT_EQ(responses.size(), before);
}

}  // namespace
}  // namespace zx840
