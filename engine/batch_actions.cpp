#include "batch_actions.h"

#include <algorithm>
#include <cctype>

#include "engine_state.h"
#include "oplog.h"
#include "paths.h"
#include "pipeline.h"

namespace quenrix {
namespace {

bool EqualsIgnoringAsciiCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

BatchFileActions::BatchFileActions(std::vector<std::string> inputs, bool deleteInputs)
    : inputs_(std::move(inputs)), deleteInputs_(deleteInputs) {
    for (std::size_t i = 0; i < inputs_.size(); ++i) {
        FileIdentity identity;
        if (IdentifyFile(inputs_[i], identity))
            waiting_.emplace(identity, i);
    }
}

std::vector<std::string> BatchFileActions::Apply(std::size_t index, std::int32_t result) {
    EngineState& engine = Engine();
    std::vector<std::string> lines;
    if (result == kConverted && engine.RolloverFound == 1) {
        lines = StoreCorrectedFile(index);
    } else if (result == kConverted) {
        lines.push_back("ロールオーバー未検出");
        WriteLog(engine.LogFilePath, " > ロールオーバー未検出");
    } else if (result == kRolloverPoint) {
        lines.push_back("ロールオーバー対策対象外");
        WriteLog(engine.LogFilePath, " > ロールオーバーポイントのSIGファイルのため対策外");
    }
    if (FileExists(engine.WorkFileName)) {
        DeleteFile(engine.WorkFileName);
    }
    return lines;
}

bool BatchFileActions::WouldDestroyBatchFile(std::size_t index, const std::string& target) const {
    FileIdentity existing;
    if (!IdentifyFile(target, existing)) {
        return false;
    }
    if (written_.count(existing) != 0) {
        return true;
    }
    const auto input = waiting_.find(existing);
    return input != waiting_.end() && input->second != index;
}

std::vector<std::string> BatchFileActions::StoreCorrectedFile(std::size_t index) {
    EngineState& engine = Engine();
    const std::string& input = inputs_.at(index);
    const std::string output = engine.OutputFilePath;
    std::vector<std::string> lines;

    if (output.empty() || WouldDestroyBatchFile(index, output) ||
        !MoveFileReplacing(engine.WorkFileName, output)) {
        WriteLog(engine.LogFilePath, " > ERROR：補正後ファイル出力失敗");
        lines.push_back("変換失敗");
        return lines;
    }
    FileIdentity stored;
    if (IdentifyFile(output, stored)) {
        written_.insert(stored);
    }
    lines.push_back("補正後ファイル名  " + PathText(FileNamePart(output)));
    WriteLongLog(engine.LogFilePath, " > 補正後ファイル名  " + PathText(output));

    // The input goes only when the corrected file is stored under another
    // name: never when both names lead to one file.
    if (deleteInputs_ && !EqualsIgnoringAsciiCase(output, input) && !SameFile(output, input)) {
        FileIdentity gone;
        const bool known = IdentifyFile(input, gone);
        if (DeleteFile(input) && !FileExists(input)) {
            if (known)
                waiting_.erase(gone);
            WriteLog(engine.LogFilePath, " > 削除：" + PathText(input));
            lines.push_back("入力SIG,RMGファイル削除(" + PathText(FileNamePart(input)) + ")");
        } else {
            WriteLog(engine.LogFilePath, " > ERROR：入力ファイル削除失敗" + PathText(input));
            lines.push_back("入力SIG,RMGファイル削除失敗(" + PathText(FileNamePart(input)) + ")");
        }
    }
    return lines;
}

}  // namespace quenrix
