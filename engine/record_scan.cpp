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
#include "paths.h"
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

// A record that runs past the read buffer: its bytes are gathered piece
// by piece, as many as the corrector asks for, so that one cut short by
// the end of the input stops at the piece it lacks.
bool CorrectAcrossBuffers(InputFile& input, const RecordKind& kind, RecordSink& sink) {
    std::uint8_t record[kLongestRecord] = {kSyncByte, kind.kind};
    std::size_t have = 2;
    for (;;) {
        bool written = false;
        const std::size_t need = kind.correct(record, have, sink, written);
        if (need <= have) {
            return written;
        }
        if (need > sizeof record || input.Read(record + have, need - have) != need - have) {
            ++sink.engine.Counts.cutShort[kind.kind];
            return false;
        }
        have = need;
    }
}

}  // namespace

bool ScanRecords(const std::string& inputPath, const std::string& workPath,
                 std::span<const RecordKind> kinds, RecordCorrector correctAnyKind,
                 const char* workFileOpenFailure) {
    const std::string& log = Engine().LogFilePath;
    InputFile input;
    if (!input.Open(inputPath)) {
        WriteLog(log, " > ERROR：ファイルOpen失敗");
        NoteFailure("cannot read: " + input.Failure());
        return false;
    }
    OutputFile work;
    if (!work.Create(workPath)) {
        NoteFailure("cannot write the work file " + PathText(workPath) + ": " + work.Failure());
        input.Close();
        WriteLog(log, workFileOpenFailure);
        return false;
    }
    const auto workFileLost = [&] {
        NoteFailure("cannot write the work file " + PathText(workPath) + ": " + work.Failure());
        return false;
    };

    // The work file takes about as many bytes as the input holds.
    work.ExpectSize(input.Size());

    // A slow disk does not keep the window waiting either.
    input.SetWhileWaiting(PumpEvents);
    work.SetWhileWaiting(PumpEvents);

    std::array<const RecordKind*, 256> byKind{};
    for (const RecordKind& kind : kinds) {
        byKind[kind.kind] = &kind;
    }

    RecordSink sink{work, Engine(), RolloverRule(CurrentRolloverBounds())};
    // A record that was not written is logged. False when the work file
    // lost bytes: it can never become a whole corrected file, so the scan
    // stops there.
    const auto KeepScanning = [&](const RecordKind& kind, bool written) {
        if (written) {
            return true;
        }
        WriteLog(log, kind.failureMessage);
        return !work.Failed() || workFileLost();
    };

    bool syncSeen = false;
    std::uint64_t nextPump = 0;
    for (;;) {
        if (input.Position() >= nextPump) {
            PumpEvents();
            sink.rule = RolloverRule(CurrentRolloverBounds());
            nextPump = input.Position() + kPumpInterval;
        }
        if (!syncSeen) {
            // The buffer is looked through in place up to the window's next
            // turn: outside a record only a sync byte matters, and a record
            // that the buffer holds whole is corrected where it lies.
            const std::size_t buffered = input.Buffered();
            const std::uint8_t* const here = input.Peek(buffered);
            const std::uint8_t* const end = here + buffered;
            const std::uint8_t* const turn =
                here + std::min<std::uint64_t>(buffered, nextPump - input.Position());
            const std::uint8_t* p = here;
            const RecordKind* kind = nullptr;
            bool written = true;
            while (p < turn) {
                p += FindSync(p, static_cast<std::size_t>(turn - p));
                if (p == turn || end - p < 2 || (kind = byKind[p[1]]) == nullptr) {
                    break;
                }
                const std::size_t available = static_cast<std::size_t>(end - p);
                const std::size_t length = correctAnyKind(p, available, sink, written);
                if (length > available) {
                    break;  // it runs past the buffer
                }
                p += length;
                if (!written) {
                    break;
                }
                kind = nullptr;
            }
            input.Skip(static_cast<std::size_t>(p - here));
            if (!written) {
                if (!KeepScanning(*kind, false)) {
                    return false;
                }
                continue;
            }
            if (p == turn && buffered > 0) {
                continue;
            }
            if (kind != nullptr) {
                input.Skip(2);
                if (!KeepScanning(*kind, CorrectAcrossBuffers(input, *kind, sink))) {
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
            NoteFailure("cannot read at byte " + std::to_string(input.Position()) + ": " +
                        input.Failure());
            return false;
        }
        if (byte == kSyncByte) {
            syncSeen = true;
            continue;
        }
        const RecordKind* kind = byKind[byte];
        if (syncSeen && kind != nullptr &&
            !KeepScanning(*kind, CorrectAcrossBuffers(input, *kind, sink))) {
            return false;
        }
        syncSeen = false;
    }
    Engine().Counts.inputBytes = input.Position();
    // Bytes still buffered reach the disk here; a file that could not take
    // them all is no complete work file.
    return work.Close() || workFileLost();
}

}  // namespace quenrix
