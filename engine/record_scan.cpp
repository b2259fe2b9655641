#include "engine/record_scan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/byte_order.h"
#include "engine/conversion.h"
#include "engine/event_pump.h"
#include "engine/outcome.h"
#include "engine/record_frame.h"
#include "engine/rollover.h"
#include "support/oplog.h"
#include "support/paths.h"
#include "support/sha256.h"

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
            ++sink.conversion.counts.cutShort[kind.kind];
            return false;
        }
        have = need;
    }
}

// One scan of an input into its work file, in named stages: the records
// that lie whole in the read buffer, a record across the buffer's end, and
// the byte-wise resynchronisation after a sync byte with no kind after it.
class RecordScanner {
  public:
    RecordScanner(const ConversionRequest& request, Conversion& conversion, InputFile& input,
                  std::span<const RecordKind> kinds, RecordCorrector correctAnyKind)
        : request_(request),
          conversion_(conversion),
          log_(request.log, conversion.log),
          correctAnyKind_(correctAnyKind),
          workPath_(request.workFile),
          input_(input),
          // The bounds are read at the first turn of the window, before
          // any record: until then the rule moves nothing.
          sink_{work_, conversion, RolloverRule(RolloverBounds{})} {
        for (const RecordKind& kind : kinds) byKind_[kind.kind] = &kind;
        if (request.giveBack != nullptr) {
            giveBack_.emplace(request.giveBack->moves);
            sink_.giveBack = &*giveBack_;
        } else if (request.describe) {
            sink_.moves = &conversion.moves;
        }
    }

    // Opens the input (or goes back to its start, where its check opened
    // it) and creates the work file; false (logged, with the reason noted)
    // when either fails.
    bool Open(const char* workFileOpenFailure) {
        const ConversionFolders& folders = conversion_.folders;
        if (!(input_.IsOpen() ? input_.Rewind()
                              : input_.Open(FileAt{folders.input.value, request_.input}))) {
            log_.Write(" > ERROR：ファイルOpen失敗");
            conversion_.Fail(Problem(Problem::Kind::CannotRead, {}, input_.Cause()));
            return false;
        }
        const FileAt work{folders.work.value, workPath_};
        if (request_.storing == Storing::Planned) {
            work_.CreateDiscarding();
        } else if (!(request_.reuseWorkFile && work_.Reuse(work, *request_.reuseWorkFile)) &&
                   !work_.CreateFresh(work)) {
            WorkFileLost();
            input_.Close();
            log_.Write(workFileOpenFailure);
            return false;
        }
        // What the input is as it is read: it must still be so at its end,
        // and when it is deleted.
        native::EntryInfo opened;
        if (input_.Inspect(opened)) {
            conversion_.input = opened;
            // The work file takes about as many bytes as the input holds:
            // what it holds on disk, not the size a sparse file claims.
            work_.ExpectSize(std::min(opened.size, opened.allocated));
        }
        if (request_.describe || request_.giveBack != nullptr) {
            // From the input's first byte on, as it is read and written.
            digests_.emplace();
            input_.DigestInto(&digests_->input);
            if (request_.storing == Storing::Real || request_.giveBack != nullptr)
                work_.DigestInto(&digests_->output);  // a check's plan has no use for it
        }
        // A slow disk does not keep the window waiting either.
        input_.SetWhileWaiting(request_.pump);
        work_.SetWhileWaiting(request_.pump);
        return true;
    }

