#include "sig_file.h"

#include "record_scan.h"

namespace quenrix {

bool CorrectHeaderSection(InputFile& input, OutputFile& work) {
    return CorrectFixedLengthRecord<26, 14>(input, work, 0x62);
}

bool CorrectOrbitInformationRecord(InputFile& input, OutputFile& work) {
    return CorrectFixedLengthRecord<26>(input, work, 0x60);
}

bool CorrectOrbitMessageRecord(InputFile& input, OutputFile& work) {
    return CorrectFixedLengthRecord<74>(input, work, 0x61);
}

bool CorrectPositioningResultRecord(InputFile& input, OutputFile& work) {
    return CorrectFixedLengthRecord<23, 2>(input, work, 0x50, /*capturesFirstTime=*/true);
}

bool CorrectSatelliteInformationRecord(InputFile& input, OutputFile& work) {
    return CorrectFixedLengthRecord<124, 2>(input, work, 0x51);
}

bool CorrectNavigationMessageRecord(InputFile& input, OutputFile& work) {
    return CorrectFixedLengthRecord<35>(input, work, 0x52);
}

bool CorrectDisplayMonitorRecord(InputFile& input, OutputFile& work) {
    return CorrectFixedLengthRecord<29, 3, 7>(input, work, 0x55);
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
    return ScanRecords(inputPath, workPath, kSigKinds, " > ERROR：SIG作業ファイルOpen失敗");
}

}  // namespace quenrix
