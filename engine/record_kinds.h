// The receivers' record kinds, each described once: its kind byte, its
// length (fixed, or told by its third byte), where its GPS times lie and,
// in the tables of the two file types, what is logged when a record of it
// is not written. The converters' correctors and the receiver checks take
// what they need from here.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "engine/record_scan.h"

namespace quenrix::record_kinds {

// A record of fixed length. With `CapturesFirstTime` its first accepted
// record with a time at offset 2 gives the file's first GPS time.
template <std::uint8_t Kind, std::size_t Length, bool CapturesFirstTime, std::size_t... TimeOffsets>
struct Fixed {
    static constexpr std::uint8_t kKind = Kind;
    static constexpr std::size_t kLength = Length;
    static constexpr std::array<std::size_t, sizeof...(TimeOffsets)> kTimeOffsets{TimeOffsets...};

    static std::size_t LengthOf(std::uint8_t /*third*/) { return Length; }
    static std::size_t Correct(const std::uint8_t* record, std::size_t available, RecordSink& sink,
                               bool& written) {
        return CorrectFixedLengthRecord<Length, TimeOffsets...>(record, available, sink, written,
                                                                CapturesFirstTime);
    }
};

// Raw satellite data sections: an 11-byte header with its GPS time at
// offset 3, as many 9-byte blocks as the third byte tells, the check value.
inline constexpr std::size_t kSectionHeaderLength = 11;
inline constexpr std::size_t kBlockLength = 9;
inline constexpr std::size_t kSectionTimeOffset = 3;
// The receiver's section holds at most 12 blocks; a larger count is read
// as 12, and the section then fails its check value.
inline constexpr std::size_t kMaxSectionBlocks = 12;

// Old format (0x81): one block per bit set in the mask.
inline std::size_t OldSectionBlockCount(std::uint8_t mask) {
    // Looked up: the baseline x86-64 instruction set has no bit count, so
    // std::popcount would be a library call for every section.
    static constexpr auto kBitsSet = [] {
        std::array<std::uint8_t, 256> bits{};
        for (unsigned i = 0; i < bits.size(); ++i)
            bits[i] = static_cast<std::uint8_t>(std::popcount(i));
        return bits;
    }();
    return kBitsSet[mask];
}

// Current format (0x91, also 0x94 and 0x95): the count, at most 12.
inline std::size_t SectionBlockCount(std::uint8_t count) {
    return std::min<std::size_t>(count, kMaxSectionBlocks);
}

template <std::uint8_t Kind, std::size_t (*BlockCount)(std::uint8_t)>
struct Section {
    static constexpr std::uint8_t kKind = Kind;
    static constexpr std::array<std::size_t, 1> kTimeOffsets{kSectionTimeOffset};

