#include "engine/record_reader.h"

#include "engine/check_value.h"
#include "engine/record_frame.h"
#include "engine/record_kinds.h"

namespace quenrix {
namespace {

enum class State { Idle, SyncSeen, LengthByte, Body, CheckHigh, CheckLow, Matched, Mismatched };

}  // namespace

bool IsKnownRecordKind(std::uint8_t kind) {
    return RecordLength(kind, 0) != 0;
}

std::size_t RecordLength(std::uint8_t kind, std::uint8_t third) {
    using namespace record_kinds;
    switch (kind) {
        case rmg::OldRawSatelliteSection::kKind:
            return rmg::OldRawSatelliteSection::LengthOf(third);
        case rmg::PositionMonitor::kKind:
            return rmg::PositionMonitor::kLength;
        case rmg::RawSatelliteSection::kKind:
            return rmg::RawSatelliteSection::LengthOf(third);
        case sig::OrbitInformation::kKind:
            return sig::OrbitInformation::kLength;
        case sig::OrbitMessage::kKind:
            return sig::OrbitMessage::kLength;
        case sig::HeaderSection::kKind:
            return sig::HeaderSection::kLength;
        case sig::SatelliteInformation::kKind:
            return sig::SatelliteInformation::kLength;
        case sig::PositioningResult::kKind:
            return sig::PositioningResult::kLength;
        case reader_only::Kind80::kKind:
            return reader_only::Kind80::kLength;
        case reader_only::Kind69::kKind:
            return reader_only::Kind69::kLength;
        case 0x94:
        case 0x95:
            return reader_only::ExtendedSectionLength(third);
        default:
            return 0;  // 0x52 and 0x55 too: the reader's table never had them
    }
}

RecordReadResult ReadNextRecord(InputFile& file, std::uint8_t (&buffer)[kRecordBufferSize],
                                std::size_t& stored, std::uint8_t& lastKind) {
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