    // Scans the input to its end. False when the scan had to stop: the
    // input could not be read or the work file lost bytes.
    bool Run() {
        for (;;) {
            if (input_.Position() >= nextPump_) {
                TurnOfTheWindow();
                if (request_.stop != nullptr && request_.stop->load()) {
                    // Asked to stop: what was read so far is no corrected file.
                    log_.Write(kInterruptedLog);
                    conversion_.Fail(Problem(Problem::Kind::Interrupted));
                    return true;
                }
            }
            if (!syncSeen_) {
                const Step step = ScanBuffer();
                if (step == Step::Stop)
                    return false;
                if (step == Step::Next)
                    continue;
            }
            const Step step = ScanByte();
            if (step == Step::Stop)
                return false;
            if (step == Step::End)
                break;
        }
        conversion_.counts.inputBytes = input_.Position();
        if (ChangedWhileRead()) {
            // Its corrected file would lack what was written meanwhile: it
            // is neither stored nor is its input deleted.
            log_.Write(kChangedWhileReadLog);
            conversion_.Fail(Problem(Problem::Kind::ChangedWhileRead));
            return true;
        }
        std::uint32_t first = sink_.firstTimeField;
        SwapBytes32(first);
        conversion_.firstGpsTime = first;
        // Bytes still buffered reach the disk here; a file that could not
        // take them all is no complete work file.
        if (!work_.Close())
            return WorkFileLost();
        conversion_.writtenHash = work_.WrittenHash();
        if (digests_) {
            input_.EndDigest();
            conversion_.inputSha256 = digests_->input.Finish();
            conversion_.outputSha256 = digests_->output.Finish();
        }
        // Closed, the work file stays locked until it is stored or removed.
        conversion_.workFileLock = std::make_shared<HeldFile>(work_.TakeLock());
        return true;
    }

  private:
    enum class Step {
        Next,      // go on with the next stage from the top
        ByteWise,  // the byte-wise stage goes on from here
        End,       // the input is scanned to its end
        Stop,      // the scan cannot go on
    };

    // The window runs, and the rollover rule's bounds are read anew.
    void TurnOfTheWindow() {
        if (request_.pump)
            request_.pump();
        if (request_.giveBack == nullptr) {
            const RolloverBounds bounds = CurrentRolloverBounds(request_, conversion_);
            sink_.rule = RolloverRule(bounds);
            conversion_.referenceDay = bounds.referenceDay;
        }
        nextPump_ = input_.Position() + kPumpInterval;
    }

    // Records whole in the buffer: the buffer is looked through in place up
    // to the window's next turn; outside a record only a sync byte matters,
    // and a record the buffer holds whole is corrected where it lies.
    // Every pointer stays within [here, end): FindSync stops at `turn`, and
    // a record is handed on only with the bytes at hand counted.
    Step ScanBuffer() {
        const std::size_t buffered = input_.Buffered();
        const std::uint8_t* const here = input_.Peek(buffered);
        const std::uint8_t* const end = here + buffered;
        const std::uint8_t* const turn =
            here + std::min<std::uint64_t>(buffered, nextPump_ - input_.Position());
        const std::uint8_t* p = here;
        const RecordKind* kind = nullptr;
        bool written = true;
        while (p < turn) {
            p += FindSync(p, static_cast<std::size_t>(turn - p));
            if (p == turn || end - p < 2 || (kind = byKind_[p[1]]) == nullptr) {
                break;
            }
            const std::size_t available = static_cast<std::size_t>(end - p);
            const std::size_t length = correctAnyKind_(p, available, sink_, written);
            if (length > available) {
                break;  // it runs past the buffer
            }
            p += length;
            if (!written) {
                break;
            }
            kind = nullptr;
        }
        input_.Skip(static_cast<std::size_t>(p - here));
        if (!written) {
            return KeepScanning(*kind, false) ? Step::Next : Step::Stop;
        }
        if (p == turn && buffered > 0) {
            return Step::Next;
        }
        if (kind != nullptr) {
            // A record across the buffer's end: its sync and kind byte are
            // at hand (two bytes at least were left).
            input_.Skip(2);
            return KeepScanning(*kind, CorrectAcrossBuffers(input_, *kind, sink_)) ? Step::Next
                                                                                   : Step::Stop;
        }
        return Step::ByteWise;
    }

