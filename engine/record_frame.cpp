#include "record_frame.h"

#include <cstring>

#include "fsub.h"
#include "rollover.h"

namespace quenrix {

bool CheckValueMatches(std::uint8_t kind, const std::uint8_t* body, std::size_t covered) {
    const std::size_t summed = covered - 2;  // the body's share of the covered bytes
    const unsigned value =
        (kSyncByte + kind + ComputeCheckValue(body, static_cast<std::int32_t>(summed))) & 0xFFFFu;
    return body[summed] * 256u + body[summed + 1] == value;
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
