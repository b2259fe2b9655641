#include "record_scan.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "engine_state.h"
#include "event_pump.h"
#include "oplog.h"
#include "record_frame.h"
#include "rollover.h"

namespace quenrix {

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

    // Hands the rest of a record to the corrector of its kind; false when
    // the work file lost bytes: it can never become a whole corrected
    // file, so the scan stops there.
    const auto Correct = [&](const RecordKind& kind) {
        if (kind.correct(input, work)) {
            return true;
        }
        WriteLog(log, kind.failureMessage);
        return !work.Failed();
    };

    RolloverBoundsScope bounds;
    bool syncSeen = false;
    std::uint64_t nextPump = 0;
    for (;;) {
        if (input.Position() >= nextPump) {
            PumpEvents();
            bounds.Refresh();
            nextPump = input.Position() + kPumpInterval;
        }
        if (!syncSeen) {
            // Looked at in the buffer, up to the window's next turn.
            const std::size_t window = static_cast<std::size_t>(
                std::min<std::uint64_t>(input.Buffered(), nextPump - input.Position()));
            const std::uint8_t* here = input.Peek(window);
            const RecordKind* kind =
                window >= 2 && here[0] == kSyncByte ? byKind[here[1]] : nullptr;
            if (kind != nullptr) {
                // Most often a record starts right here.
                input.Skip(2);
                if (!Correct(*kind)) {
                    return false;
                }
                continue;
            }
            // Outside a record only a sync byte matters: the bytes before
            // the next one go at once.
            if (window > 0 && *here != kSyncByte) {
                const void* sync = std::memchr(here, kSyncByte, window);
                input.Skip(sync != nullptr ? static_cast<const std::uint8_t*>(sync) - here
                                           : window);
                if (sync == nullptr) {
                    continue;
                }
            }
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
        if (syncSeen && kind != nullptr && !Correct(*kind)) {
            return false;
        }
        syncSeen = false;
    }
    Engine().Counts.inputBytes = input.Position();
    // Bytes still buffered reach the disk here; a file that could not take
    // them all is no complete work file.
    return work.Close();
}

}  // namespace quenrix
