// The rollover rule: a GPS time that is not later than the rollover limit
// of its file kind and lies before the reference day (the start of the day
// fifteen years ago) was stamped by a receiver whose week counter rolled
// over; it moves forward by 1024 weeks, twice when once is not enough.
#pragma once

#include <cstdint>
#include <optional>

namespace quenrix {

struct EngineState;

inline constexpr std::uint32_t kSigRolloverLimit = 1060214400;        // 2013-08-11, week 1753
inline constexpr std::uint32_t kRmgType77RolloverLimit = 1189641600;  // 2017-09-17, week 1967
inline constexpr std::uint32_t kRmgType80RolloverLimit = 1325116800;  // 2022-01-02, week 2191

// The latest GPS time that can be a rolled-over one for the current file
// (engine-wide flags), or nothing when the file is of neither kind.
std::optional<std::uint32_t> RolloverLimit();

// Start of the day fifteen years before the local clock's date, in GPS
// seconds (the clock is taken as UTC+9); nothing when that day would lie
// before the GPS epoch.
std::optional<std::uint32_t> ReferenceDay();

// Both bounds of the rule as they stand now.
struct RolloverBounds {
    std::optional<std::uint32_t> limit;
    std::optional<std::uint32_t> referenceDay;
};
RolloverBounds CurrentRolloverBounds();

// Corrects, in place, one 4-byte GPS time field (most significant byte
// first) and sets RolloverFound when it moved the time.
void CorrectRollover(std::uint8_t* field);

// A scanner asks for the bounds of every GPS time of a file. While it
// holds one of these, CorrectRollover takes the bounds read when the scope
// began or was last refreshed; the scanner refreshes them each time it
// lets the window run, which is far more often than the clock's reading
// (to the second) changes.
class RolloverBoundsScope {
  public:
    RolloverBoundsScope();
    ~RolloverBoundsScope();
    RolloverBoundsScope(const RolloverBoundsScope&) = delete;
    RolloverBoundsScope& operator=(const RolloverBoundsScope&) = delete;

    void Refresh() { state_.bounds = CurrentRolloverBounds(); }

    // What CorrectRollover works with inside the scope: the bounds and the
    // engine state of the scope's thread, found once.
    struct State {
        RolloverBounds bounds;
        EngineState* engine;
    };

  private:
    State state_;
    const State* outer_;
};

}  // namespace quenrix
