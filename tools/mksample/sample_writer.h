// Synthetic receiver files, written as a receiver whose week counter has
// rolled over would write them: every record kind, times 1024 weeks in the
// past, optionally junk between records, wrong check values and a last
// record cut short. Deterministic from the seed.
#pragma once

#include <cstdint>
#include <string>

namespace quenrix::sample {

enum class Kind { Sig, Rmg };

struct SampleOptions {
    Kind kind = Kind::Sig;
    // The true GPS time of the first record; the receiver stamps it 1024
    // weeks earlier unless `rolledOver` is false.
    std::uint32_t start = 0;
    bool rolledOver = true;
    std::uint64_t size = 64 * 1024;  // bytes to write, at least one epoch
    std::uint32_t seed = 1;
    bool junk = false;                // junk bytes (never a sync byte) between records
    std::uint32_t badCheckEvery = 0;  // every Nth record gets a wrong check value; 0: none
    bool truncateLast = false;        // the last record is cut short
    int receiverType = 74;            // RMG: 74, 77 or 80, as the type nibble says
};

struct SampleSummary {
    std::uint64_t bytes = 0;
    std::uint64_t records = 0;
    std::uint64_t badRecords = 0;
};

// Writes the file; false when it cannot be written whole.
bool WriteSampleFile(const std::string& path, const SampleOptions& options,
                     SampleSummary* summary = nullptr);

// A file name in the receiver's scheme for the index-th file of a set:
// four digits, month letter, day, sequence character, extension.
std::string ReceiverStyleName(std::uint32_t index, Kind kind);

}  // namespace quenrix::sample
