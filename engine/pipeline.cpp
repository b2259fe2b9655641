#include "engine/pipeline.h"

#include <exception>

#include "engine/engine_state.h"
#include "engine/file_kind.h"
#include "engine/output_name.h"
#include "engine/receiver_checks.h"
#include "engine/rmg_file.h"
#include "engine/sig_file.h"
#include "support/file_ops.h"
#include "support/oplog.h"
#include "support/paths.h"

namespace quenrix {
namespace {

std::string NotAGpsFileReason(const std::string& path) {
    const std::string extension = ExtensionPart(path);
    return "not a GPS file: " +
           (extension.empty() ? std::string("no extension")
                              : "extension \"" + extension + "\"") +
           ", not .SIG, .RMG or .RM0 to .RM5";
}

// The per-file values of the engine state, as a new file starts.
void ResetForNextFile(EngineState& engine) {
    engine.RolloverFound = 0;
    engine.IsSigFile = 0;
    engine.IsRmgFile = 0;
    engine.FirstGpsTime = 0;
    engine.RmgReceiverType = 0;
    engine.OutputFilePath.clear();
    engine.Counts = ConversionCounts{};
    engine.FailureReason.clear();
}

// Classifies the input by its name and runs the check of its kind: the
// rollover-point check of a SIG file, the receiver type of an RMG file.
// Converted means the file goes on to be converted.
ConvertResult ClassifyAndCheck(const std::string& inputPath, EngineState& engine) {
    switch (ClassifyFileName(inputPath)) {
        case FileKind::Sig:
            engine.IsSigFile = 1;
            return IsRolloverPointSigFile(inputPath) ? ConvertResult::RolloverPoint
                                                     : ConvertResult::Converted;
        case FileKind::Rmg:
            engine.RmgReceiverType = engine.ForcedRmgReceiverType != 0
                                         ? engine.ForcedRmgReceiverType
                                         : CheckRmgReceiverType(inputPath);
            engine.IsRmgFile = 1;
            return ConvertResult::Converted;
        case FileKind::Other:
            break;
    }
    WriteLog(engine.LogFilePath, " > GPSファイルではありません");
    NoteFailure(NotAGpsFileReason(inputPath));
    return ConvertResult::Failed;
}

// Streams the input into the work file and names the corrected file after
// its first position record.
ConvertResult ConvertAndName(const std::string& inputPath, const std::string& prefix,
                             EngineState& engine) {
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
}

}  // namespace

ConvertResult ConvertGpsFile(const std::string& inputPath) {
    try {
        EngineState& engine = Engine();
        WriteLog(engine.LogFilePath, inputPath);
        ResetForNextFile(engine);
        DeleteFile(engine.WorkFileName);  // a leftover of an earlier run

        const ConvertResult checked = ClassifyAndCheck(inputPath, engine);
        if (checked != ConvertResult::Converted) {
            return checked;
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
        return ConvertAndName(inputPath, prefix, engine);
    } catch (const std::exception& error) {
        // As the pipeline has always done, nothing is logged here; the
        // reason reaches the report and the window's hint.
        NoteFailure(std::string("internal error: ") + error.what());
        return ConvertResult::Failed;
    } catch (...) {
        NoteFailure("internal error");
        return ConvertResult::Failed;
    }
}

}  // namespace quenrix
