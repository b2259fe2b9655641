#include "pipeline.h"

#include <algorithm>
#include <cctype>
#include <exception>

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

std::string NotAGpsFileReason(const std::string& path) {
    const std::string extension = ExtensionPart(path);
    return "not a GPS file: " +
           (extension.empty() ? std::string("no extension")
                              : "extension \"" + PathText(extension) + "\"") +
           ", not .SIG, .RMG or .RM0 to .RM5";
}

}  // namespace

ConvertResult ConvertGpsFile(const std::string& inputPath) {
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
        engine.FailureReason.clear();

        DeleteFile(engine.WorkFileName);  // a leftover of an earlier run

        switch (Classify(inputPath)) {
            case FileKind::Sig:
                engine.IsSigFile = 1;
                if (IsRolloverPointSigFile(inputPath)) {
                    return ConvertResult::RolloverPoint;
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
                NoteFailure(NotAGpsFileReason(inputPath));
                return ConvertResult::Failed;
        }

        if (!FileExists(inputPath)) {
            WriteLog(engine.LogFilePath, " > ERROR：入力ファイルなし");
            NoteFailure("input missing: no such file");
            return ConvertResult::InputMissing;
        }

        const std::string prefix = GetFileNamePrefix(inputPath);
        if (prefix.empty()) {
            NoteFailure("no output name can be built from this file name");
            return ConvertResult::Failed;
        }

        std::string outputFolder = FolderPart(inputPath);
        if (outputFolder.empty()) {
            outputFolder = ExecutableFolder();
        }

        const bool scanned = engine.IsSigFile == 1 ? ConvertSigFile(inputPath, engine.WorkFileName)
                                                   : ConvertRmgFile(inputPath, engine.WorkFileName);
        if (!scanned) {
            WriteLog(engine.LogFilePath, " > ERROR：作業ファイル作成失敗");
            NoteFailure("the conversion stopped");
            return ConvertResult::Failed;
        }

        if (engine.FirstGpsTime != 0) {
            engine.OutputFilePath =
                BuildOutputFileName(prefix, engine.FirstGpsTime, inputPath, outputFolder);
            if (engine.OutputFilePath.empty()) {
                WriteLog(engine.LogFilePath, " > ERROR：出力ファイル名作成失敗");
                NoteFailure("no output name could be built");
                return ConvertResult::Failed;
            }
        }
        return ConvertResult::Converted;
    } catch (const std::exception& error) {
        NoteFailure(std::string("internal error: ") + error.what());
        return ConvertResult::Failed;
    } catch (...) {
        NoteFailure("internal error");
        return ConvertResult::Failed;
    }
}

}  // namespace quenrix
