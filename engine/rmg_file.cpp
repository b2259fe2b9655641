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
// blocks. Where the input's buffer holds the whole section it is checked
// in place; else it is read piece by piece (the header, each block, then
// the check value), so a section cut short stops at the piece it lacks.
template <std::size_t (*BlockCount)(std::uint8_t)>
bool CorrectSection(InputFile& input, OutputFile& work, std::uint8_t kind) {
    try {
        ConversionCounts& counts = Engine().Counts;
        // The section from the byte after its kind byte on.
        const std::uint8_t* body = nullptr;
        std::size_t covered = 0;
        if (const std::uint8_t* header = input.Peek(kSectionHeaderLength - 2)) {
            covered = kSectionHeaderLength + kBlockLength * BlockCount(header[0]);
            body = input.Peek(covered);
            if (body != nullptr)
                input.Skip(covered);
        }
        std::uint8_t staging[kSectionHeaderLength + kBlockLength * kMaxSectionBlocks];
        if (body == nullptr) {
            if (input.Read(staging, kSectionHeaderLength - 2) != kSectionHeaderLength - 2) {
                ++counts.cutShort[kind];
                return false;
            }
            const std::size_t blocks = BlockCount(staging[0]);
            covered = kSectionHeaderLength + kBlockLength * blocks;
            for (std::size_t b = 0; b < blocks; ++b) {
                std::uint8_t* block = staging + kSectionHeaderLength - 2 + kBlockLength * b;
                if (input.Read(block, kBlockLength) != kBlockLength) {
                    ++counts.cutShort[kind];
                    return false;
                }
            }
            if (input.Read(staging + covered - 2, 2) != 2) {
                ++counts.cutShort[kind];
                return false;
            }
            body = staging;
        }
        if (!CheckValueMatches(kind, body, covered)) {
            ++counts.badCheck[kind];
            return false;
        }
        return AppendRecord<kSectionTimeOffset>(work, kind, body, covered, counts) != nullptr;
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
    return CorrectFixedLengthRecord<kPositionMonitorLength, 2>(input, work, 0x82,
                                                               /*capturesFirstTime=*/true);
}

bool CorrectOldRawSatelliteSection(InputFile& input, OutputFile& work) {
    return CorrectSection<OldSectionBlockCount>(input, work, 0x81);
}

bool CorrectRawSatelliteSection(InputFile& input, OutputFile& work) {
    return CorrectSection<SectionBlockCount>(input, work, 0x91);
}

bool ConvertRmgFile(const std::string& inputPath, const std::string& workPath) {
    return ScanRecords(inputPath, workPath, kRmgKinds, " > ERROR：RMG作業ファイルOpen失敗");
}

}  // namespace quenrix
