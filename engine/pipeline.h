// One input file from its path to a work file and an output name.
#pragma once

#include <cstdint>
#include <string>

namespace quenrix {

enum ConvertResult : std::int32_t {
    kConverted = 1,  // streamed into the work file; OutputFilePath set when a first time was found
    kInputMissing = 0,    // the input does not exist
    kFailed = -1,         // not a GPS file, or the conversion failed (the cause is in the log)
    kRolloverPoint = -2,  // the SIG file of the rollover point: not converted
};

// Converts one input: resets the engine-wide state, classifies the file by
// its extension, runs its check, streams it into the work file and builds
// the output name. `logSwitch` and `debugSwitch` are carried for the
// caller's sake; logging is switched off by an empty log path alone.
std::int32_t ConvertGpsFile(const std::string& inputPath, std::int16_t logSwitch = 1,
                            std::uint8_t debugSwitch = 0);

}  // namespace quenrix
