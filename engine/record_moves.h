// Which records of a corrected file had their GPS times moved, and by how
// many eras of 1024 weeks: what a manifest keeps of a conversion so that
// the original bytes can be given back. Afterwards nothing in the
// corrected file tells a moved time from one that was already right.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace quenrix {

// Records `first` to `last` (positions among the records the corrected
// file holds, from 0) whose times moved alike. `fields` 0: every GPS time
// of each record moved by `steps` eras (records without a GPS time lie
// among them untouched). Otherwise each record has `fields` times, field
// i moved by the two bits of `steps` at 2i.
struct MovedRange {
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    unsigned fields = 0;
    std::uint32_t steps = 0;

    bool operator==(const MovedRange&) const = default;
};

// The moves of one file, built record by record as it is converted.
class RecordMoves {
  public:
    // The next record: `fields` GPS times, field i moved by the two bits
    // of `steps` at 2i (0, 1 or 2 eras). Called for every record: the
    // common cases (no time, the open range goes on) cost a compare.
    void Add(unsigned fields, std::uint32_t steps) {
        if (fields == 0) {
            ++records_;  // lies in whatever range it comes in, untouched
            return;
        }
        if (open_ && steps == openSteps_ && fields == openFields_) {
            ranges_.back().last = records_++;
            return;
        }
        AddAnother(fields, steps);
    }

    const std::vector<MovedRange>& Ranges() const { return ranges_; }
    std::uint64_t Records() const { return records_; }

    // Read back from a manifest: false when the ranges are not in order,
    // overlap or name more than two eras.
    static std::optional<RecordMoves> FromRanges(std::vector<MovedRange> ranges);

  private:
    void AddAnother(unsigned fields, std::uint32_t steps);

    std::vector<MovedRange> ranges_;
    std::uint64_t records_ = 0;
    bool open_ = false;  // the last record with a time belongs to the last range
    // The steps and fields of the open range's last record as they came.
    std::uint32_t openSteps_ = 0;
    unsigned openFields_ = 0;
};

// Walks the moves of a file record by record, as the records come again:
// by how many eras each time of the next record was moved.
class MovesCursor {
  public:
    explicit MovesCursor(const RecordMoves& moves) : ranges_(moves.Ranges()) {}

    // The steps of the next record, which has `fields` GPS times, packed as
    // RecordMoves::Add takes them; false when the record has not as many
    // times as were recorded of it.
    bool Next(unsigned fields, std::uint32_t& steps) {
        const std::uint64_t position = position_++;
        if (range_ < ranges_.size() && ranges_[range_].first <= position &&
            position <= ranges_[range_].last && ranges_[range_].fields == 0 && fields == 1) {
            steps = ranges_[range_].steps;  // the common case: one time, in a range
            return true;
        }
        return Look(position, fields, steps);
    }

  private:
    bool Look(std::uint64_t position, unsigned fields, std::uint32_t& steps);

    const std::vector<MovedRange>& ranges_;
    std::size_t range_ = 0;
    std::uint64_t position_ = 0;
};

}  // namespace quenrix
