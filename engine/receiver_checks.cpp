#include "engine/receiver_checks.h"

#include <cctype>

#include "engine/byte_order.h"
#include "engine/gps_time.h"
#include "engine/record_kinds.h"
#include "engine/record_scan.h"
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

// The next record of the checks' kinds into `record`; false where it fails
// its check value, and where the input ends or cannot be read before it.
bool NextValidRecord(InputFile& input, std::uint8_t (&record)[kLongestRecord]) {
    std::size_t length;
    try {
        return NextRecordOfKinds(input, record_kinds::kCheckedKinds, record, length) ==
               RecordFound::Valid;
    } catch (...) {
        return false;  // a read that fails in any way ends the search, as the end does
    }
}

}  // namespace

std::int32_t CheckRmgReceiverType(const FileAt& file, InputFile& input, FileLog& log) {
    if (!input.Open(file)) {
        log.Write(" > ERROR：ファイルOpen失敗(RMGタイプ確認)");
        return 0;
    }
    std::uint8_t record[kLongestRecord];
    while (NextValidRecord(input, record)) {
        if (record[1] == record_kinds::rmg::PositionMonitor::kKind) {
            const std::int32_t code =
                ReceiverTypeCode(record[record_kinds::rmg::kTypeNibbleOffset] & 0x0F);
            log.Write(" > RMGType：KQ-" + std::to_string(code));
            return code;
        }
    }
    return 0;
}

bool IsRolloverPointSigFile(const FileAt& file, InputFile& input, FileLog& log) {
    if (!HasRolloverPointName(file.path)) {
        return false;
    }
    if (!input.Open(file)) {
        log.Write(" > ERROR：ファイルOpen失敗(L26Z.SIG確認)");
        return false;
    }
    std::uint8_t record[kLongestRecord];
    while (NextValidRecord(input, record)) {
        // The first GPS time of the SIG kinds that carry one.
        using namespace record_kinds::sig;
        std::size_t offset;
        switch (record[1]) {
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
