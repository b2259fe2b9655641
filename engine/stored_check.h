// The check of a stored corrected file: read with the converter's own
// scan, writing nothing, it must hold nothing but whole records with good
// check values, no GPS time the rule would still move, and, where a
// manifest recorded it, the same bytes (SHA-256).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/conversion.h"
#include "engine/manifest.h"

namespace quenrix {

struct StoredFileCheck {
    std::string path;
    Conversion conversion;  // the scan: counts, the SHA-256 read, the times it would move
    // The rule's reference day the check used (GPS seconds).
    std::optional<std::uint32_t> referenceDay;
    // The SHA-256 the manifest recorded of this file; empty when none.
    std::string recordedSha256;
    // What is wrong with the file, one line each; none when it is good.
    std::vector<std::string> faults;
    bool Good() const { return faults.empty(); }
};

// Checks the file at `path`. `recorded`: the manifest entry that names it
// (as its corrected file, or as an input left as it was), whose reference
// day and receiver type then apply, and `recordedSha256` what its bytes
// hashed to; else `referenceDay` (none: the clock's) and `receiverType`
// (0: the file's).
StoredFileCheck CheckStoredFile(const std::string& path, const ManifestEntry* recorded,
                                const std::string& recordedSha256,
                                std::optional<std::uint32_t> referenceDay,
                                std::int32_t receiverType);

}  // namespace quenrix
