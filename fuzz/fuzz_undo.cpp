// Undo on any bytes: a file converted with what a manifest records, then
// given back from its corrected file. Where the corrected file holds every
// byte of its input, the original comes back byte for byte; where it does
// not, undo refuses, and never stores other bytes as the original.
#include "engine/pipeline.h"
#include "fuzz/fuzz_common.h"
#include "support/sha256.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quenrix;
    if (size < 1)
        return 0;
    fuzz::Reset();
    // The first byte chooses the file type and the RMG receiver type.
    static const char* const kNames[] = {"1234L27B.SIG", "1234A01B.RMG", "1234A01B.RM3"};
    static const std::int32_t kTypes[] = {0, 74, 77, 80};
    const std::string original = fuzz::In(kNames[data[0] % 3]);
    fuzz::WriteFile(original, data + 1, size - 1);
    ConversionRequest request(original);
    request.workFile = fuzz::WorkFile();
    request.describe = true;
    request.receiverType = kTypes[(data[0] >> 2) % 4];
    const Conversion conversion = ConvertGpsFile(request);
    if (conversion.result != ConvertResult::Converted || conversion.problem)
        return 0;
    FUZZ_CHECK(conversion.inputSha256 ==
               Sha256::Of(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1)));
    const fuzz::Bytes corrected = fuzz::ReadFile(request.workFile);
    const std::string correctedPath = fuzz::In("corrected.SIG");
    fuzz::WriteFile(correctedPath, corrected.data(), corrected.size());

    GivingBack back{original, conversion.moves, conversion.outputSha256, conversion.inputSha256};
    ConversionRequest undo(correctedPath);
    undo.workFile = fuzz::In("restored.tmp");
    undo.giveBack = &back;
    const Conversion restored = ConvertGpsFile(undo);
    const bool whole = conversion.counts.inputBytes == conversion.counts.outputBytes;
    if (whole) {
        FUZZ_CHECK(restored.result == ConvertResult::Converted && !restored.problem);
        FUZZ_CHECK(fuzz::ReadFile(undo.workFile) == fuzz::Bytes(data + 1, data + size));
    } else {
        FUZZ_CHECK(restored.problem.kind == Problem::Kind::NotGivenBackExactly);
    }
    return 0;
}
