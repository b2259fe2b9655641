#include "engine/stored_check.h"

#include "engine/pipeline.h"
#include "engine/problem.h"

namespace quenrix {
namespace {

std::string Count(std::uint64_t n, const char* noun) {
    return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

}  // namespace

StoredFileCheck CheckStoredFile(const std::string& path, const ManifestEntry* recorded,
                                const std::string& recordedSha256,
                                std::optional<std::uint32_t> referenceDay,
                                std::int32_t receiverType) {
    StoredFileCheck check;
    check.path = path;
    ConversionRequest request(path);
    request.storing = Storing::Planned;  // read and checked, nothing written
    // Hashed and its moves noted only where a manifest has something to
    // compare with: without one the check goes at the scan's speed.
    request.describe = recorded != nullptr;
    request.referenceDay = referenceDay;
    request.receiverType = receiverType;
    if (recorded != nullptr) {
        if (recorded->referenceDay)
            request.referenceDay = recorded->referenceDay;
        request.receiverType = recorded->receiverType;
        check.recordedSha256 = recordedSha256;
    }
    check.conversion = ConvertGpsFile(request);
    const Conversion& scan = check.conversion;
    check.referenceDay = scan.referenceDay;
    std::vector<std::string>& faults = check.faults;
    if (scan.result == ConvertResult::RolloverPoint) {
        // Never converted, so never stored as a corrected file.
        faults.push_back("the SIG file of the rollover point, which is never converted");
        return check;
    }
    if (scan.result != ConvertResult::Converted ||
        (recorded != nullptr && scan.inputSha256.empty())) {
        faults.push_back(scan.problem ? ReasonText(scan.problem) : "cannot be read");
        return check;
    }
    const RecordTotals totals = scan.counts.Totals();
    if (totals.written == 0)
        faults.push_back(kNoGpsRecordsReason);
    if (totals.badCheck != 0)
        faults.push_back(Count(totals.badCheck, "record") + " with a bad check value");
    if (totals.cutShort != 0)
        faults.push_back(Count(totals.cutShort, "record") + " cut short");
    const std::uint64_t outside = scan.counts.inputBytes - scan.counts.outputBytes;
    if (outside != 0 && totals.badCheck + totals.cutShort == 0)
        faults.push_back(Count(outside, "byte") + " outside any record");
    const std::uint64_t left = scan.counts.oneStep + scan.counts.twoSteps;
    if (left != 0) {
        std::string fault = Count(left, "GPS time") + " before the reference date";
        if (scan.referenceDay) {
            // Appended piece by piece: MinGW g++ 12 sees a false overlap in
            // "literal" + a temporary string (-Wrestrict).
            fault += ' ';
            fault += ReferenceDateText(*scan.referenceDay);
        }
        if (!scan.moves.Ranges().empty())
            fault += ", the first in record " + std::to_string(scan.moves.Ranges().front().first);
        faults.push_back(fault);
    }
    if (recorded != nullptr && scan.inputSha256 != check.recordedSha256)
        faults.push_back("not the file the manifest recorded: SHA-256 " + scan.inputSha256 +
                         ", recorded " + check.recordedSha256);
    return check;
}

}  // namespace quenrix
