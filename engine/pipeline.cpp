#include "pipeline.h"

#include <algorithm>
#include <cctype>

#include "engine_state.h"
#include "file_ops.h"
#include "oplog.h"
#include "output_name.h"
#include "paths.h"
#include "receiver_checks.h"
#include "rmg_file.h"
#include "sig_file.h"

namespace quenrix {
namespace {

enum class FileKind { Sig, Rmg, Other };

// Only the first four characters of the extension count, so ".SIGB" is a
// SIG file; ".RM0" to ".RM5" are the 10-minute RMG files.
FileKind Classify(const std::string& path) {
    std::string extension = ExtensionPart(path).substr(0, 4);
    std::transform(extension.begin(), extension.end(), extension.begin(), [](char c) {
        return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    });
    if (extension == ".SIG")
        return FileKind::Sig;
    for (const char* rmg : {".RMG", ".RM0", ".RM1", ".RM2", ".RM3", ".RM4", ".RM5"}) {
        if (extension == rmg)
            return FileKind::Rmg;
    }
    return FileKind::Other;
}

}  // namespace

std::int32_t ConvertGpsFile(const std::string& inputPath, std::int16_t /*logSwitch*/,
                            std::uint8_t /*debugSwitch*/) {
    try {
        EngineState& engine = Engine();
        WriteLog(engine.LogFilePath, PathText(inputPath));

        engine.RolloverFound = 0;
        engine.IsSigFile = 0;
        engine.IsRmgFile = 0;
        engine.FirstGpsTime = 0;
        engine.RmgReceiverType = 0;
        engine.OutputFilePath.clear();
        engine.Counts = ConversionCounts{};

        DeleteFile(engine.WorkFileName);  // a leftover of an earlier run

        switch (Classify(inputPath)) {
            case FileKind::Sig:
                engine.IsSigFile = 1;
                if (IsRolloverPointSigFile(inputPath)) {
                    return kRolloverPoint;
                }
                break;
            case FileKind::Rmg:
                engine.RmgReceiverType = engine.ForcedRmgReceiverType != 0
                                             ? engine.ForcedRmgReceiverType
                                             : CheckRmgReceiverType(inputPath);
                engine.IsRmgFile = 1;
                break;
            case FileKind::Other:
                WriteLog(engine.LogFilePath, " > GPSファイルではありません");
                return kFailed;
        }

        if (!FileExists(inputPath)) {
            WriteLog(engine.LogFilePath, " > ERROR：入力ファイルなし");
            return kInputMissing;
        }

        const std::string prefix = GetFileNamePrefix(inputPath);
        if (prefix.empty()) {
            return kFailed;
        }

        std::string outputFolder = FolderPart(inputPath);
        if (outputFolder.empty()) {
            outputFolder = ExecutableFolder();
        }

        const bool scanned = engine.IsSigFile == 1 ? ConvertSigFile(inputPath, engine.WorkFileName)
                                                   : ConvertRmgFile(inputPath, engine.WorkFileName);
        if (!scanned) {
            WriteLog(engine.LogFilePath, " > ERROR：作業ファイル作成失敗");
            return kFailed;
        }

        if (engine.FirstGpsTime != 0) {
            engine.OutputFilePath =
                BuildOutputFileName(prefix, engine.FirstGpsTime, inputPath, outputFolder);
            if (engine.OutputFilePath.empty()) {
                WriteLog(engine.LogFilePath, " > ERROR：出力ファイル名作成失敗");
                return kFailed;
            }
        }
        return kConverted;
    } catch (...) {
        return kFailed;
    }
}

}  // namespace quenrix
