// One input file from its path to a work file and an output name.
#pragma once

#include <cstdint>
#include <string>

namespace quenrix {

// What became of one input. The numbers are those the receivers' tools
// have always used.
enum class ConvertResult : std::int32_t {
    Converted = 1,  // streamed into the work file; OutputFilePath set when a first time was found
    InputMissing = 0,    // the input does not exist
    Failed = -1,         // not a GPS file, or the conversion failed
    RolloverPoint = -2,  // the SIG file of the rollover point: not converted
};

// Converts one input: resets the engine-wide state, classifies the file by
// its extension, runs its check, streams it into the work file and builds
// the output name. A failure is logged where it is found and its reason
// left in FailureReason.
ConvertResult ConvertGpsFile(const std::string& inputPath);

}  // namespace quenrix
