#include "rmg_file.h"

#include "engine_state.h"
#include "record_frame.h"
#include "record_scan.h"
#include "satellite_section.h"
#include "sig_file.h"

namespace quenrix {
namespace {

constexpr std::size_t kSectionHeaderLength = 11;
constexpr std::size_t kBlockLength = 9;
constexpr std::size_t kSectionTimeOffset = 3;

// Reads, checks, corrects and appends a raw satellite data section of n
// blocks; the header is read first, then each block, then the check
// value, so a section cut short stops at the piece it lacks.
bool CorrectSection(InputFile& input, OutputFile& work, std::uint8_t kind,
                    std::size_t (*blockCount)(std::uint8_t)) {
    try {
        ConversionCounts& counts = Engine().Counts;
        std::uint8_t staging[kSectionHeaderLength + kBlockLength * kMaxSectionBlocks + 2];
        staging[0] = kSyncByte;
        staging[1] = kind;
        if (input.Read(staging + 2, kSectionHeaderLength - 2) != kSectionHeaderLength - 2) {
            ++counts.cutShort[kind];
            return false;
        }
        const std::size_t blocks = blockCount(staging[2]);
        const std::size_t covered = kSectionHeaderLength + kBlockLength * blocks;
        for (std::size_t b = 0; b < blocks; ++b) {
            std::uint8_t* block = staging + kSectionHeaderLength + kBlockLength * b;
            if (input.Read(block, kBlockLength) != kBlockLength) {
                ++counts.cutShort[kind];
                return false;
            }
        }
        if (input.Read(staging + covered, 2) != 2) {
            ++counts.cutShort[kind];
            return false;
        }
        if (!CheckValueMatches(staging, covered)) {
            ++counts.badCheck[kind];
            return false;
        }
        CorrectTimeField(staging, covered, kSectionTimeOffset);
        if (!work.Write(staging, covered + 2)) {
            return false;
        }
        ++counts.accepted[kind];
        counts.outputBytes += covered + 2;
        return true;
    } catch (...) {
        return false;
    }
}

constexpr RecordKind kRmgKinds[] = {
    {0x82, CorrectPositionMonitorRecord, " > ERROR：位置&モニターデータ作業ファイル作成失敗"},
    {0x61, CorrectOrbitMessageRecord, " > ERROR：軌道メッセージデータ作業ファイル作成失敗"},
    {0x81, CorrectOldRawSatelliteSection,
     " > ERROR：衛星生データ部(旧フォーマット)SyncByte読み込み失敗"},
    {0x91, CorrectRawSatelliteSection, " > ERROR：衛星生データ部SyncByte読み込み失敗"},
};

}  // namespace

bool CorrectPositionMonitorRecord(InputFile& input, OutputFile& work) {
    return CorrectFixedLengthRecord(input, work, 0x82, kPositionMonitorLength, {2},
                                    /*capturesFirstTime=*/true);
}

bool CorrectOldRawSatelliteSection(InputFile& input, OutputFile& work) {
    return CorrectSection(input, work, 0x81, OldSectionBlockCount);
}

bool CorrectRawSatelliteSection(InputFile& input, OutputFile& work) {
    return CorrectSection(input, work, 0x91, SectionBlockCount);
}

bool ConvertRmgFile(const std::string& inputPath, const std::string& workPath) {
    return ScanRecords(inputPath, workPath, kRmgKinds, " > ERROR：RMG作業ファイルOpen失敗");
}

}  // namespace quenrix
