#include "record/measurement_file.h"

#include <cerrno>

#include "record/archive.h"

namespace zx840 {

std::vector<std::uint8_t> SerializeTest(const ProductMark& mark, const MeasurementRecord& record) {
    std::vector<std::uint8_t> out;
    out.reserve(2503 + mark.Type.size() + mark.Temperature.size() + mark.Humidity.size() +
                mark.Operator.size() + mark.Testday.size() + mark.Inspector.size() +
                mark.Manufacturer.size() + 7 * 6);
    WriteArchiveString(out, kTestFileSignature);
    WriteInt32(out, mark.Number);
    for (const std::string* text : {&mark.Type, &mark.Temperature, &mark.Humidity, &mark.Operator,
                                    &mark.Testday, &mark.Inspector, &mark.Manufacturer}) {
        WriteArchiveString(out, *text);
    }
    for (const float value : {record.Urms, record.Irms, record.PF, record.Power, record.Ucf,
                              record.Icf, record.Freq, record.Uthd, record.Ithd}) {
        WriteFloat(out, value);
    }
    for (std::size_t k = 0; k < record.USpec.size(); ++k) {
        WriteFloat(out, record.USpec[k]);
        WriteFloat(out, record.ISpec[k]);
    }
    for (std::size_t n = 0; n < record.UWave.size(); ++n) {
        WriteInt32(out, record.UWave[n]);
        WriteInt32(out, record.IWave[n]);
    }
    return out;
}

std::optional<TestFileContents> ParseTest(std::span<const std::uint8_t> bytes) {
    ArchiveReader in(bytes);
    TestFileContents file;
    ProductMark& mark = file.Mark;
    MeasurementRecord& record = file.Record;
    std::string signature;  // any string stands here
    bool ok = in.ReadString(&signature) && in.ReadInt32(&mark.Number);
    for (std::string* text : {&mark.Type, &mark.Temperature, &mark.Humidity, &mark.Operator,
                              &mark.Testday, &mark.Inspector, &mark.Manufacturer}) {
        ok = ok && in.ReadString(text);
    }
    for (float* value : {&record.Urms, &record.Irms, &record.PF, &record.Power, &record.Ucf,
                         &record.Icf, &record.Freq, &record.Uthd, &record.Ithd}) {
        ok = ok && in.ReadFloat(value);
    }
    for (std::size_t k = 0; ok && k < record.USpec.size(); ++k) {
        ok = in.ReadFloat(&record.USpec[k]) && in.ReadFloat(&record.ISpec[k]);
    }
    for (std::size_t n = 0; ok && n < record.UWave.size(); ++n) {
        ok = in.ReadInt32(&record.UWave[n]) && in.ReadInt32(&record.IWave[n]);
    }
    if (!ok) {
        return std::nullopt;
    }
    return file;
}

TestFileRead ReadTestFile(const std::string& path) {
    TestFileRead result;
    std::vector<std::uint8_t> bytes;
    const FileStatus status = ReadWholeFile(path, &bytes, kMaxTestFileBytes);
    if (status.sysErrno == EFBIG) {
        return result;  // too large to be a test file: not one
    }
    if (!status) {
        result.readStatus = status;
        return result;
    }
    result.contents = ParseTest(bytes);
    return result;
}

std::string DescribeTestFileReadError(const FileStatus& status) {
    return status.sysErrno == EFBIG ? std::string(kUnexpectedFileFormat) : status.Describe();
}

}  // namespace zx840