    // One byte: where a sync byte had no kind after it in the buffer, or the
    // buffer is used up and the next one is read.
    Step ScanByte() {
        std::uint8_t byte;
        const InputFile::Status status = input_.ReadByte(byte);
        if (status == InputFile::Status::End) {
            return Step::End;
        }
        if (status == InputFile::Status::Error) {
            log_.Write(" > ERROR：ファイルRead失敗");
            Problem problem(Problem::Kind::CannotReadAt, {}, input_.Cause());
            problem.at = input_.Position();
            conversion_.Fail(std::move(problem));
            return Step::Stop;
        }
        if (byte == kSyncByte) {
            syncSeen_ = true;
            return Step::Next;
        }
        const RecordKind* kind = byKind_[byte];
        if (syncSeen_ && kind != nullptr &&
            !KeepScanning(*kind, CorrectAcrossBuffers(input_, *kind, sink_))) {
            return Step::Stop;
        }
        syncSeen_ = false;
        return Step::Next;
    }

    // A record that was not written is logged. False when the work file
    // lost bytes: it can never become a whole corrected file, so the scan
    // stops there.
    bool KeepScanning(const RecordKind& kind, bool written) {
        if (written) {
            return true;
        }
        log_.Write(kind.failureMessage);
        return !work_.Failed() || WorkFileLost();
    }

    // A recording still being written (appended to, or written over)
    // while it was read: it no longer is what was opened, or holds more
    // than was read.
    bool ChangedWhileRead() const {
        native::EntryInfo now;
        return conversion_.input &&
               (!input_.Inspect(now) || !native::Unchanged(*conversion_.input, now) ||
                now.size != input_.Position());
    }

    bool WorkFileLost() {
        conversion_.Fail(Problem(Problem::Kind::CannotWriteWorkFile, workPath_, work_.Cause()));
        return false;
    }

    const ConversionRequest& request_;
    Conversion& conversion_;
    FileLog log_;
    std::array<const RecordKind*, 256> byKind_{};
    RecordCorrector correctAnyKind_;
    const std::string& workPath_;
    InputFile& input_;
    OutputFile work_;
    RecordSink sink_;
    std::optional<MovesCursor> giveBack_;
    // Of the input and the work file, where a manifest or undo asks.
    struct Digests {
        Sha256 input;
        Sha256 output;
    };
    std::optional<Digests> digests_;
    bool syncSeen_ = false;
    std::uint64_t nextPump_ = 0;
};

}  // namespace

bool ScanRecords(const ConversionRequest& request, Conversion& conversion, InputFile& input,
                 std::span<const RecordKind> kinds, RecordCorrector correctAnyKind,
                 const char* workFileOpenFailure) {
    bool scanned;
    {
        RecordScanner scanner(request, conversion, input, kinds, correctAnyKind);
        scanned = scanner.Open(workFileOpenFailure) && scanner.Run();
    }
    input.Close();
    return scanned;
}

RecordFound NextRecordOfKinds(InputFile& input, const RecordLengthRules& lengths,
                              std::uint8_t (&record)[kLongestRecord], std::size_t& length) {
    length = 0;
    for (;;) {
        // Up to the next sync byte, looked for where the buffer holds it.
        const std::size_t buffered = input.Buffered();
        if (buffered > 0) {
            const std::size_t at = FindSync(input.Peek(buffered), buffered);
            input.Skip(at);
            if (at == buffered)
                continue;
        }
        std::uint8_t sync;
        if (input.ReadByte(sync) != InputFile::Status::Ok)
            return RecordFound::None;
        if (sync != kSyncByte)
            continue;
        std::uint8_t kind;
        if (input.ReadByte(kind) != InputFile::Status::Ok)
            return RecordFound::None;
        const RecordLengthRule lengthOf = lengths[kind];
        if (lengthOf == nullptr)
            continue;
        record[0] = kSyncByte;
        record[1] = kind;
        if (input.Read(record + 2, 1) != 1)
            return RecordFound::None;
        const std::size_t n = lengthOf(record[2]);
        // A length no record can have ends the walk, as the input's end does.
        if (n < 4 || n > kLongestRecord || input.Read(record + 3, n - 3) != n - 3)
            return RecordFound::None;
        length = n;
        return CheckValueMatches(record, n - 2) ? RecordFound::Valid : RecordFound::BadCheckValue;
    }
}

}  // namespace quenrix
