// The rollover rule: a GPS time that is not later than the rollover limit
// of its file kind and lies before the reference day (the start of the day
// fifteen years ago) was stamped by a receiver whose week counter rolled
// over; it moves forward by 1024 weeks, twice when once is not enough.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>

#include "engine/byte_order.h"
#include "engine/conversion.h"
#include "engine/gps_time.h"

namespace quenrix {

inline constexpr std::uint32_t kSigRolloverLimit = 1060214400;        // 2013-08-11, week 1753
inline constexpr std::uint32_t kRmgType77RolloverLimit = 1189641600;  // 2017-09-17, week 1967
inline constexpr std::uint32_t kRmgType80RolloverLimit = 1325116800;  // 2022-01-02, week 2191

// The latest GPS time that can be a rolled-over one in a file of `kind`
// (an RMG file's by its receiver type), or nothing for a file of neither
// kind.
std::optional<std::uint32_t> RolloverLimit(FileKind kind, std::int32_t receiverType);

// Start of the day fifteen years before the local clock's date, in GPS
// seconds (the clock is taken as UTC+9); nothing when that day would lie
// before the GPS epoch.
std::optional<std::uint32_t> ReferenceDay();

// Both bounds of the rule as they stand now for the file in conversion:
// the request's reference day, or the clock's.
struct RolloverBounds {
    std::optional<std::uint32_t> limit;
    std::optional<std::uint32_t> referenceDay;
};
RolloverBounds CurrentRolloverBounds(const ConversionRequest& request,
                                     const Conversion& conversion);

// The rule with its bounds read once: what a scanner applies to every GPS
// time of a file. The scanner reads the bounds anew each time it lets the
// window run, which is far more often than the clock's reading (to the
// second) changes.
class RolloverRule {
  public:
    explicit RolloverRule(const RolloverBounds& bounds) {
        if (bounds.limit && bounds.referenceDay) {
            // Not later than the limit and before the reference day.
            correctBelow_ = std::min(*bounds.limit + 1, *bounds.referenceDay);
            referenceDay_ = *bounds.referenceDay;
        }
    }

    // Moves a rolled-over time forward in place; returns by how many
    // steps of 1024 weeks: 0, 1 or 2.
    int Apply(std::uint32_t& t) const {
        if (t >= correctBelow_) {
            return 0;
        }
        t += kSecondsOf1024Weeks;
        if (t < referenceDay_) {
            t += kSecondsOf1024Weeks;
            return 2;
        }
        return 1;
    }

  private:
    std::uint32_t correctBelow_ = 0;  // no time is below 0: nothing moves
    std::uint32_t referenceDay_ = 0;
};

// Moves the 4-byte GPS time read at `from` (most significant byte first)
// by `rule` and stores it at `to` (which may be `from`); a moved time is
// counted in `conversion`. By how many eras the time moved (0, 1 or 2);
// with none nothing is stored.
inline int MoveRolledOverTime(const std::uint8_t* from, std::uint8_t* to, const RolloverRule& rule,
                              Conversion& conversion) {
    std::uint32_t t;
    std::memcpy(&t, from, sizeof t);
    SwapBytes32(t);
    const int steps = rule.Apply(t);
    if (steps == 0) {
        return 0;
    }
    ++(steps == 1 ? conversion.counts.oneStep : conversion.counts.twoSteps);
    conversion.timeCorrected = true;
    SwapBytes32(t);
    std::memcpy(to, &t, sizeof t);
    return steps;
}

}  // namespace quenrix
