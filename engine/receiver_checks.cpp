#include "engine/receiver_checks.h"

#include <cctype>

#include "engine/byte_order.h"
#include "engine/gps_time.h"
#include "engine/record_kinds.h"
#include "engine/record_reader.h"
#include "support/ascii.h"
#include "support/binary_file.h"
#include "support/oplog.h"
#include "support/paths.h"

namespace quenrix {
namespace {

std::int32_t ReceiverTypeCode(std::uint8_t nibble) {
    switch (nibble) {
        case 0:
            return 74;
        case 1:
            return 77;
        case 2:
            return 80;
        default:
            return 0;
    }
}

bool HasRolloverPointName(const std::string& path) {
    const std::string name = FileNamePart(path);
    static constexpr char kLetters[] = "L26Z";
    return name.size() >= 8 && EqualsIgnoringAsciiCase(name.substr(4, 4), kLetters);
}

}  // namespace

std::int32_t CheckRmgReceiverType(const FileAt& input, FileLog& log) {
    InputFile file;
    if (!file.Open(input)) {
        log.Write(" > ERROR：ファイルOpen失敗(RMGタイプ確認)");
        return 0;
    }
    std::uint8_t record[kRecordBufferSize];
    std::size_t stored;
    std::uint8_t kind;
    while (ReadNextRecord(file, record, stored, kind) == kRecordMatched) {
        if (kind == record_kinds::rmg::PositionMonitor::kKind) {
            const std::int32_t code =
                ReceiverTypeCode(record[record_kinds::rmg::kTypeNibbleOffset] & 0x0F);
            log.Write(" > RMGType：KQ-" + std::to_string(code));
            return code;
        }
    }
    return 0;
}

bool IsRolloverPointSigFile(const FileAt& input, FileLog& log) {
    if (!HasRolloverPointName(input.path)) {
        return false;
    }
    InputFile file;
    if (!file.Open(input)) {
        log.Write(" > ERROR：ファイルOpen失敗(L26Z.SIG確認)");
        return false;
    }
    std::uint8_t record[kRecordBufferSize];
    std::size_t stored;
    std::uint8_t kind;
    while (ReadNextRecord(file, record, stored, kind) == kRecordMatched) {
        // The first GPS time of the SIG kinds that carry one.
        using namespace record_kinds::sig;
        std::size_t offset;
        switch (kind) {
            case PositioningResult::kKind:
                offset = PositioningResult::kTimeOffsets[0];
                break;
            case SatelliteInformation::kKind:
                offset = SatelliteInformation::kTimeOffsets[0];
                break;
            case HeaderSection::kKind:
                offset = HeaderSection::kTimeOffsets[0];
                break;
            default:
                continue;
        }
        const std::uint32_t t = ReadBigEndian32(record + offset);
        if (t - t % kSecondsPerDay == kRolloverPointDay) {
            return true;
        }
    }
    return false;
}

}  // namespace quenrix
