#include "engine/sig_file.h"

#include "engine/record_scan.h"

namespace quenrix {

std::size_t CorrectHeaderSection(const std::uint8_t* record, std::size_t available,
                                 RecordSink& sink, bool& written) {
    return CorrectFixedLengthRecord<26, 14>(record, available, sink, written);
}

std::size_t CorrectOrbitInformationRecord(const std::uint8_t* record, std::size_t available,
                                          RecordSink& sink, bool& written) {
    return CorrectFixedLengthRecord<26>(record, available, sink, written);
}

std::size_t CorrectOrbitMessageRecord(const std::uint8_t* record, std::size_t available,
                                      RecordSink& sink, bool& written) {
    return CorrectFixedLengthRecord<74>(record, available, sink, written);
}

std::size_t CorrectPositioningResultRecord(const std::uint8_t* record, std::size_t available,
                                           RecordSink& sink, bool& written) {
    return CorrectFixedLengthRecord<23, 2>(record, available, sink, written,
                                           /*capturesFirstTime=*/true);
}

std::size_t CorrectSatelliteInformationRecord(const std::uint8_t* record, std::size_t available,
                                              RecordSink& sink, bool& written) {
    return CorrectFixedLengthRecord<124, 2>(record, available, sink, written);
}

std::size_t CorrectNavigationMessageRecord(const std::uint8_t* record, std::size_t available,
                                           RecordSink& sink, bool& written) {
    return CorrectFixedLengthRecord<35>(record, available, sink, written);
}

std::size_t CorrectDisplayMonitorRecord(const std::uint8_t* record, std::size_t available,
                                        RecordSink& sink, bool& written) {
    return CorrectFixedLengthRecord<29, 3, 7>(record, available, sink, written);
}

namespace {

constexpr RecordKind kSigKinds[] = {
    {0x62, CorrectHeaderSection, " > ERROR：ヘッダ部SyncByte読み込み失敗"},
    {0x60, CorrectOrbitInformationRecord, " > ERROR：軌道情報データ作業ファイル作成失敗"},
    {0x61, CorrectOrbitMessageRecord, " > ERROR：軌道メッセージデータ作業ファイル作成失敗"},
    {0x50, CorrectPositioningResultRecord, " > ERROR：測位結果データ作業ファイル作成失敗"},
    {0x51, CorrectSatelliteInformationRecord, " > ERROR：衛星情報データ作業ファイル作成失敗"},
    {0x52, CorrectNavigationMessageRecord, " > ERROR：航法メッセージデータ作業ファイル作成失敗"},
    {0x55, CorrectDisplayMonitorRecord, " > ERROR：表示モニターデータ作業ファイル作成失敗"},
};

}  // namespace

bool ConvertSigFile(const std::string& inputPath, const std::string& workPath) {
    return ScanRecords(inputPath, workPath, kSigKinds, CorrectAnyKind<kSigKinds>,
                       " > ERROR：SIG作業ファイルOpen失敗");
}

}  // namespace quenrix
