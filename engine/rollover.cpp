#include "engine/rollover.h"

#include <cstring>

#include "engine/gps_time.h"
#include "support/native.h"

namespace quenrix {
namespace {

// The receivers' clocks run on Japan time, nine hours ahead of GPS time.
constexpr std::uint32_t kLocalClockOffset = 9 * 3600;

}  // namespace

std::optional<std::uint32_t> RolloverLimit(FileKind kind, std::int32_t receiverType) {
    if (kind == FileKind::Sig) {
        return kSigRolloverLimit;
    }
    if (kind == FileKind::Rmg) {
        switch (receiverType) {
            case 77:
                return kRmgType77RolloverLimit;
            case 80:
                return kRmgType80RolloverLimit;
            default:
                return kSigRolloverLimit;
        }
    }
    return std::nullopt;
}

namespace {

std::optional<std::uint32_t> ComputeReferenceDay(const LocalDateTime& now) {
    DateTimeRecord past;
    past.year = static_cast<std::uint16_t>(now.year >= 15 ? now.year - 15 : now.year);
    past.month = static_cast<std::uint16_t>(now.month);
    past.day = static_cast<std::uint16_t>(now.day);
    past.hour = static_cast<std::uint16_t>(now.hour);
    past.minute = static_cast<std::uint16_t>(now.minute);
    past.second = static_cast<std::uint16_t>(now.second);
    std::uint32_t local = DateTimeToGpsSeconds(past);
    // Before 1995-01-06 09:00 the day would lie before the GPS epoch; no
    // time can be before it, so nothing is corrected.
    if (local < kLocalClockOffset) {
        return std::nullopt;
    }
    std::uint32_t gps = local - kLocalClockOffset;
    return gps - gps % kSecondsPerDay;
}

}  // namespace

std::optional<std::uint32_t> ReferenceDay() {
    return ComputeReferenceDay(native::LocalClockNow());
}

RolloverBounds CurrentRolloverBounds(const ConversionRequest& request,
                                     const Conversion& conversion) {
    // A scanner asks once per turn of the window (RolloverRule), not for
    // every GPS time.
    return {RolloverLimit(conversion.kind, conversion.receiverType),
            request.referenceDay ? request.referenceDay : ReferenceDay()};
}

}  // namespace quenrix
