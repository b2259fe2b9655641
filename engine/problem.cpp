#include "engine/problem.h"

#include <iterator>
#include <string_view>

#include "support/failure.h"
#include "support/paths.h"

namespace quenrix {
namespace {

// Each problem's words, in the order of Problem::Kind. "{why}" is the
// system's cause, "{name}" the path's file name, "{path}" the path,
// "{at}" the byte, "{detail}" what was thrown (with its colon), and
// "{extension}" the input's extension.
struct ProblemWords {
    Problem::Kind kind;
    const char* english;
    const char* japanese;
};

using Kind = Problem::Kind;
constexpr ProblemWords kProblemWords[] = {
    {Kind::None, "", ""},
    {Kind::NotAGpsFile, "not a GPS file: {extension}, not .SIG, .RMG or .RM0 to .RM5",
     "GPSファイルではありません：{extension}（.SIG、.RMG、.RM0～.RM5 のいずれでもありません）"},
    {Kind::InputMissing, "input missing: no such file", "入力ファイルなし：ファイルがありません"},
    {Kind::CannotRead, "cannot read: {why}", "読み込めません：{why}"},
    {Kind::CannotReadAt, "cannot read at byte {at}: {why}", "{at} バイト目を読み込めません：{why}"},
    {Kind::ChangedWhileRead, "changed while it was read: kept, convert it again",
     "読込中に変更されました：入力ファイルは残しました。もう一度変換してください"},
    {Kind::Interrupted, "interrupted: not stored, input kept",
     "中断：補正後ファイルは出力せず、入力ファイルは残しました"},
    {Kind::CannotWriteWorkFile, "cannot write the work file {path}: {why}",
     "作業ファイル {path} を書き込めません：{why}"},
    {Kind::ConversionStopped, "the conversion stopped", "変換が止まりました"},
    {Kind::NoNameInFileName, "no output name can be built from this file name",
     "このファイル名からは出力ファイル名を作れません"},
    {Kind::NoOutputName, "no output name could be built", "出力ファイル名を作れませんでした"},
    {Kind::NoGpsRecords, kNoGpsRecordsReason,
     "GPSレコードなし：チェック値の正しい完全なレコードが一つもありません"},
    {Kind::InternalError, "internal error{detail}", "内部エラー{detail}"},
    {Kind::NotAsRecorded, "not the corrected file the manifest recorded: left alone",
     "マニフェストに記録された補正後ファイルではありません：そのままにしました"},
    {Kind::NotGivenBackExactly,
     "the original cannot be given back byte for byte (it held bytes the corrected file does "
     "not): left alone",
     "元のファイルを1バイトも違わずには戻せません（補正後ファイルにないバイトがありました）："
     "そのままにしました"},
    {Kind::NoPositionRecord, "corrected, but no position record to name the file after",
     "補正しましたが、ファイル名の元になる測位レコードがありません"},
    {Kind::ReplacesKeptInput, "it would replace its input, which is kept",
     "残すはずの入力ファイルを置き換えることになります"},
    {Kind::CannotLookUp, "cannot look up {name}: {why}", "{name} を調べられません：{why}"},
    {Kind::NameTakenByAnotherFile, "output name taken by another file: {name}",
     "出力ファイル名は別のファイルが使っています：{name}"},
    {Kind::NameTakenByAnotherUser, "output name taken by another user's file: {name}",
     "出力ファイル名は他のユーザーのファイルが使っています：{name}"},
    {Kind::NameTakenByThisRun, "output name taken by a file this run has written: {name}",
     "出力ファイル名はこの変換で書いたファイルが使っています：{name}"},
    {Kind::NameTakenByAnotherInput, "output name taken by another input of this run: {name}",
     "出力ファイル名はこの変換の別の入力ファイルが使っています：{name}"},
    {Kind::CannotStore, "cannot store as {name}: {why}", "{name} として出力できません：{why}"},
    {Kind::CannotReadBack, "cannot read back {name}: {why}", "{name} を読み返せません：{why}"},
    {Kind::ReadsBackDifferent, "the stored file reads back different",
     "出力したファイルを読み返すと内容が違います"},
    {Kind::CannotDeleteInput, "cannot delete the input: {why}",
     "入力ファイルを削除できません：{why}"},
    {Kind::NotRecorded, "input kept: cannot write its manifest line: {why}",
     "入力ファイルは残しました：マニフェストに書き込めません：{why}"},
    {Kind::CannotReadFolder, "cannot read the folder: {why}", "フォルダーを読めません：{why}"},
};

static_assert(
    [] {
        for (std::size_t i = 0; i < std::size(kProblemWords); ++i)
            if (static_cast<std::size_t>(kProblemWords[i].kind) != i)
                return false;
        return static_cast<std::size_t>(Kind::CannotReadFolder) + 1 == std::size(kProblemWords);
    }(),
    "kProblemWords lists every kind of problem in its order");

// The words with each "{field}" filled in.
std::string Filled(std::string_view words, const Problem& problem, Language language) {
    const bool english = language == Language::English;
    std::string text;
    while (!words.empty()) {
        const std::size_t open = words.find('{');
        const std::size_t close = words.find('}', open);
        if (open == std::string_view::npos || close == std::string_view::npos) {
            text += words;
            break;
        }
        text += words.substr(0, open);
        const std::string_view field = words.substr(open + 1, close - open - 1);
        if (field == "why") {
            text += FailureText(problem.cause, language);
        } else if (field == "name") {
            text += FileNamePart(problem.path);
        } else if (field == "path") {
            text += problem.path;
        } else if (field == "at") {
            text += std::to_string(problem.at);
        } else if (field == "detail") {
            if (!problem.detail.empty())
                text += (english ? ": " : "：") + problem.detail;
        } else if (field == "extension") {
            const std::string extension = ExtensionPart(problem.path);
            if (extension.empty())
                text += english ? "no extension" : "拡張子なし";
            else
                text += english ? "extension \"" + extension + "\"" : "拡張子「" + extension + "」";
        }
        words.remove_prefix(close + 1);
    }
    return text;
}

}  // namespace

std::string ReasonText(const Problem& problem, Language language) {
    const ProblemWords& words = kProblemWords[static_cast<std::size_t>(problem.kind)];
    return Filled(language == Language::English ? words.english : words.japanese, problem,
                  language);
}

bool ReasonNamesItsOutcome(const Problem& problem) {
    return problem.kind == Problem::Kind::InputMissing ||
           problem.kind == Problem::Kind::NoGpsRecords;
}

}  // namespace quenrix
