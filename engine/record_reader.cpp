#include "engine/record_reader.h"

#include "engine/check_value.h"
#include "engine/record_frame.h"
#include "engine/satellite_section.h"

namespace quenrix {
namespace {

enum class State { Idle, SyncSeen, LengthByte, Body, CheckHigh, CheckLow, Matched, Mismatched };

}  // namespace

bool IsKnownRecordKind(std::uint8_t kind) {
    switch (kind) {
        case 0x80:
        case 0x81:
        case 0x82:
        case 0x91:
        case 0x60:
        case 0x61:
        case 0x62:
        case 0x51:
        case 0x50:
        case 0x94:
        case 0x95:
        case 0x69:
            return true;
        default:
            return false;
    }
}

std::size_t RecordLength(std::uint8_t kind, std::uint8_t third) {
    switch (kind) {
        case 0x80:
            return 10;
        case 0x81:
            return 13 + 9 * OldSectionBlockCount(third);
        case 0x82:
            return kPositionMonitorLength;
        case 0x91:
            return 13 + 9 * SectionBlockCount(third);
        case 0x60:
            return 26;
        case 0x61:
            return 74;
        case 0x62:
            return 26;
        case 0x51:
            return 124;
        case 0x50:
            return 23;
        case 0x94:
        case 0x95:
            return 15 + 13 * SectionBlockCount(third);
        case 0x69:
            return 286;
        default:
            return 0;
    }
}

int ReadNextRecord(InputFile& file, std::uint8_t (&buffer)[kRecordBufferSize], std::size_t& stored,
                   std::uint8_t& lastKind) {
    lastKind = 0;
    stored = 0;
    try {
        State state = State::Idle;
        std::size_t i = 0;
        std::size_t length = 0;
        std::uint8_t byte;
        while (file.ReadByte(byte) == InputFile::Status::Ok) {
            switch (state) {
                case State::Idle:
                    i = 0;
                    state = byte == kSyncByte ? State::SyncSeen : State::Idle;
                    break;
                case State::SyncSeen:
                    lastKind = byte;
                    // A second sync byte is no kind byte: it does not start a record.
                    state = IsKnownRecordKind(byte) ? State::LengthByte : State::Idle;
                    break;
                case State::LengthByte:
                    length = RecordLength(lastKind, byte);
                    state = State::Body;
                    break;
                case State::Body:
                    if (i == length - 3)
                        state = State::CheckHigh;
                    break;
                case State::CheckHigh:
                    state = State::CheckLow;
                    break;
                case State::CheckLow: {
                    unsigned storedValue = buffer[i - 1] * 256u + byte;
                    state =
                        storedValue == ComputeCheckValue(buffer, static_cast<std::int32_t>(i - 1))
                            ? State::Matched
                            : State::Mismatched;
                    break;
                }
                case State::Matched:
                case State::Mismatched:
                    break;
            }
            if (i >= kRecordBufferSize) {
                break;
            }
            buffer[i++] = byte;
            stored = i;
            if (state == State::Matched)
                return kRecordMatched;
            if (state == State::Mismatched)
                return kRecordMismatched;
        }
        return kRecordIncomplete;
    } catch (...) {
        return kRecordError;
    }
}

}  // namespace quenrix
