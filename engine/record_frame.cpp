#include "record_frame.h"

#include <cstring>

#include "fsub.h"
#include "rollover.h"

namespace quenrix {

std::uint16_t CheckValueInRecordOrder(const std::uint8_t* record, std::size_t covered) {
    std::uint16_t value = ComputeCheckValue(record, static_cast<std::int32_t>(covered));
    SwapBytes16(value);
    return value;
}

bool CheckValueMatches(const std::uint8_t* record, std::size_t covered) {
    std::uint16_t stored;
    std::memcpy(&stored, record + covered, sizeof stored);
    return stored == CheckValueInRecordOrder(record, covered);
}

void AdjustCheckValue(std::uint8_t* record, std::size_t covered, const std::uint8_t* field,
                      const std::uint8_t (&before)[4]) {
    const unsigned stored = record[covered] * 256u + record[covered + 1];
    const unsigned added = field[0] + field[1] + field[2] + field[3];
    const unsigned removed = before[0] + before[1] + before[2] + before[3];
    const unsigned value = (stored + added - removed) & 0xFFFFu;
    record[covered] = static_cast<std::uint8_t>(value >> 8);
    record[covered + 1] = static_cast<std::uint8_t>(value);
}

void CorrectTimeField(std::uint8_t* record, std::size_t covered, std::size_t offset) {
    std::uint8_t before[4];
    std::memcpy(before, record + offset, sizeof before);
    CorrectRollover(record + offset);
    AdjustCheckValue(record, covered, record + offset, before);
}

}  // namespace quenrix
