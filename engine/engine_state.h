// The engine-wide state: process-wide values shared by the window and the
// engine. They describe the one file in conversion; the pipeline resets
// the per-file values before each input.
#pragma once

#include <cstdint>
#include <string>

namespace quenrix {

inline constexpr const char* kWorkFileName = "$$$SRG.TMP";

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
};

namespace detail {
extern EngineState engineState;
}  // namespace detail

// The one instance, alive for the whole process.
inline EngineState& Engine() {
    return detail::engineState;
}

}  // namespace quenrix
