#include "engine/pipeline.h"

#include <cerrno>
#include <exception>

#include "engine/file_kind.h"
#include "engine/output_name.h"
#include "engine/receiver_checks.h"
#include "engine/rmg_file.h"
#include "engine/sig_file.h"
#include "support/binary_file.h"
#include "support/failure.h"
#include "support/file_ops.h"
#include "support/native.h"
#include "support/oplog.h"
#include "support/paths.h"

namespace quenrix {
namespace {

// Classifies the input by its name and runs the check of its kind: the
// rollover-point check of a SIG file, the receiver type of an RMG file.
// A check opens the file into `in`, where the converter reads it again.
// Converted means the file goes on to be converted.
ConvertResult ClassifyAndCheck(const ConversionRequest& request, const FileAt& file, InputFile& in,
                               Conversion& conversion, FileLog& log) {
    const std::string& input = request.input;
    if (request.giveBack != nullptr) {
        // Undo: the original's records, of the original's kind, are
        // given back whatever a check would say of them now.
        conversion.kind = ClassifyFileName(request.giveBack->original);
        if (conversion.kind != FileKind::Other)
            return ConvertResult::Converted;
    }
    conversion.kind = ClassifyFileName(input);
    switch (conversion.kind) {
        case FileKind::Sig:
            return IsRolloverPointSigFile(file, in, log) ? ConvertResult::RolloverPoint
                                                         : ConvertResult::Converted;
        case FileKind::Rmg:
            conversion.receiverType = request.receiverType != 0
                                          ? request.receiverType
                                          : CheckRmgReceiverType(file, in, log);
            return ConvertResult::Converted;
        case FileKind::Other:
            break;
    }
    log.Write(" > GPSファイルではありません");
    conversion.Fail(Problem(Problem::Kind::NotAGpsFile, input));
    return ConvertResult::Failed;
}

// A file of more than this many bytes takes long enough to convert that
// the log's held entries are written before it.
constexpr std::uint64_t kLongConversionBytes = 1 << 20;

// Streams the input (`in`, as its check left it) into the work file and
// names the corrected file after its first position record.
ConvertResult ConvertAndName(const ConversionRequest& request, const std::string& prefix,
                             InputFile& in, Conversion& conversion, FileLog& log) {
    const std::string& input = request.input;
    // A bare name is in the current folder, and its output lands beside it.
    const std::string outputFolder = request.outputFolder.value_or(ContainingFolder(input));
    const bool scanned = conversion.kind == FileKind::Sig ? ConvertSigFile(request, conversion, in)
                                                          : ConvertRmgFile(request, conversion, in);
    if (!scanned) {
        log.Write(" > ERROR：作業ファイル作成失敗");
        conversion.Fail(Problem(Problem::Kind::ConversionStopped));
        return ConvertResult::Failed;
    }
    if (conversion.problem)
        return ConvertResult::Failed;  // scanned whole, but written to meanwhile
    if (const GivingBack* giveBack = request.giveBack) {
        // Given back only as it was: from the corrected file as recorded,
        // to the original's every byte.
        if (conversion.inputSha256 != giveBack->correctedSha256) {
            log.Write(" > ERROR：補正後ファイルが記録と違います");
            conversion.Fail(Problem(Problem::Kind::NotAsRecorded, input));
            return ConvertResult::Failed;
        }
        if (conversion.outputSha256 != giveBack->originalSha256) {
            log.Write(" > ERROR：元のファイルに戻せません");
            conversion.Fail(Problem(Problem::Kind::NotGivenBackExactly, input));
            return ConvertResult::Failed;
        }
        conversion.outputPath = giveBack->original;
        return ConvertResult::Converted;
    }
    if (conversion.firstGpsTime != 0) {
        conversion.outputPath = BuildOutputFileName(conversion.kind, prefix,
                                                    conversion.firstGpsTime, input, outputFolder);
        if (conversion.outputPath.empty()) {
            log.Write(" > ERROR：出力ファイル名作成失敗");
            conversion.Fail(Problem(Problem::Kind::NoOutputName));
            return ConvertResult::Failed;
        }
    }
    return ConvertResult::Converted;
}

// The folder `path` names, opened now unless the request brought it (or
// the cause it could not be opened).
void OpenUnlessGiven(native::Answer<FolderRef>& folder, const std::string& path) {
    if (folder.value == nullptr && folder.cause == 0)
        folder = Folder::Open(path);
}

// The input looked up in its folder, through a link under its name.
native::Answer<native::Lookup> LookUpInput(const FileAt& input,
                                           const native::Answer<FolderRef>& folder,
                                           native::EntryInfo& info) {
    if (folder.value == nullptr) {
        const bool missing = folder.cause == ENOENT || folder.cause == ENOTDIR;
        return {missing ? native::Lookup::Missing : native::Lookup::Failed, folder.cause};
    }
    return native::InspectAt(input.In(), input.Name(), info, native::Links::Follow);
}

ConvertResult Convert(const ConversionRequest& request, Conversion& conversion) {
    const std::string& input = request.input;
    // The file's own path heads its entries in the log; it is no message
    // about the file.
    if (request.log != nullptr)
        request.log->Write(LoggedName(input));
    ConversionFolders& folders = conversion.folders;
    folders = request.folders;
    OpenUnlessGiven(folders.input, ContainingFolder(input));
    const FileAt file{folders.input.value, input};
    if (request.storing == Storing::Real) {
        OpenUnlessGiven(folders.work, ContainingFolder(request.workFile));
        OpenUnlessGiven(folders.output, request.outputFolder.value_or(ContainingFolder(input)));
        if (!request.reuseWorkFile && folders.work.value != nullptr)
            DeleteOwnFile({folders.work.value, request.workFile});  // a leftover of an earlier run
    }

    FileLog log(request.log, conversion.log);
    // The input is opened once: by its check, where it has one, and read
    // again from its start by the converter; else by the converter.
    InputFile in;
    const ConvertResult checked = ClassifyAndCheck(request, file, in, conversion, log);
    if (checked != ConvertResult::Converted) {
        return checked;
    }
    native::EntryInfo info;
    const auto lookup = LookUpInput(file, folders.input, info);
    if (lookup.value == native::Lookup::Failed) {
        // Not known to be missing: the system's cause is told (a folder
        // that may not be searched says "permission denied").
        log.Write(" > ERROR：ファイルOpen失敗");
        conversion.Fail(Problem(Problem::Kind::CannotRead, {}, lookup.cause));
        return ConvertResult::Failed;
    }
    if (lookup.value == native::Lookup::Missing || info.folder) {
        log.Write(" > ERROR：入力ファイルなし");
        conversion.Fail(Problem(Problem::Kind::InputMissing));
        return ConvertResult::InputMissing;
    }
    const std::string prefix = GetFileNamePrefix(input);
    if (prefix.empty()) {
        conversion.Fail(Problem(Problem::Kind::NoNameInFileName));
        return ConvertResult::Failed;
    }
    if (request.log != nullptr && info.size > kLongConversionBytes)
        request.log->WriteHeldNow();  // no entry comes until this file is converted
    return ConvertAndName(request, prefix, in, conversion, log);
}

}  // namespace

Conversion ConvertGpsFile(const ConversionRequest& request) {
    Conversion conversion;
    try {
        conversion.result = Convert(request, conversion);
    } catch (const std::exception& error) {
        // As the pipeline has always done, nothing is logged here; the
        // reason reaches the report and the window's hint.
        Problem problem(Problem::Kind::InternalError);
        problem.detail = error.what();
        conversion.Fail(std::move(problem));
        conversion.result = ConvertResult::Failed;
    } catch (...) {
        conversion.Fail(Problem(Problem::Kind::InternalError));
        conversion.result = ConvertResult::Failed;
    }
    return conversion;
}

}  // namespace quenrix
