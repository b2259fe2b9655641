#include "engine/rmg_file.h"

#include "engine/engine_state.h"
#include "engine/record_frame.h"
#include "engine/record_scan.h"
#include "engine/satellite_section.h"
#include "engine/sig_file.h"

namespace quenrix {
namespace {

constexpr std::size_t kSectionHeaderLength = 11;
constexpr std::size_t kBlockLength = 9;
constexpr std::size_t kSectionTimeOffset = 3;

// A raw satellite data section of n blocks, n told by its third byte.
template <std::size_t (*BlockCount)(std::uint8_t)>
std::size_t CorrectSection(const std::uint8_t* record, std::size_t available, RecordSink& sink,
                           bool& written) {
    if (available < 3) {
        return 3;
    }
    const std::size_t covered = kSectionHeaderLength + kBlockLength * BlockCount(record[2]);
    if (available < covered + 2) {
        return covered + 2;
    }
    written = AppendCheckedRecord<kSectionTimeOffset>(record, covered, available, sink) != nullptr;
    return covered + 2;
}

constexpr RecordKind kRmgKinds[] = {
    {0x82, CorrectPositionMonitorRecord, " > ERROR：位置&モニターデータ作業ファイル作成失敗"},
    {0x61, CorrectOrbitMessageRecord, " > ERROR：軌道メッセージデータ作業ファイル作成失敗"},
    {0x81, CorrectOldRawSatelliteSection,
     " > ERROR：衛星生データ部(旧フォーマット)SyncByte読み込み失敗"},
    {0x91, CorrectRawSatelliteSection, " > ERROR：衛星生データ部SyncByte読み込み失敗"},
};

}  // namespace

std::size_t CorrectPositionMonitorRecord(const std::uint8_t* record, std::size_t available,
                                         RecordSink& sink, bool& written) {
    return CorrectFixedLengthRecord<kPositionMonitorLength, 2>(record, available, sink, written,
                                                               /*capturesFirstTime=*/true);
}

std::size_t CorrectOldRawSatelliteSection(const std::uint8_t* record, std::size_t available,
                                          RecordSink& sink, bool& written) {
    return CorrectSection<OldSectionBlockCount>(record, available, sink, written);
}

std::size_t CorrectRawSatelliteSection(const std::uint8_t* record, std::size_t available,
                                       RecordSink& sink, bool& written) {
    return CorrectSection<SectionBlockCount>(record, available, sink, written);
}

bool ConvertRmgFile(const std::string& inputPath, const std::string& workPath) {
    return ScanRecords(inputPath, workPath, kRmgKinds, CorrectAnyKind<kRmgKinds>,
                       " > ERROR：RMG作業ファイルOpen失敗");
}

}  // namespace quenrix
