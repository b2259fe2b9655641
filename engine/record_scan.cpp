#include "record_scan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine_state.h"
#include "event_pump.h"
#include "oplog.h"
#include "record_frame.h"
#include "rollover.h"

namespace quenrix {
namespace {

// Where the first sync byte of the n bytes lies; n when there is none.
// Most runs of bytes between records are short: the first sixteen are
// looked at in one go.
std::size_t FindSync(const std::uint8_t* bytes, std::size_t n) {
    std::size_t from = 0;
#if defined(__SSE2__)
    if (n >= 16) {
        const __m128i sync = _mm_set1_epi8(static_cast<char>(kSyncByte));
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
        const int found = _mm_movemask_epi8(_mm_cmpeq_epi8(first, sync));
        if (found != 0) {
            return static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(found)));
        }
        from = 16;
    }
#endif
    const void* found = std::memchr(bytes + from, kSyncByte, n - from);
    return found != nullptr
               ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - bytes)
               : n;
}

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
            // Looked at in the buffer, up to the window's next turn. Outside
            // a record only a sync byte matters: the bytes before the next
            // one go at once.
            const std::size_t window = static_cast<std::size_t>(
                std::min<std::uint64_t>(input.Buffered(), nextPump - input.Position()));
            const std::uint8_t* here = input.Peek(window);
            const std::size_t sync =
                window > 0 && here[0] != kSyncByte ? FindSync(here, window) : 0;
            input.Skip(sync);
            if (window > 0 && sync == window) {
                continue;
            }
            // Most often a record starts at the sync byte.
            const RecordKind* kind = window - sync >= 2 ? byKind[here[sync + 1]] : nullptr;
            if (kind != nullptr) {
                input.Skip(2);
                if (!Correct(*kind)) {
                    return false;
                }
                continue;
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
