#include "record_frame.h"

#include <cstring>

#include "fsub.h"

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

void RenewCheckValue(std::uint8_t* record, std::size_t covered) {
    std::uint16_t value = CheckValueInRecordOrder(record, covered);
    std::memcpy(record + covered, &value, sizeof value);
}

}  // namespace quenrix
