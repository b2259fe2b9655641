// The engine-wide state: process-wide values shared by the window and the
// engine. They describe the one file in conversion; the pipeline resets
// the per-file values before each input.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace quenrix {

inline constexpr const char* kWorkFileName = "$$$SRG.TMP";

// What one conversion did, record by record: a report shows the user
// what a corrected file leaves out before an input is deleted.
struct ConversionCounts {
    std::array<std::uint64_t, 256> accepted{};  // records written, by kind byte
    std::array<std::uint64_t, 256> badCheck{};  // records dropped for their check value
    std::array<std::uint64_t, 256> cutShort{};  // records cut short by the end of the file
    std::uint64_t oneStep = 0;                  // times moved 1024 weeks
    std::uint64_t twoSteps = 0;                 // times moved 2048 weeks
    std::uint64_t inputBytes = 0;               // bytes scanned
    std::uint64_t outputBytes = 0;              // bytes of the records written
};

struct EngineState {
    // Full path of the operation log; empty means nothing is logged.
    std::string LogFilePath;
    // The work file: a bare name, so it lands in the current directory.
    std::string WorkFileName = kWorkFileName;
    // Where the corrected file of the current input is to be stored; empty
    // when no name was built for it.
    std::string OutputFilePath;
    // A GPS time field of the current file was corrected.
    std::uint8_t RolloverFound = 0;
    std::uint8_t IsSigFile = 0;
    std::uint8_t IsRmgFile = 0;
    // The first position record's GPS time, its four bytes as the record
    // holds them (most significant first); 0 when none was captured.
    std::uint32_t FirstGpsTime = 0;
    // Receiver type code of an RMG input: 74, 77, 80, or 0.
    std::int32_t RmgReceiverType = 0;
    // Counts of the current file's conversion.
    ConversionCounts Counts;
    // Why the current file failed, in plain English for a report ("cannot
    // read: permission denied"); empty while nothing failed.
    std::string FailureReason;

    // Settings of a front end that outlive each file: a reference day in
    // place of the clock's, and a receiver type in place of the check's.
    std::optional<std::uint32_t> ReferenceDayOverride;
    std::int32_t ForcedRmgReceiverType = 0;
};

namespace detail {
extern thread_local EngineState engineState;
}  // namespace detail

// The instance of this thread: the window's one thread has exactly one;
// a front end that converts several files at once gives each worker its own.
inline EngineState& Engine() {
    return detail::engineState;
}

// Notes why the current file failed; the first cause noted stands, as
// later ones follow from it.
inline void NoteFailure(std::string reason) {
    if (Engine().FailureReason.empty())
        Engine().FailureReason = std::move(reason);
}

}  // namespace quenrix
