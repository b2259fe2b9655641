#include "record_scan.h"

#include <array>
#include <cstring>

#include "engine_state.h"
#include "event_pump.h"
#include "oplog.h"
#include "record_frame.h"
#include "rollover.h"

namespace quenrix {
namespace {

constexpr std::size_t kLongestFixedRecord = 512;

}  // namespace

bool ScanRecords(const std::string& inputPath, const std::string& workPath,
                 std::span<const RecordKind> kinds, const char* workFileOpenFailure) {
    const std::string& log = Engine().LogFilePath;
    InputFile input;
    if (!input.Open(inputPath)) {
        WriteLog(log, " > ERROR：ファイルOpen失敗");
        return false;
    }
    OutputFile work;
    if (!work.Create(workPath)) {
        input.Close();
        WriteLog(log, workFileOpenFailure);
        return false;
    }

    // A slow disk does not keep the window waiting either.
    input.SetWhileWaiting(PumpEvents);
    work.SetWhileWaiting(PumpEvents);

    std::array<const RecordKind*, 256> byKind{};
    for (const RecordKind& kind : kinds) {
        byKind[kind.kind] = &kind;
    }

    RolloverBoundsScope bounds;
    bool syncSeen = false;
    std::uint64_t nextPump = 0;
    for (;;) {
        if (input.Position() >= nextPump) {
            PumpEvents();
            bounds.Refresh();
            nextPump = input.Position() + kPumpInterval;
        }
        std::uint8_t byte;
        InputFile::Status status = input.ReadByte(byte);
        if (status == InputFile::Status::End) {
            break;
        }
        if (status == InputFile::Status::Error) {
            WriteLog(log, " > ERROR：ファイルRead失敗");
            return false;
        }
        if (byte == kSyncByte) {
            syncSeen = true;
            continue;
        }
        const RecordKind* kind = byKind[byte];
        if (syncSeen && kind != nullptr && !kind->correct(input, work)) {
            WriteLog(log, kind->failureMessage);
            if (work.Failed()) {
                // The work file lost bytes: it can never become a whole
                // corrected file, so the scan stops here.
                return false;
            }
        }
        syncSeen = false;
    }
    Engine().Counts.inputBytes = input.Position();
    // Bytes still buffered reach the disk here; a file that could not take
    // them all is no complete work file.
    return work.Close();
}

const std::uint8_t* ReadRecordBody(InputFile& input, std::size_t n, std::uint8_t* staging) {
    if (const std::uint8_t* body = input.Peek(n)) {
        input.Skip(n);
        return body;
    }
    return input.Read(staging, n) == n ? staging : nullptr;
}

const std::uint8_t* AppendRecord(OutputFile& work, std::uint8_t kind, const std::uint8_t* body,
                                 std::size_t covered,
                                 std::initializer_list<std::size_t> timeOffsets) {
    const std::size_t length = covered + 2;
    std::uint8_t* record = work.Reserve(length);
    if (record == nullptr) {
        return nullptr;
    }
    record[0] = kSyncByte;
    record[1] = kind;
    std::memcpy(record + 2, body, length - 2);
    for (std::size_t offset : timeOffsets) {
        CorrectTimeField(record, covered, offset);
    }
    work.Commit(length);
    ConversionCounts& counts = Engine().Counts;
    ++counts.accepted[kind];
    counts.outputBytes += length;
    return record;
}

bool CorrectFixedLengthRecord(InputFile& input, OutputFile& work, std::uint8_t kind,
                              std::size_t length, std::initializer_list<std::size_t> timeOffsets,
                              bool capturesFirstTime) {
    try {
        if (length < 4 || length > kLongestFixedRecord) {
            return false;
        }
        ConversionCounts& counts = Engine().Counts;
        std::uint8_t staging[kLongestFixedRecord];
        const std::uint8_t* body = ReadRecordBody(input, length - 2, staging);
        if (body == nullptr) {
            ++counts.cutShort[kind];
            return false;
        }
        const std::size_t covered = length - 2;
        if (!CheckValueMatches(kind, body, covered)) {
            ++counts.badCheck[kind];
            return false;
        }
        const std::uint8_t* record = AppendRecord(work, kind, body, covered, timeOffsets);
        if (record == nullptr) {
            return false;
        }
        if (capturesFirstTime && Engine().FirstGpsTime == 0) {
            std::memcpy(&Engine().FirstGpsTime, record + 2, 4);  // as corrected
        }
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace quenrix
