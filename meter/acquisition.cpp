#include "meter/acquisition.h"

#include "analysis/conduction_angles.h"

namespace zx840 {

OperatorMessage FailureMessage(AcquireFailure failure) {
    switch (failure) {
        case AcquireFailure::None:
            return {};
        case AcquireFailure::OpenFailed:
            return {
                "Can't get touch with mainframe! Please check:\n1.The communication port;\n"
                "2.The communication cable;\n3.The power.",
                kAppTitle};
        case AcquireFailure::WriteFailed:
            return {"Can't write the port!", "Error"};
        case AcquireFailure::BadReply:
            return {
                "Communication failed!Please check:\n1.The communication port;\n"
                "2.The communication cable;\n3.The power.",
                kAppTitle};
    }
    return {};
}

ExchangeResult ExchangeWithMeter(const std::string& device, std::int32_t baudRate,
                                 const ReadTimeouts& timeouts) {
    ExchangeResult result;
    const Request request = BuildRequest(baudRate);

    SerialPort port;
    result.port = port.Open(device);
    if (!result.port) {
        result.failure = AcquireFailure::OpenFailed;
        return result;
    }
    // A line that cannot be set up shows itself as a failed exchange later.
    (void)port.SetLine(baudRate);
    // Whatever is queued came before this request: a reply that arrived after
    // an earlier exchange gave up, or the second copy of a doubled one. Taken
    // as the answer it would show an old measurement as new.
    (void)port.DiscardInput();
    result.port = port.Write(request);
    if (!result.port) {
        result.failure = AcquireFailure::WriteFailed;
        return result;  // the port closes with `port`
    }
    port.SetReadTimeouts(timeouts);
    const ReadResult read = port.Read(result.reply);
    port.Close();

    result.received = read.count;
    result.readErrno = read.sysErrno;
    if (!IsReplyAccepted(result.reply, result.received)) {
        result.failure = AcquireFailure::BadReply;
    }
    return result;
}

void ApplyReply(const Reply& reply, const HarmonicTable& table, WorkingRecord& working) {
    DecodeReply(reply, working.Record);
    ComputeHarmonics(table, working.Record);
    working.Angles = ComputeConductionAngles(working.Record);
    working.DataValid = 1;
}

AcquireResult Acquire(const std::string& device, std::int32_t baudRate, const HarmonicTable& table,
                      WorkingRecord& working, const ReadTimeouts& timeouts) {
    AcquireResult result;
    result.exchange = ExchangeWithMeter(device, baudRate, timeouts);
    if (result.exchange.failure == AcquireFailure::None) {
        ApplyReply(result.exchange.reply, table, working);
        result.ok = 1;
    }
    return result;
}

const char* FailureCode(AcquireFailure failure) {
    switch (failure) {
        case AcquireFailure::None:
            return "";
        case AcquireFailure::OpenFailed:
            return "F1";
        case AcquireFailure::WriteFailed:
            return "F2";
        case AcquireFailure::BadReply:
            return "F3";
    }
    return "F3";
}

}  // namespace zx840
