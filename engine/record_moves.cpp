#include "engine/record_moves.h"

#include <utility>

namespace quenrix {
namespace {

// Whether every one of `fields` times moved by the same `eras`: the steps
// then say so in a uniform range (fields 0).
bool MovedAlike(unsigned fields, std::uint32_t steps, std::uint32_t& eras) {
    eras = steps & 3u;
    for (unsigned i = 1; i < fields; ++i) {
        if (((steps >> (2 * i)) & 3u) != eras)
            return false;
    }
    return true;
}

std::uint32_t Replicated(unsigned fields, std::uint32_t eras) {
    std::uint32_t steps = 0;
    for (unsigned i = 0; i < fields; ++i) steps |= eras << (2 * i);
    return steps;
}

}  // namespace

void RecordMoves::AddAnother(unsigned fields, std::uint32_t steps) {
    const std::uint64_t position = records_++;
    MovedRange range{position, position, fields, steps};
    std::uint32_t eras = 0;
    if (MovedAlike(fields, steps, eras)) {
        if (eras == 0) {
            open_ = false;  // a record left as it was ends the range
            return;
        }
        range.fields = 0;
        range.steps = eras;
    }
    openSteps_ = steps;
    openFields_ = fields;
    if (open_ && ranges_.back().fields == range.fields && ranges_.back().steps == range.steps) {
        ranges_.back().last = position;
        return;
    }
    ranges_.push_back(range);
    open_ = true;
}

std::optional<RecordMoves> RecordMoves::FromRanges(std::vector<MovedRange> ranges) {
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        const MovedRange& range = ranges[i];
        if (range.first > range.last || (i > 0 && range.first <= ranges[i - 1].last) ||
            range.fields > 16)
            return std::nullopt;
        const unsigned fields = range.fields == 0 ? 1 : range.fields;
        if (range.fields < 32 && (range.steps >> (2 * fields)) != 0)
            return std::nullopt;
        for (unsigned f = 0; f < fields; ++f) {
            if (((range.steps >> (2 * f)) & 3u) == 3u)
                return std::nullopt;
        }
    }
    RecordMoves moves;
    moves.ranges_ = std::move(ranges);
    moves.records_ = moves.ranges_.empty() ? 0 : moves.ranges_.back().last + 1;
    return moves;
}

bool MovesCursor::Look(std::uint64_t position, unsigned fields, std::uint32_t& steps) {
    while (range_ < ranges_.size() && ranges_[range_].last < position) ++range_;
    steps = 0;
    if (range_ == ranges_.size() || ranges_[range_].first > position)
        return true;  // not moved
    const MovedRange& range = ranges_[range_];
    if (range.fields == 0) {
        steps = Replicated(fields, range.steps);
        return true;
    }
    steps = range.steps;
    return range.fields == fields;
}

}  // namespace quenrix