    static std::size_t LengthOf(std::uint8_t third) {
        return kSectionHeaderLength + kBlockLength * BlockCount(third) + 2;
    }
    // The length is known from the third byte on; the record is checked
    // and copied in one wide sweep where enough bytes are readable.
    static std::size_t Correct(const std::uint8_t* record, std::size_t available, RecordSink& sink,
                               bool& written) {
        if (available < 3) {
            return 3;
        }
        const std::size_t length = LengthOf(record[2]);
        if (available < length) {
            return length;
        }
        written =
            AppendCheckedRecord<kSectionTimeOffset>(record, length - 2, available, sink) != nullptr;
        return length;
    }
};

// The record kinds of SIG files.
namespace sig {
using HeaderSection = Fixed<0x62, 26, false, 14>;
using OrbitInformation = Fixed<0x60, 26, false>;
using OrbitMessage = Fixed<0x61, 74, false>;
using PositioningResult = Fixed<0x50, 23, true, 2>;
using SatelliteInformation = Fixed<0x51, 124, false, 2>;
using NavigationMessage = Fixed<0x52, 35, false>;
using DisplayMonitor = Fixed<0x55, 29, false, 3, 7>;
}  // namespace sig

// The record kinds of RMG files.
namespace rmg {
using PositionMonitor = Fixed<0x82, 37, true, 2>;
// The receiver's type is the low four bits of this byte of a position record.
inline constexpr std::size_t kTypeNibbleOffset = 32;
using OrbitMessage = sig::OrbitMessage;  // the same record in both files
using OldRawSatelliteSection = Section<0x81, OldSectionBlockCount>;
using RawSatelliteSection = Section<0x91, SectionBlockCount>;
}  // namespace rmg

// Kinds only the receiver checks know: they step over them whole, and
// nothing reads their contents.
namespace checks_only {
using Kind80 = Fixed<0x80, 10, false>;
using Kind69 = Fixed<0x69, 286, false>;
// 0x94 and 0x95: a 13-byte header and as many 13-byte blocks as the third
// byte tells (at most 12), then the check value.
inline std::size_t ExtendedSectionLength(std::uint8_t third) {
    return 15 + 13 * SectionBlockCount(third);
}
}  // namespace checks_only

// The kinds the receiver checks step through (NextRecordOfKinds), in a
// file of either type: those of both converters' tables but 0x52 and 0x55,
// whose bytes the checks look through as they do those between records,
// and the kinds only they know.
inline constexpr RecordLengthRules kCheckedKinds = [] {
    RecordLengthRules rules{};
    rules[rmg::OldRawSatelliteSection::kKind] = &rmg::OldRawSatelliteSection::LengthOf;
    rules[rmg::PositionMonitor::kKind] = &rmg::PositionMonitor::LengthOf;
    rules[rmg::RawSatelliteSection::kKind] = &rmg::RawSatelliteSection::LengthOf;
    rules[sig::OrbitInformation::kKind] = &sig::OrbitInformation::LengthOf;
    rules[sig::OrbitMessage::kKind] = &sig::OrbitMessage::LengthOf;
    rules[sig::HeaderSection::kKind] = &sig::HeaderSection::LengthOf;
    rules[sig::SatelliteInformation::kKind] = &sig::SatelliteInformation::LengthOf;
    rules[sig::PositioningResult::kKind] = &sig::PositioningResult::LengthOf;
    rules[checks_only::Kind80::kKind] = &checks_only::Kind80::LengthOf;
    rules[checks_only::Kind69::kKind] = &checks_only::Kind69::LengthOf;
    rules[0x94] = &checks_only::ExtendedSectionLength;
    rules[0x95] = &checks_only::ExtendedSectionLength;
    return rules;
}();

// A kind's entry in its file type's table.
template <typename Kind>
constexpr RecordKind Entry(const char* failureMessage) {
    return {Kind::kKind, &Kind::Correct, failureMessage};
}

inline constexpr RecordKind kSigKinds[] = {
    Entry<sig::HeaderSection>(" > ERROR：ヘッダ部SyncByte読み込み失敗"),
    Entry<sig::OrbitInformation>(" > ERROR：軌道情報データ作業ファイル作成失敗"),
    Entry<sig::OrbitMessage>(" > ERROR：軌道メッセージデータ作業ファイル作成失敗"),
    Entry<sig::PositioningResult>(" > ERROR：測位結果データ作業ファイル作成失敗"),
    Entry<sig::SatelliteInformation>(" > ERROR：衛星情報データ作業ファイル作成失敗"),
    Entry<sig::NavigationMessage>(" > ERROR：航法メッセージデータ作業ファイル作成失敗"),
    Entry<sig::DisplayMonitor>(" > ERROR：表示モニターデータ作業ファイル作成失敗"),
};

inline constexpr RecordKind kRmgKinds[] = {
    Entry<rmg::PositionMonitor>(" > ERROR：位置&モニターデータ作業ファイル作成失敗"),
    Entry<rmg::OrbitMessage>(" > ERROR：軌道メッセージデータ作業ファイル作成失敗"),
    Entry<rmg::OldRawSatelliteSection>(
        " > ERROR：衛星生データ部(旧フォーマット)SyncByte読み込み失敗"),
    Entry<rmg::RawSatelliteSection>(" > ERROR：衛星生データ部SyncByte読み込み失敗"),
};

}  // namespace quenrix::record_kinds
